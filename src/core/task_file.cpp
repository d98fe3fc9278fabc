#include "core/task_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/atomic_file.h"
#include "core/file_read.h"
#include "core/gbk.h"

namespace {

enum : uint8_t {
  kNull = 0x00,
  kList = 0x01,
  kInt8 = 0x02,
  kInt16 = 0x03,
  kInt32 = 0x04,
  kString = 0x06,
  kFalse = 0x08,
  kTrue = 0x09,
  kLString = 0x0C,
  kWString = 0x12,
  kUtf8String = 0x14,
};

const char* const kInvalidValue = "Invalid property value";
const char* const kReadError = "Stream read error";

class TWriter {
 public:
  void Tag(uint8_t tag) { out_.push_back(static_cast<char>(tag)); }

  void Integer(int32_t v) {
    if (v >= -128 && v <= 127) {
      Tag(kInt8);
      Raw(static_cast<uint32_t>(v), 1);
    } else if (v >= -32768 && v <= 32767) {
      Tag(kInt16);
      Raw(static_cast<uint32_t>(v), 2);
    } else {
      Tag(kInt32);
      Raw(static_cast<uint32_t>(v), 4);
    }
  }

  // GBK text: non-ASCII goes out as UTF-8, ASCII as a short or long byte string.
  void String(std::string_view gbkText) {
    if (!gbk::IsAscii(gbkText)) {
      const std::string utf8 = gbk::ToUtf8(gbkText);
      Tag(kUtf8String);
      Raw(static_cast<uint32_t>(utf8.size()), 4);
      out_.append(utf8);
    } else if (gbkText.size() <= 255) {
      Tag(kString);
      Raw(static_cast<uint32_t>(gbkText.size()), 1);
      out_.append(gbkText);
    } else {
      Tag(kLString);
      Raw(static_cast<uint32_t>(gbkText.size()), 4);
      out_.append(gbkText);
    }
  }

  void Boolean(bool v) { Tag(v ? kTrue : kFalse); }

  std::string Take() { return std::move(out_); }

 private:
  void Raw(uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }

  std::string out_;
};

// Appends the UTF-8 form of UTF-16LE code units; unpaired surrogates become "?".
std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  auto unit = [&](std::size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * i])) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8);
  };
  const std::size_t n = bytes.size() / 2;
  for (std::size_t i = 0; i < n; ++i) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && unit(i + 1) >= 0xDC00 &&
        unit(i + 1) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      out.push_back('?');
      continue;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

// Reads values from the file's bytes, held in memory or read from a descriptor in chunks.
// Every length is checked against the bytes left before anything is allocated. Skimming
// checks the same structure but keeps no text, so the lists can be counted first and then
// filled without a vector growing past their size.
class TReader {
 public:
  explicit TReader(std::string_view bytes) : all_(bytes), window_(bytes), left_(bytes.size()) {}
  TReader(int fd, uint64_t size) : fd_(fd), size_(size), left_(size), buffer_(64 * 1024, '\0') {}

  void Rewind(bool skim) {
    skim_ = skim;
    if (fd_ < 0) {
      window_ = all_;
      left_ = all_.size();
    } else {
      if (::lseek(fd_, 0, SEEK_SET) != 0) throw ETaskFileError(kReadError);
      window_ = {};
      left_ = size_;
    }
  }

  uint8_t Tag() { return Byte(); }

  int32_t Integer() {
    switch (Tag()) {
      case kInt8:
        return static_cast<int8_t>(Raw(1));
      case kInt16:
        return static_cast<int16_t>(Raw(2));
      case kInt32:
        return static_cast<int32_t>(Raw(4));
      default:
        throw ETaskFileError(kInvalidValue);
    }
  }

  std::string String() {
    std::string text;
    String(text);
    return text;
  }

