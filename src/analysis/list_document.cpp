// The element tree of a page for list recognition.

#include "analysis/list_document.h"

#include <algorithm>
#include <cstring>

#include "core/gbk.h"

namespace lists {

namespace {

constexpr std::size_t kMaxDepth = 256;
constexpr std::size_t kCloseSearch = 16;
constexpr std::size_t kMaxPiece = 8192;  // bytes

bool OneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}
bool IsInlineTag(std::string_view n) {
  return OneOf(n, {"a",   "em",     "b",   "strong", "i",    "u",   "font", "sup",  "sub",
                   "s",   "strike", "big", "abbr",   "code", "q",   "cite", "mark", "ins",
                   "del", "nobr",   "tt",  "label",  "img",  "wbr", "o:p"});
}
bool IsVoidTag(std::string_view n) {
  return OneOf(n, {"br", "hr", "input", "meta", "link", "area", "base", "col", "embed", "param",
                   "source", "track", "keygen", "basefont", "frame", "!doctype"});
}
bool IsSkipTag(std::string_view n) {
  return OneOf(n, {"script", "style", "noscript", "textarea", "select", "button", "iframe",
                   "object", "template", "svg", "title"});
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsLatin(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool IsHeadingTag(std::string_view n) {
  return OneOf(n, {"h1", "h2", "h3", "h4", "h5", "h6", "dt"});
}

struct TTagInfo {
  std::string Name;  // lower-cased
  bool Closing = false;
  bool SelfClosing = false;
  std::string Class;
  std::string DataContent;
  bool Hidden = false;
  std::size_t End = 0;  // one past ">"
};

// Reads "<...>" at `at`: name, class, data-content and inline hiding; End = 0 without ">".
TTagInfo ReadTag(std::string_view html, std::size_t at) {
  TTagInfo t;
  std::size_t i = at + 1;
  if (i < html.size() && html[i] == '/') {
    t.Closing = true;
    ++i;
  }
  while (i < html.size() && (IsLatin(html[i]) || IsDigit(html[i]) || html[i] == ':' ||
                             html[i] == '!' || html[i] == '-')) {
    char c = html[i++];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (t.Name.size() < 16) t.Name.push_back(c);
  }
  while (i < html.size()) {
    const char c = html[i];
    if (c == '>') {
      t.SelfClosing = i > at && html[i - 1] == '/';
      t.End = i + 1;
      return t;
    }
    if (c == '<') return t;  // no end before the next tag: text
    if (gbk::IsBlankByte(static_cast<unsigned char>(c)) || c == '/') {
      ++i;
      continue;
    }
    const std::size_t nameFrom = i;
    while (i < html.size() && html[i] != '=' && html[i] != '>' && html[i] != '<' &&
           !gbk::IsBlankByte(static_cast<unsigned char>(html[i])))
      ++i;
    const std::string attr = gbk::LowerLatin(html.substr(nameFrom, i - nameFrom));
    while (i < html.size() && gbk::IsBlankByte(static_cast<unsigned char>(html[i]))) ++i;
    if (i >= html.size() || html[i] != '=') continue;
    ++i;
    while (i < html.size() && gbk::IsBlankByte(static_cast<unsigned char>(html[i]))) ++i;
    std::string_view value;
    if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
      const std::size_t close = html.find(html[i], i + 1);
      if (close == std::string_view::npos) return t;  // no end: not a tag
      value = html.substr(i + 1, close - i - 1);
      i = close + 1;
    } else {
      const std::size_t from = i;
      while (i < html.size() && html[i] != '>' && html[i] != '<' &&
             !gbk::IsBlankByte(static_cast<unsigned char>(html[i])))
        ++i;
      value = html.substr(from, i - from);
    }
    if (attr == "class") {
      const std::string_view v = gbk::TrimView(value);
      std::size_t e = 0;
      while (e < v.size() && !gbk::IsBlankByte(static_cast<unsigned char>(v[e]))) ++e;
      for (char ch : v.substr(0, std::min<std::size_t>(e, 32)))
        if (!IsDigit(ch)) t.Class.push_back(ch);
    } else if (attr == "data-content") {
      t.DataContent = std::string(value);
    } else if (attr == "style") {
      std::string compact;
      for (char ch : value.substr(0, 512))
        if (!gbk::IsBlankByte(static_cast<unsigned char>(ch))) compact.push_back(ch);
      compact = gbk::LowerLatin(compact);
      t.Hidden = compact.find("display:none") != std::string::npos ||
                 compact.find("visibility:hidden") != std::string::npos;
    }
  }
  return t;
}

// Where "</name" starts at or after `from`, ignoring case; npos when absent.
std::size_t FindClosing(std::string_view html, std::string_view name, std::size_t from) {
  while (from < html.size()) {
    const void* hit = std::memchr(html.data() + from, '<', html.size() - from);
    if (!hit) return std::string_view::npos;
    const std::size_t at = static_cast<const char*>(hit) - html.data();
    if (at + 1 + name.size() < html.size() && html[at + 1] == '/' &&
        gbk::LowerLatin(html.substr(at + 2, name.size())) == name)
      return at;
    from = at + 1;
  }
  return std::string_view::npos;
}

void TDocument::CloseOpen(std::initializer_list<std::string_view> targets,
                          std::initializer_list<std::string_view> stops) {
  for (std::size_t k = stack_.size(), seen = 0; k > 1 && seen < kCloseSearch; --k, ++seen) {
    const std::string_view name = names_[Tag(nodes_[stack_[k - 1]])];
    if (OneOf(name, targets)) {
      while (stack_.size() >= k) Pop();
      return;
    }
    if (OneOf(name, stops)) return;
  }
}

TDocument::TDocument(std::string_view html) : html_(html) {
  maxNodes_ = html.size() / 16 + 4096;
  // Room for every node the page may have, so the list is never copied while it grows (room
  // not used is never touched).
  nodes_.reserve(maxNodes_ + 1);
  arena_.reserve(html.size());
  // A piece ends at a tag: one more than the page has "<" at most.
  const auto most = static_cast<std::size_t>(std::count(html.begin(), html.end(), '<')) + 1;
  pieceNodes_.reserve(most);
  pieceSizes_.reserve(most);
  pieceBegins_.reserve(most / 8 + 1);
  Intern("");  // tag 0: the document
  kinds_.emplace_back(0, 0);
  kindIds_.emplace(0, 0);
  nodes_.push_back({});
  stack_.push_back(0);
  lastChild_.push_back(kNone);
  hidden_.push_back(false);
}

void TDocument::Build() {
  const std::string_view h = html_;
  std::size_t i = 0;
  while (i < h.size()) {
    const void* hit = std::memchr(h.data() + i, '<', h.size() - i);
    std::size_t lt = hit ? static_cast<const char*>(hit) - h.data() : h.size();
    // A "<" that is the second byte of a Chinese character is text.
    std::size_t b = i;
    while (b < lt) b += gbk::CharLen(h, b);
    if (b > lt) {
      Text(h.substr(i, b - i));
      i = b;
      continue;
    }
    Text(h.substr(i, lt - i));
    if (lt >= h.size()) break;
    i = Markup(lt);
  }
  EndPiece();
  while (stack_.size() > 1) Pop();
  nodes_[0].PieceEnd = static_cast<uint32_t>(PieceCount());
  FlattenIfSmaller();
}

void TDocument::FlattenIfSmaller() {
  if (flat_ || keptSize_ >= sizeof(uint32_t) * sources_.size()) return;
  std::string all;
  all.reserve(textSize_);
  for (std::size_t k = 0; k < PieceCount(); ++k) all.append(PieceText(k));
  arena_ = std::move(all);
  std::vector<uint32_t>().swap(sources_);
  flat_ = true;
}

std::size_t TDocument::PieceSize(std::size_t k) const {
  if (pieceSizes_[k] != kLongPiece) return pieceSizes_[k];
  const auto it = std::lower_bound(longPieces_.begin(), longPieces_.end(),
                                   std::pair<uint32_t, uint32_t>(static_cast<uint32_t>(k), 0));
  return it->second;
}

std::size_t TDocument::PieceBegin(std::size_t k) const {
  if (k >= PieceCount()) return textSize_;
  std::size_t begin = pieceBegins_[k / 8];
  for (std::size_t j = k / 8 * 8; j < k; ++j) begin += PieceSize(j);
  return begin;
}

std::string_view TDocument::PieceText(std::size_t k) const {
  const std::size_t size = PieceSize(k);
  if (flat_) return std::string_view(arena_).substr(PieceBegin(k), size);
  const uint32_t at = sources_[k];
  if (at & kInArena) return std::string_view(arena_).substr(at & ~kInArena, size);
  return html_.substr(at, size);
}

std::size_t TDocument::Bytes(uint32_t begin, uint32_t end) const {
  if (begin >= end) return 0;
  return PieceBegin(end) - PieceBegin(begin);
}

uint32_t TDocument::TagId(std::string_view name) const {
  const auto it = ids_.find(std::string(name));
  return it == ids_.end() ? kNone : it->second;
}

uint32_t TDocument::Intern(const std::string& s) {
  const auto [it, added] = ids_.emplace(s, static_cast<uint32_t>(names_.size()));
  if (added) names_.push_back(s);
  return it->second;
}

std::size_t TDocument::Markup(std::size_t lt) {
  const std::string_view h = html_;
  if (h.substr(lt, 4) == "<!--") {
    const std::size_t end = h.find("-->", lt + 4);
    return end == std::string_view::npos ? h.size() : end + 3;
  }
  const char next = lt + 1 < h.size() ? h[lt + 1] : '\0';
  if (next == '!' || next == '?') {
    const std::size_t end = h.find('>', lt);
    return end == std::string_view::npos ? h.size() : end + 1;
  }
  if (!IsLatin(next) && next != '/') {
    Text(h.substr(lt, 1));
    return lt + 1;
  }
  TTagInfo tag = ReadTag(h, lt);
  if (tag.End == 0) {
    Text(h.substr(lt, 1));
    return lt + 1;
  }
  if (tag.Name.empty() || IsInlineTag(tag.Name)) return tag.End;
  if (IsVoidTag(tag.Name)) {
    EndPiece();
    return tag.End;
  }
  if (tag.Closing) {
    Close(tag.Name);
    return tag.End;
  }
  if (IsSkipTag(tag.Name)) {
    if (!tag.DataContent.empty()) {
      Open(tag);
      Close(tag.Name);
    }
    if (tag.SelfClosing) return tag.End;
    // An element never closed hides nothing: its tag alone is passed over. A failed search
    // is remembered, so that many such tags cost one scan.
    const auto never = noClose_.find(tag.Name);
    if (never != noClose_.end() && never->second <= tag.End) return tag.End;
    const std::size_t close = FindClosing(h, tag.Name, tag.End);
    if (close == std::string_view::npos) {
      noClose_[tag.Name] = tag.End;
      return tag.End;
    }
    if (tag.Name == "title" && title_.empty())
      title_ = gbk::Trim(h.substr(tag.End, std::min<std::size_t>(close - tag.End, 512)));
    const std::size_t gt = h.find('>', close);
    return gt == std::string_view::npos ? h.size() : gt + 1;
  }
  Open(tag);
  if (tag.SelfClosing) Close(tag.Name);
  return tag.End;
}

void TDocument::Open(const TTagInfo& tag) {
  EndPiece();
  const std::string_view n = tag.Name;
  if (n == "td" || n == "th")
    CloseOpen({"td", "th"}, {"tr", "table"});
  else if (n == "tr")
    CloseOpen({"tr"}, {"table"});
  else if (n == "li")
    CloseOpen({"li"}, {"ul", "ol"});
  else if (n == "dt" || n == "dd")
    CloseOpen({"dt", "dd"}, {"dl"});
  else if (n == "p" && names_[Tag(nodes_[stack_.back()])] == "p")
    Pop();
  const bool hidden = hidden_.back() || tag.Hidden;
  if (stack_.size() >= kMaxDepth || nodes_.size() >= maxNodes_) {
    // Too deep or too many: read as text of the enclosing element.
    if (!tag.DataContent.empty() && !hidden) AttributeText(tag.DataContent);
    return;
  }
  TNode node;
  node.PieceBegin = static_cast<uint32_t>(PieceCount());
  const uint32_t tagId = Intern(tag.Name);
  const uint32_t sigId = Intern(tag.Name + "." + tag.Class);
  const auto [kind, added] =
      kindIds_.try_emplace(uint64_t{sigId} << 32 | tagId, static_cast<uint32_t>(kinds_.size()));
  if (added) kinds_.emplace_back(sigId, tagId);
  node.Kind = kind->second;
  const auto id = static_cast<uint32_t>(nodes_.size());
  uint32_t& last = lastChild_.back();
  if (last == kNone)
    nodes_[stack_.back()].Kind |= kHasChildren;  // the open parent is node id - 1
  else
    nodes_[last].Next = id;
  last = id;
  nodes_.push_back(node);
  stack_.push_back(id);
  lastChild_.push_back(kNone);
  hidden_.push_back(hidden);
  if (n == "pre") ++pre_;
  if (!tag.DataContent.empty() && !hidden) AttributeText(tag.DataContent);
}

void TDocument::Close(const std::string& name) {
  EndPiece();
  const auto it = ids_.find(name);
  if (it == ids_.end()) return;
  for (std::size_t k = stack_.size(), seen = 0; k > 1 && seen < kCloseSearch; --k, ++seen) {
    if (Tag(nodes_[stack_[k - 1]]) == it->second) {
      while (stack_.size() >= k) Pop();
      return;
    }
  }
}

void TDocument::Pop() {
  EndPiece();
  TNode& node = nodes_[stack_.back()];
  node.PieceEnd = static_cast<uint32_t>(PieceCount());
  if (names_[Tag(node)] == "pre" && pre_ > 0) --pre_;
  stack_.pop_back();
  lastChild_.pop_back();
  hidden_.pop_back();
}

void TDocument::AttributeText(std::string_view value) {
  std::string decoded;
  DecodeInto(value, decoded);
  std::size_t i = 0;
  while (i < decoded.size()) {
    const std::size_t lt = decoded.find('<', i);
    if (lt == std::string::npos) {
      AppendText(std::string_view(decoded).substr(i));
      break;
    }
    AppendText(std::string_view(decoded).substr(i, lt - i));
    EndPiece();
    const std::size_t gt = decoded.find('>', lt);
    i = gt == std::string::npos ? decoded.size() : gt + 1;
  }
  EndPiece();
}

void TDocument::Text(std::string_view raw) {
  if (hidden_.back() || raw.empty()) return;
  // Without entities the text is read where it stands, so a piece can be kept in the page.
  if (raw.find('&') == std::string_view::npos) {
    AppendText(raw);
    return;
  }
  std::string decoded;
  DecodeInto(raw, decoded);
  AppendText(decoded);
}

void TDocument::DecodeInto(std::string_view raw, std::string& out) {
  static constexpr std::pair<std::string_view, std::string_view> kEntities[] = {
      {"&nbsp;", "\x01"},   {"&#160;", "\x01"}, {"&ensp;", "\x01"}, {"&emsp;", "\x01"},
      {"&#12288;", "\x01"}, {"&amp;", "&"},     {"&lt;", "<"},      {"&gt;", ">"},
      {"&quot;", "\""},     {"&#34;", "\""},    {"&#39;", "'"},     {"&apos;", "'"},
      {"&#64;", "@"},       {"&nbsp", "\x01"}};
  out.reserve(out.size() + raw.size());
  for (std::size_t i = 0; i < raw.size();) {
    const std::size_t n = gbk::CharLen(raw, i);
    if (n == 1 && raw[i] == '&') {
      bool done = false;
      for (const auto& [from, to] : kEntities) {
        if (raw.size() - i >= from.size() && gbk::LowerLatin(raw.substr(i, from.size())) == from) {
          out.append(to);
          i += from.size();
          done = true;
          break;
        }
      }
      if (done) continue;
    }
    out.append(raw.substr(i, n));
    i += n;
  }
}

void TDocument::AppendText(std::string_view t) {
  for (std::size_t i = 0; i < t.size();) {
    const std::size_t n = gbk::CharLen(t, i);
    const unsigned char c = static_cast<unsigned char>(t[i]);
    if (n == 2) {
      const unsigned char d = static_cast<unsigned char>(t[i + 1]);
      if (c == 0xA1 && d == 0xA1) {
        Blank(false);
      } else if (c == 0xA3 && d == 0xBA) {
        Put(":");  // full-width colon
      } else {
        Put(t.substr(i, 2));
      }
    } else if (c == '\n' || c == '\r') {
      if (pre_ > 0)
        EndPiece();
      else
        Blank(true);
    } else if (c <= 32 || c == 0x01) {
      Blank(false);
    } else {
      Put(t.substr(i, 1));
    }
    i += n;
  }
}

void TDocument::Blank(bool lineFeed) {
  ++blanks_;
  lineFeed_ = lineFeed_ || lineFeed;
}

void TDocument::Put(std::string_view bytes) {
  // No entry needs more of one run of text than this; the rest is not copied.
  if (arena_.size() - pieceStart_ >= kMaxPiece) return;
  const auto page = reinterpret_cast<uintptr_t>(html_.data());
  const auto at = reinterpret_cast<uintptr_t>(bytes.data());
  const bool inPage = at >= page && at < page + html_.size() && html_.size() < kInArena;
  if (!hasText_) {
    raw_ = inPage;
    rawBegin_ = bytes.data();
  } else if (blanks_ > 0) {
    const char blank = lineFeed_ || blanks_ < 2 ? ' ' : kCellBreak;
    arena_.push_back(blank);
    // One space in the page reads as itself.
    raw_ = raw_ && inPage && blank == ' ' && bytes.data() == rawNext_ + 1 && *rawNext_ == ' ';
  } else {
    raw_ = raw_ && inPage && bytes.data() == rawNext_;
  }
  rawNext_ = bytes.data() + bytes.size();
  blanks_ = 0;
  lineFeed_ = false;
  arena_.append(bytes);
  hasText_ = true;
}

void TDocument::EndPiece() {
  if (hasText_) {
    // The piece was written to the arena as it was read; one that reads the same in the page
    // is kept there instead.
    const std::size_t size = arena_.size() - pieceStart_;
    const std::size_t k = PieceCount();
    if (k % 8 == 0) pieceBegins_.push_back(static_cast<uint32_t>(textSize_));
    pieceNodes_.push_back(stack_.back());
    pieceSizes_.push_back(size < kLongPiece ? static_cast<uint8_t>(size) : kLongPiece);
    if (size >= kLongPiece)
      longPieces_.emplace_back(static_cast<uint32_t>(k), static_cast<uint32_t>(size));
    if (raw_) rawSize_ += size;
    if (flat_ && rawSize_ >= sizeof(uint32_t) * PieceCount() && PieceCount() >= 64) {
      sources_.reserve(pieceNodes_.capacity());
      for (std::size_t j = 0, begin = 0; j < k; begin += PieceSize(j++))
        sources_.push_back(kInArena | static_cast<uint32_t>(begin));
      flat_ = false;
    }
    if (!flat_ && raw_) {
      sources_.push_back(static_cast<uint32_t>(rawBegin_ - html_.data()));
      arena_.resize(pieceStart_);
      keptSize_ += size;
    } else if (!flat_) {
      sources_.push_back(kInArena | static_cast<uint32_t>(pieceStart_));
    }
    textSize_ += size;
  }
  pieceStart_ = arena_.size();
  hasText_ = false;
  blanks_ = 0;
  lineFeed_ = false;
}

}  // namespace lists