  // Gives GBK text whatever the stored kind (nothing while skimming), reusing `text`'s room.
  void String(std::string& text) {
    const uint8_t tag = Tag();
    uint64_t length = 0;
    switch (tag) {
      case kString:
        length = Raw(1);
        break;
      case kLString:
      case kUtf8String:
        length = Raw(4);
        break;
      case kWString:
        length = uint64_t{Raw(4)} * 2;
        break;
      default:
        throw ETaskFileError(kInvalidValue);
    }
    if (length > left_) throw ETaskFileError(kReadError);
    if (skim_) {
      Skip(length);
      text.clear();
      return;
    }
    if (tag == kUtf8String && window_.size() >= length) {
      // Converted straight from the buffer: no copy of the UTF-8 bytes.
      text = utf8_(window_.substr(0, static_cast<std::size_t>(length)));
      Skip(length);
      return;
    }
    text.resize(static_cast<std::size_t>(length));
    Read(text.data(), text.size());
    if (tag == kUtf8String) text = utf8_(text);
    if (tag == kWString) text = utf8_(Utf16LeToUtf8(text));
  }

  bool Boolean() { return Tag() == kTrue; }

  void ListBegin() {
    if (Tag() != kList) throw ETaskFileError(kInvalidValue);
  }
  bool AtEnd() const { return left_ == 0; }
  // Consumes the list's end marker when it comes next.
  bool ListEnd() {
    Fill();
    if (static_cast<uint8_t>(window_[0]) != kNull) return false;
    Skip(1);
    return true;
  }

 private:
  // Makes the window hold at least one byte; the file ending early is a read error.
  void Fill() {
    if (left_ == 0) throw ETaskFileError(kReadError);
    if (!window_.empty()) return;
    if (fd_ < 0) throw ETaskFileError(kReadError);
    const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(buffer_.size(), left_));
    ssize_t got = 0;
    do {
      got = ::read(fd_, buffer_.data(), want);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) throw ETaskFileError(kReadError);  // shrank while being read, or failed
    window_ = std::string_view(buffer_.data(), static_cast<std::size_t>(got));
  }

  uint8_t Byte() {
    Fill();
    const auto b = static_cast<uint8_t>(window_[0]);
    window_.remove_prefix(1);
    --left_;
    return b;
  }

  void Read(char* to, std::size_t count) {
    while (count > 0) {
      Fill();
      const std::size_t n = std::min(count, window_.size());
      std::memcpy(to, window_.data(), n);
      window_.remove_prefix(n);
      left_ -= n;
      to += n;
      count -= n;
    }
  }

  void Skip(uint64_t count) {
    while (count > 0) {
      Fill();
      const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(count, window_.size()));
      window_.remove_prefix(n);
      left_ -= n;
      count -= n;
    }
  }

  uint32_t Raw(int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(Byte()) << (8 * i);
    return v;
  }

  int fd_ = -1;
  uint64_t size_ = 0;
  std::string_view all_;
  std::string_view window_;  // bytes read but not yet consumed
  uint64_t left_ = 0;        // bytes not yet consumed, the window's included
  std::string buffer_;
  bool skim_ = false;
  gbk::TUtf8Reader utf8_;
};

// Where the two lists of a decoded file go: counted only, into TTaskFileData's lists, or
// into the compact forms the program state and the result table keep.
struct TCountedLists {
  void Reserve(std::size_t, std::size_t) {}
  void AddURL(std::string&, std::string&, std::string&) {}
  void AddRow(TResultRow&) {}
};

struct TExpandedLists {
  TTaskFileData& d;
  void Reserve(std::size_t urls, std::size_t rows) {
    d.URLs.reserve(urls);
    d.Rows.reserve(rows);
  }
  void AddURL(std::string& url, std::string& title, std::string& description) {
    d.URLs.push_back({std::move(url), std::move(title), std::move(description)});
  }
  void AddRow(TResultRow& row) { d.Rows.push_back(std::move(row)); }
};

struct TCompactLists {
  TURLStore URLs;
  std::vector<TPackedRow> Rows;
  void Reserve(std::size_t urls, std::size_t rows) {
    URLs.Reserve(urls);
    Rows.reserve(rows);
  }
  void AddURL(std::string& url, std::string& title, std::string& description) {
    URLs.Append(url, title, description);
  }
  void AddRow(TResultRow& row) { Rows.emplace_back(row); }
};

// Items 1 to 15 in file order, the lists' entries handed to `lists` after reserving the
// given sizes; `urls` and `rows` receive the counts.
template <class TLists>
void DecodeItems(TReader& r, TTaskFileData& d, TLists& lists, std::size_t& urls,
                 std::size_t& rows) {
  lists.Reserve(urls, rows);
  urls = rows = 0;
  // Scratch reused for every entry, so reading costs no allocation per field.
  std::string url, title, description;
  TResultRow row;
  d.TaskName = r.String();
  d.SearchText = r.String();
  d.SearchMode = r.Integer();
  d.ProcessedURLCount = r.Integer();
  d.ResumeIndex = r.Integer();
  d.EngineName = r.String();
  d.EngineResultOffset = r.Integer();
  d.EnginePageCount = r.Integer();
  r.ListBegin();
  while (!r.ListEnd()) {
    r.String(url);
    r.String(title);
    r.String(description);
    lists.AddURL(url, title, description);
    ++urls;
  }
  d.Window.InputText = r.String();
  d.Window.KeywordMode = r.Boolean();
  d.Window.WebsiteMode = r.Boolean();
  r.ListBegin();
  while (!r.ListEnd()) {
    for (auto& cell : row) r.String(cell);
    lists.AddRow(row);
    ++rows;
  }
  // Items 14 to 16, written by later versions; what does not read as them is ignored.
  if (!r.AtEnd()) {
    try {
      std::vector<TBlockedSource> blocked;
      r.ListBegin();
      while (!r.ListEnd()) {
        TBlockedSource b;
        b.Name = r.String();
        b.ResultOffset = r.Integer();
        b.PageCount = r.Integer();
        blocked.push_back(std::move(b));
      }
      d.BlockedSources = std::move(blocked);
      if (!r.AtEnd()) {
        std::vector<int32_t> crawled;
        r.ListBegin();
        while (!r.ListEnd()) crawled.push_back(r.Integer());
        d.CrawledAhead = std::move(crawled);
      }
      if (!r.AtEnd()) {
        std::vector<std::string> cookies;
        r.ListBegin();
        while (!r.ListEnd()) cookies.push_back(r.String());
        d.Cookies = std::move(cookies);
      }
    } catch (const ETaskFileError&) {
    }
  }
}

// Skims the file to count its lists, then reads it into lists of exactly that size; the
// scalar items go to `d`.
template <class TLists>
void Decode(TReader& r, TTaskFileData& d, TLists& lists) {
  std::size_t urls = 0, rows = 0;
  {
    TTaskFileData counted;
    TCountedLists none;
    r.Rewind(true);
    DecodeItems(r, counted, none, urls, rows);
  }
  r.Rewind(false);
  DecodeItems(r, d, lists, urls, rows);
}

TTaskFileData Decode(TReader& r) {
  TTaskFileData d;
  TExpandedLists lists{d};
  Decode(r, d, lists);
  return d;
}

// Items 1 to 15; `urls(w)` and `rows(w)` write the two lists' entries.
template <class TURLs, class TRows>
std::string Encode(const TTaskFileData& data, const TURLs& urls, const TRows& rows) {
  TWriter w;
  w.String(data.TaskName);
  w.String(data.SearchText);
  w.Integer(data.SearchMode);
  w.Integer(data.ProcessedURLCount);
  w.Integer(data.ResumeIndex);
  w.String(data.EngineName);
  w.Integer(data.EngineResultOffset);
  w.Integer(data.EnginePageCount);
  w.Tag(kList);
  urls(w);
  w.Tag(kNull);
  w.String(data.Window.InputText);
  w.Boolean(data.Window.KeywordMode);
  w.Boolean(data.Window.WebsiteMode);
  w.Tag(kList);
  rows(w);
  w.Tag(kNull);
  // Items 14 to 16 only when needed: other files stay as they always were. Readers that
  // know fewer items stop after the ones they know.
  if (!data.BlockedSources.empty() || !data.CrawledAhead.empty() || !data.Cookies.empty()) {
    w.Tag(kList);
    for (const auto& b : data.BlockedSources) {
      w.String(b.Name);
      w.Integer(b.ResultOffset);
      w.Integer(b.PageCount);
    }
    w.Tag(kNull);
  }
  if (!data.CrawledAhead.empty() || !data.Cookies.empty()) {
    w.Tag(kList);
    for (int32_t index : data.CrawledAhead) w.Integer(index);
    w.Tag(kNull);
  }
  if (!data.Cookies.empty()) {
    w.Tag(kList);
    for (const auto& line : data.Cookies) w.String(line);
    w.Tag(kNull);
  }
  return w.Take();
}

std::string SystemReason(int err) {
  return std::strerror(err);
}

[[noreturn]] void ThrowAccess(const char* what, const std::string& path, int err) {
  throw ETaskFileAccessError(std::string(what) + " \"" + path + "\". " + SystemReason(err));
}

}  // namespace

std::string EncodeTaskFile(const TTaskFileData& data) {
  return Encode(
      data,
      [&](TWriter& w) {
        for (const auto& e : data.URLs) {
          w.String(e.URL);
          w.String(e.Title);
          w.String(e.Description);
        }
      },
      [&](TWriter& w) {
        for (const auto& row : data.Rows)
          for (const auto& cell : row) w.String(cell);
      });
}

TTaskFileData DecodeTaskFile(std::string_view bytes) {
  TReader r(bytes);
  return Decode(r);
}

namespace {

// Opens a task file and decodes it through `decode(reader)`.
template <class TDecode>
void ReadTaskFileWith(const std::string& path, const TDecode& decode) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    // A regular file is read in chunks, never whole: memory holds only what is decoded.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) ThrowAccess(errno == ENOENT ? "Cannot open file" : "Cannot read file", path, errno);
    struct TCloser {
      int fd;
      ~TCloser() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0) ThrowAccess("Cannot read file", path, errno);
    if (S_ISREG(st.st_mode)) {
      if (static_cast<uint64_t>(st.st_size) > kTaskFileMaxBytes)
        throw ETaskFileAccessError(FileTooLargeMessage(path, kTaskFileMaxBytes));
      TReader r(fd, static_cast<uint64_t>(st.st_size));
      decode(r);
      return;
    }
  }
  // Anything else goes through the capped reader, which knows devices and pipes.
  std::string bytes;
  const TFileReadResult read = ReadFileCapped(path, kTaskFileMaxBytes, bytes);
  switch (read.Status) {
    case TFileReadStatus::Ok:
      break;
    case TFileReadStatus::TooLarge:
      throw ETaskFileAccessError(FileTooLargeMessage(path, kTaskFileMaxBytes));
    case TFileReadStatus::Missing:
      ThrowAccess("Cannot open file", path, read.Error);
    case TFileReadStatus::NotRegular:
      throw ETaskFileAccessError("Cannot read file \"" + path + "\". Not a regular file");
    case TFileReadStatus::Failed:
      ThrowAccess("Cannot read file", path, read.Error);
  }
  TReader r(bytes);
  decode(r);
}

}  // namespace

TTaskFileData ReadTaskFile(const std::string& path) {
  TTaskFileData d;
  ReadTaskFileWith(path, [&](TReader& r) { d = Decode(r); });
  return d;
}

void WriteTaskFile(const std::string& path, const TTaskFileData& data) {
  // Written where a symbolic link leads, so the link stays a link.
  bool notCreated = false;
  const int err = ReplaceFile(path, EncodeTaskFile(data), &notCreated);
  if (err != 0) ThrowAccess(notCreated ? "Cannot create file" : "Cannot write file", path, err);
}

TEngineNaming EngineNamingFor(const std::vector<TNamedEngine>& engines) {
  TEngineNaming naming;
  naming.NameOf = [engines](const TSearchEngineObject* engine) -> std::string {
    if (!engine) return {};
    for (const auto& e : engines)
      if (e.Engine == engine) return e.Name;
    return {};
  };
  naming.ByName = [engines](const std::string& name) -> TSearchEngineObject* {
    for (const auto& e : engines)
      if (!name.empty() && e.Name == name) return e.Engine;
    return nullptr;
  };
  return naming;
}

void SaveToFile(const std::string& path, const TProgramState& state, const TResultTable& rows,
                const TTaskWindowItems& window, const TEngineNaming& engines,
                int32_t firstCrawling) {
  TTaskFileData d;
  d.TaskName = state.TaskName;
  d.SearchText = state.SearchText;
  d.SearchMode = state.SearchMode;
  // A reopened task hands out entries again from the resume point: the processed count, or the
  // first site still being crawled when the save happens during a run, so none is lost.
  int32_t resume = state.ProcessedURLCount;
  if (firstCrawling >= 0 && firstCrawling < resume) resume = firstCrawling;
  d.ProcessedURLCount = resume;
  d.ResumeIndex = resume;
  d.EngineName = engines.NameOf ? engines.NameOf(state.CurrentEngine.load()) : std::string();
  d.EngineResultOffset = state.EngineResultOffset.load();
  d.EnginePageCount = state.EnginePageCount.load();
  // The list only grows while workers run: indices below today's count are written below.
  const std::size_t urlCount = state.URLCount();
  for (int32_t index : state.CrawledAhead)
    if (index > resume && static_cast<std::size_t>(index) < urlCount)
      d.CrawledAhead.push_back(index);
  d.Window = window;
  if (engines.Blocked) d.BlockedSources = engines.Blocked();
  if (engines.Cookies) d.Cookies = engines.Cookies();
  // Both lists are written straight from where they are kept, without a copy.
  const std::string bytes = Encode(
      d,
      [&](TWriter& w) {
        state.VisitURLList(
            [&](std::string_view url, std::string_view title, std::string_view description) {
              w.String(url);
              w.String(title);
              w.String(description);
            });
      },
      [&](TWriter& w) {
        for (std::size_t r = 0; r < rows.RowCount(); ++r)
          for (std::size_t c = 0; c < std::tuple_size_v<TResultRow>; ++c)
            w.String(rows.CellView(r, c));
      });
  bool notCreated = false;
  const int err = ReplaceFile(path, bytes, &notCreated);
  if (err != 0) ThrowAccess(notCreated ? "Cannot create file" : "Cannot write file", path, err);
}

void LoadFromFile(const std::string& path, TProgramState& state, TResultTable& rows,
                  TTaskWindowItems& window, const TEngineNaming& engines) {
  // Read straight into the compact forms the state and the table keep: loading costs about
  // what the task then holds.
  TTaskFileData d;
  TCompactLists lists;
  ReadTaskFileWith(path, [&](TReader& r) { Decode(r, d, lists); });
  // Counts outside the list (a hand-edited file) would index past it.
  const auto urlCount = static_cast<int64_t>(lists.URLs.Size());
  d.ProcessedURLCount = static_cast<int32_t>(std::clamp<int64_t>(d.ProcessedURLCount, 0, urlCount));
  d.ResumeIndex = static_cast<int32_t>(std::clamp<int64_t>(d.ResumeIndex, 0, urlCount));
  state.TaskName = std::move(d.TaskName);
  state.SearchText = std::move(d.SearchText);
  state.SearchMode = d.SearchMode;
  state.ProcessedURLCount = d.ProcessedURLCount;
  state.NextURLIndex = d.ResumeIndex;
  state.CrawledAhead.clear();
  for (int32_t index : d.CrawledAhead)
    if (index > d.ResumeIndex && index < urlCount) state.CrawledAhead.insert(index);
  state.CurrentEngine = engines.ByName ? engines.ByName(d.EngineName) : nullptr;
  state.EngineResultOffset = d.EngineResultOffset;
  state.EnginePageCount = d.EnginePageCount;
  state.ReplaceURLList(std::move(lists.URLs));
  window = std::move(d.Window);
  rows.ReplaceRows(std::move(lists.Rows));
  if (engines.RestoreBlocked) engines.RestoreBlocked(d.BlockedSources);
  if (engines.RestoreCookies) engines.RestoreCookies(d.Cookies);
}

std::string EnsureTaskExtension(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  const std::size_t dot = name.find_last_of('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  if (hasExt && name.compare(dot, std::string::npos, ".swrw") == 0) return name;
  return name + ".swrw";
}
