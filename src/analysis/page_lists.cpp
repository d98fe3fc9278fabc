// List recognition over the element tree (list_document.h): repeated siblings become
// candidate groups, every group is read entry by entry (columns by the shapes of their values
// and by a header row, labelled cells by their labels), and the best groups that do not
// overlap give the records. The work spent reading groups is bounded by the page's size.

#include "analysis/page_lists.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <unordered_map>
#include <utility>

#include "analysis/contact_shapes.h"
#include "analysis/list_document.h"
#include "analysis/page_labels.h"
#include "analysis/parse_html.h"
#include "analysis/recognition_words.h"
#include "core/gbk.h"

namespace lists {
namespace {

constexpr std::size_t kMaxName = 80;
constexpr std::size_t kMaxAddress = 200;
constexpr std::size_t kMaxCell = 400;
constexpr std::size_t kMaxPerField = 8;
constexpr std::size_t kMinEntry = 8;  // bytes of text
constexpr std::size_t kSample = 128;  // entries

enum TField { kAddress = 0, kPostCode = 1, kTelephone = 2, kFax = 3, kEmail = 4, kCompany = 5 };
constexpr unsigned kNoShape = 1u << 6;

bool OneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<std::string> ToGbk(std::initializer_list<const char*> utf8) {
  std::vector<std::string> out;
  for (const char* u : utf8) out.push_back(gbk::FromUtf8(u));
  return out;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsLatin(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
std::size_t CountDigits(std::string_view s) {
  return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), IsDigit));
}

// One entry of a candidate group: a range of pieces, and its node when it is one element.
struct TEntry {
  uint32_t PieceBegin = 0;
  uint32_t PieceEnd = 0;
  uint32_t Node = kNone;
};

// A cell's text lies in the document or in its group's text buffer, which never grows while
// cells point into it.
struct TCell {
  const char* Data = nullptr;
  uint32_t Size = 0;
  bool Header = false;  // a th cell
  std::string_view Text() const { return {Data, Size}; }
};
using TRow = std::span<const TCell>;

enum TColumn { kColOther, kColName, kColPhone, kColFax, kColEmail, kColAddress, kColIgnore };

// A draft is a record while its entry is read; a group's drafts are held packed while the
// groups are compared.
using TDraft = TListRecord;
using TDraftList = TPackedRecords;

void AddUnique(std::vector<std::string>& list, std::string value, bool phone) {
  if (list.size() >= kMaxPerField) return;
  for (const auto& v : list)
    if (phone ? contact::SameNumber(v, value) : gbk::LowerLatin(v) == gbk::LowerLatin(value))
      return;
  list.push_back(std::move(value));
}

// Text with its e-mail and web addresses blanked, for the phone finder.
std::string WithoutAddresses(std::string_view text) {
  std::string out(text);
  for (const auto& f : contact::FindEmails(text)) out.replace(f.Pos, f.Len, f.Len, ' ');
  for (const auto& f : contact::FindWebAddresses(out)) out.replace(f.Pos, f.Len, f.Len, ' ');
  return out;
}

struct TLabelPart {
  unsigned Fields = 0;  // bit per TField, kNoShape
  std::string_view Value;
};

class TGroupReader {
 public:
  TGroupReader(const TDocument& doc, const TListVocabulary& vocab)
      : doc_(doc), vocab_(vocab), words_(RecognitionWords()) {
    trId_ = doc.TagId("tr");
    tdId_ = doc.TagId("td");
    thId_ = doc.TagId("th");
  }

  // A label's fields (blanks removed, lower-cased); "/" or "、" separates names of several.
  unsigned Classify(std::string_view label) const {
    std::string compact;
    for (char c : gbk::LowerLatin(label))
      if (!gbk::IsBlankByte(static_cast<unsigned char>(c)) && c != '*') compact.push_back(c);
    if (compact.empty()) return 0;
    unsigned fields = 0;
    for (const auto& w : words_.NoShapeLabels)
      if (gbk::Contains(compact, w)) fields |= kNoShape;
    const auto is = [&](const std::vector<std::string>& list) {
      return std::find(list.begin(), list.end(), compact) != list.end();
    };
    if (is(words_.ShortTelephoneLabels)) return fields | 1u << kTelephone;
    if (is(words_.ShortFaxLabels)) return fields | 1u << kFax;
    if (is(words_.ShortMailLabels)) return fields | 1u << kEmail;
    std::size_t from = 0;
    while (from <= compact.size()) {
      std::size_t cut = compact.find('/', from);
      std::size_t cutLen = 1;
      const std::size_t sep = gbk::Find(compact, GBK("、"), from);
      if (sep != gbk::npos && (cut == std::string::npos || sep < cut)) {
        cut = sep;
        cutLen = 2;
      }
      const std::string_view part = std::string_view(compact).substr(
          from, cut == std::string::npos ? std::string::npos : cut - from);
      const TLikeList* lists[] = {&vocab_.Labels[0], &vocab_.Labels[1], &vocab_.Labels[2],
                                  &vocab_.Labels[3], &vocab_.Labels[4], &vocab_.Company};
      if (const int best = pagetext::LastEndingKeyword(part, lists); best >= 0)
        fields |= 1u << best;
      if (cut == std::string::npos) break;
      from = cut + cutLen;
    }
    return fields;
  }

  // The text before the first label, and every "label:" of a cell with its value. A label
  // is a short run of letters right before a colon; one in the middle of a cell counts only
  // when it names a field.
  std::string_view SplitLabels(std::string_view t, std::vector<TLabelPart>& parts) const {
    parts.clear();
    struct TAt {
      std::size_t From, ValueFrom;
      unsigned Fields;
    };
    std::vector<TAt> found;
    std::size_t lastStart = 0;  // start of the current run of label characters
    std::size_t runChars = 0;
    for (std::size_t i = 0; i < t.size();) {
      const std::size_t n = gbk::CharLen(t, i);
      const bool labelChar =
          (n == 2 && contact::IsHanziAt(t, i)) || (n == 1 && (IsLatin(t[i]) || t[i] == '-'));
      if (n == 1 && t[i] == ':' && runChars > 0 && runChars <= 10 &&
          (i + 1 >= t.size() || !IsDigit(t[i + 1]) || !IsDigit(t[i - 1]))) {
        const std::string_view label = t.substr(lastStart, i - lastStart);
        const unsigned fields = Classify(label);
        if ((lastStart == 0 || fields != 0) && CountDigits(label) == 0 &&
            (found.empty() || found.back().ValueFrom <= lastStart))
          found.push_back({lastStart, i + 1, fields});
        runChars = 0;
        lastStart = i + 1;
      } else if (labelChar) {
        if (runChars == 0) lastStart = i;
        ++runChars;
      } else if (!(n == 1 && t[i] == ' ' && runChars > 0 && runChars < 3)) {
        runChars = 0;
      }
      i += n;
    }
    for (std::size_t k = 0; k < found.size(); ++k) {
      const std::size_t end = k + 1 < found.size() ? found[k + 1].From : t.size();
      parts.push_back(
          {found[k].Fields, gbk::TrimView(t.substr(found[k].ValueFrom, end - found[k].ValueFrom))});
    }
    return gbk::TrimView(t.substr(0, found.empty() ? t.size() : found.front().From));
  }

  bool IsAddressShape(std::string_view t) const {
    if (t.size() < 8 || t.size() > kMaxAddress || !contact::IsHanziAt(t, 0)) return false;
    if (gbk::Contains(t, GBK("，")) || gbk::Contains(t, GBK("；"))) return false;
    const std::string low = gbk::LowerLatin(t);
    int words = 0;
    for (const auto& w : vocab_.AddressContent)
      if (!w.empty() && gbk::Contains(low, w)) ++words;
    return words >= 2 || (words >= 1 && CountDigits(t) > 0);
  }

  bool HasSuffix(std::string_view name) const {
    const std::string low = gbk::LowerLatin(name);
    for (const auto& w : words_.CompanySuffixes)
      if (low.size() >= w.size() + 4 && low.ends_with(w)) return true;
    return false;
  }

  bool HasBranchWord(std::string_view name) const {
    const std::string low = gbk::LowerLatin(name);
    for (const auto& w : words_.BranchWords)
      if (gbk::Contains(low, w)) return true;
    return false;
  }

  bool IsNameShape(std::string_view t) const {
    if (t.size() < 4 || t.size() > kMaxName || CountDigits(t) > 2) return false;
    if (t.find('@') != std::string_view::npos || t.find(':') != std::string_view::npos)
      return false;
    static const std::vector<std::string> prose = ToGbk({"，", "。", "；", "！", "？", "、"});
    for (const auto& p : prose)
      if (gbk::Contains(t, p)) return false;
    const std::string low = gbk::LowerLatin(t);
    for (const auto& w : words_.FooterMarks)
      if (gbk::Contains(low, w)) return false;
    bool letters = false;
    for (std::size_t i = 0; i < t.size() && !letters; i += gbk::CharLen(t, i))
      letters = contact::IsHanziAt(t, i) || IsLatin(t[i]);
    return letters;
  }

  // Appends the cells of an entry: a row's cells, else its pieces split at runs of blanks.
  // `text` has room reserved for every piece of the entry and a blank after each. A cell of
  // one piece is read where the document holds it; only joined text is copied into `text`.
  void Cells(const TEntry& e, std::string& text, std::vector<TCell>& cells) const {
    const auto add = [&](std::string_view part, bool header, bool join) {
      part = part.substr(0, kMaxCell);
      if (!join) {
        cells.push_back({part.data(), static_cast<uint32_t>(part.size()), header});
        return;
      }
      if (text.capacity() - text.size() < part.size()) return;
      const std::size_t at = text.size();
      text.append(part);
      if (join)
        std::replace(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(), kCellBreak, ' ');
      const std::string_view cell = std::string_view(text).substr(at);
      cells.push_back({cell.data(), static_cast<uint32_t>(cell.size()), header});
    };
    const auto& nodes = doc_.Nodes();
    if (e.Node != kNone && doc_.Tag(nodes[e.Node]) == trId_) {
      const std::size_t before = cells.size();
      for (uint32_t c = doc_.FirstChild(e.Node); c != kNone; c = nodes[c].Next) {
        if (doc_.Tag(nodes[c]) != tdId_ && doc_.Tag(nodes[c]) != thId_) continue;
        const bool header = doc_.Tag(nodes[c]) == thId_;
        if (nodes[c].PieceEnd == nodes[c].PieceBegin + 1) {
          const std::string_view t = doc_.PieceText(nodes[c].PieceBegin).substr(0, kMaxCell);
          if (t.find(kCellBreak) == std::string_view::npos) {
            add(t, header, false);
            continue;
          }
        }
        std::string joined;
        for (uint32_t k = nodes[c].PieceBegin; k < nodes[c].PieceEnd && joined.size() < kMaxCell;
             ++k) {
          if (!joined.empty()) joined.push_back(' ');
          joined.append(doc_.PieceText(k).substr(0, kMaxCell));
        }
        add(joined, header, true);
      }
      if (cells.size() > before) return;
    }
    for (uint32_t k = e.PieceBegin; k < e.PieceEnd; ++k) {
      const std::string_view t = doc_.PieceText(k);
      std::size_t from = 0;
      while (from <= t.size()) {
        std::size_t cut = t.find(kCellBreak, from);
        if (cut == std::string_view::npos) cut = t.size();
        const std::string_view part = gbk::TrimView(t.substr(from, cut - from));
        if (!part.empty()) add(part, false, false);
        from = cut + 1;
      }
    }
  }

  // The text room Cells needs for an entry: its pieces and a blank after each.
  std::size_t Room(const TEntry& e) const {
    return doc_.Bytes(e.PieceBegin, e.PieceEnd) + e.PieceEnd - e.PieceBegin;
  }

  // The most cells Cells can give an entry, so that the group's cells are never copied while
  // they grow.
  std::size_t CellBound(const TEntry& e) const {
    std::size_t n = 0;
    const auto& nodes = doc_.Nodes();
    if (e.Node != kNone && doc_.Tag(nodes[e.Node]) == trId_)
      for (uint32_t c = doc_.FirstChild(e.Node); c != kNone; c = nodes[c].Next)
        n += doc_.Tag(nodes[c]) == tdId_ || doc_.Tag(nodes[c]) == thId_;
    for (uint32_t k = e.PieceBegin; k < e.PieceEnd; ++k) {
      const std::string_view t = doc_.PieceText(k);
      n += 1 + static_cast<std::size_t>(std::count(t.begin(), t.end(), kCellBreak));
    }
    return n;
  }

  // Whether the cells are a header: th cells, or short labels without digits.
  bool IsHeader(TRow cells) const {
    bool anyLabel = false;
    for (const auto& c : cells) {
      if (c.Header) return true;
      const std::string_view t = c.Text();
      if (t.empty()) continue;
      if (t.size() > 20 || CountDigits(t) > 0 || t.find(':') != std::string::npos) return false;
      anyLabel = anyLabel || (Classify(t) & 0x3Fu) != 0;
    }
    return anyLabel;
  }

  // Assigns each column of a group of rows with `width` cells.
  std::vector<TColumn> Columns(std::span<const TRow> rows, std::size_t width,
                               const TRow* header) const {
    std::vector<TColumn> cols(width, kColOther);
    std::vector<double> nameScore(width, 0.0), addressShare(width, 0.0);
    std::vector<TLabelPart> parts;
    int headerName = -1;
    for (std::size_t c = 0; c < width; ++c) {
      if (header && c < header->size() && !(*header)[c].Text().empty()) {
        const unsigned f = Classify((*header)[c].Text());
        if (f & kNoShape) {
          cols[c] = kColIgnore;
          continue;
        }
        if (f & (1u << kCompany)) headerName = static_cast<int>(c);
        if (f & (1u << kTelephone)) {
          cols[c] = kColPhone;
          continue;
        }
        if (f & (1u << kFax)) {
          cols[c] = kColFax;
          continue;
        }
        if (f & (1u << kEmail)) {
          cols[c] = kColEmail;
          continue;
        }
        if (f & (1u << kAddress)) {
          cols[c] = kColAddress;
          continue;
        }
      }
      std::size_t nonEmpty = 0, phone = 0, email = 0, address = 0, name = 0, suffix = 0, tiny = 0,
                  labelled = 0;
      for (const auto& row : rows) {
        if (row.size() != width) continue;
        const std::string_view t = row[c].Text();
        if (t.empty()) continue;
        ++nonEmpty;
        SplitLabels(t, parts);
        if (!parts.empty() && (parts.front().Fields & 0x3Fu)) ++labelled;
        if (!contact::FindPhones(WithoutAddresses(t), false).empty()) ++phone;
        if (!contact::FindEmails(t).empty()) ++email;
        if (IsAddressShape(t)) ++address;
        if (IsNameShape(t)) {
          ++name;
          if (HasSuffix(t) || HasBranchWord(t)) ++suffix;
        }
        if (t.size() <= 4 && CountDigits(t) == t.size()) ++tiny;
      }
      if (nonEmpty == 0) {
        cols[c] = kColIgnore;
        continue;
      }
      const double n = static_cast<double>(nonEmpty);
      if (labelled >= n / 2) continue;  // read cell by cell
      if (phone >= n / 2) {
        cols[c] = kColPhone;
      } else if (email >= n / 2) {
        cols[c] = kColEmail;
      } else if (tiny >= n * 0.8) {
        cols[c] = kColIgnore;
      } else {
        addressShare[c] = address / n;
        if (name >= n / 2) nameScore[c] = name / n + 2.0 * suffix / n;
      }
    }
    if (std::find(cols.begin(), cols.end(), kColAddress) == cols.end()) {
      int best = -1;
      for (std::size_t c = 0; c < width; ++c)
        if (cols[c] == kColOther && addressShare[c] >= 0.5 &&
            (best < 0 || addressShare[c] > addressShare[best]))
          best = static_cast<int>(c);
      if (best >= 0) cols[best] = kColAddress;
    }
    if (headerName >= 0 && cols[headerName] == kColOther) {
      cols[headerName] = kColName;
    } else {
      int best = -1;
      for (std::size_t c = 0; c < width; ++c)
        if (cols[c] == kColOther && nameScore[c] > 0 &&
            (best < 0 || nameScore[c] > nameScore[best]))
          best = static_cast<int>(c);
      if (best >= 0) cols[best] = kColName;
    }
    return cols;
  }

  // Reads one entry; an entry holding several named contacts gives several drafts.
  void ReadEntry(TRow cells, const std::vector<TColumn>* cols, TDraftList& out) const {
    TDraft cur;
    unsigned pending = 0;
    std::vector<TLabelPart> parts;
    const auto flush = [&] {
      if (!cur.Company.empty() && (cur.HasContact() || !cur.Address.empty())) out.push_back(cur);
      cur = {};
    };
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const std::string_view t = cells[c].Text();
      if (t.empty()) continue;
      const TColumn col = cols && c < cols->size() ? (*cols)[c] : kColOther;
      switch (col) {
        case kColName:
          if (cur.Company.empty() && IsNameShape(t)) cur.Company = std::string(t);
          continue;
        case kColPhone:
          Apply(cur, 1u << kTelephone, t);
          continue;
        case kColFax:
          Apply(cur, 1u << kFax, t);
          continue;
        case kColEmail:
          Apply(cur, 1u << kEmail, t);
          continue;
        case kColAddress:
          Apply(cur, 1u << kAddress, t);
          continue;
        case kColIgnore:
          continue;
        default:
          break;
      }
      const std::string_view lead = SplitLabels(t, parts);
      if (!lead.empty()) {
        if (pending != 0) {
          Apply(cur, pending, lead);
          pending = 0;
        } else if (!ShapeScan(cur, lead) && IsNameShape(lead) && !cols) {
          if (!cur.Company.empty() && cur.HasContact()) flush();
          if (cur.Company.empty()) cur.Company = std::string(lead);
        } else if (!cols && cur.Address.empty() && !cur.Company.empty() && IsAddressShape(lead)) {
          cur.Address = std::string(lead);
        }
      }
      for (const auto& p : parts) {
        const unsigned f = p.Fields & 0x3Fu;
        if (f == 0) {
          if (!(p.Fields & kNoShape)) ShapeScan(cur, p.Value);
          continue;
        }
        if (p.Value.empty()) {
          pending = f;
          continue;
        }
        pending = 0;
        Apply(cur, f, p.Value);
      }
    }
    flush();
  }

  // E-mail addresses and phone numbers by their shape; whether any was found.
  static bool ShapeScan(TDraft& d, std::string_view t) {
    bool any = false;
    for (auto& e : contact::FindEmails(t)) {
      AddUnique(d.Emails, std::move(e.Value), false);
      any = true;
    }
    for (auto& p : contact::FindPhones(WithoutAddresses(t), false)) {
      AddUnique(d.Phones, std::move(p.Value), true);
      any = true;
    }
    return any;
  }

  void Apply(TDraft& d, unsigned fields, std::string_view value) const {
    value = gbk::TrimView(value);
    if (value.empty()) return;
    if (fields & (1u << kCompany)) {
      if (value.size() <= kMaxName) d.Company = std::string(value);
      return;
    }
    if (fields & (1u << kAddress)) {
      if (value.size() <= kMaxAddress && d.Address.empty()) d.Address = std::string(value);
      return;
    }
    if (fields & (1u << kPostCode)) {
      if (d.PostCode.empty()) d.PostCode = contact::FindPostCode(value);
      return;
    }
    if (fields & ((1u << kTelephone) | (1u << kFax))) {
      const bool fax = (fields & (1u << kFax)) && !(fields & (1u << kTelephone));
      for (auto& p : contact::FindPhones(WithoutAddresses(value), true))
        AddUnique(fax ? d.Faxes : d.Phones, std::move(p.Value), true);
    }
    if (fields & (1u << kEmail))
      for (auto& e : contact::FindEmails(value)) AddUnique(d.Emails, std::move(e.Value), false);
  }

  // The drafts of a group, or none when it does not look like a list of contacts.
  TDraftList Read(std::span<const TEntry> entries, std::size_t& work) const {
    // A long group is first tried on its head, so that a huge run of junk costs little.
    if (entries.size() > 2 * kSample && Read(entries.first(kSample), work).empty()) return {};
    std::size_t room = 16;
    for (const auto& e : entries) room += Room(e);
    work += room + entries.size();
    std::string text;
    text.reserve(room);
    std::vector<TCell> cells;
    std::size_t cellRoom = 0;
    for (const auto& e : entries) cellRoom += CellBound(e);
    cells.reserve(cellRoom);
    std::vector<uint32_t> starts;
    starts.reserve(entries.size() + 1);
    for (const auto& e : entries) {
      starts.push_back(static_cast<uint32_t>(cells.size()));
      Cells(e, text, cells);
    }
    starts.push_back(static_cast<uint32_t>(cells.size()));
    std::vector<TRow> rows;
    rows.reserve(entries.size());
    for (std::size_t r = 0; r + 1 < starts.size(); ++r)
      rows.push_back(TRow(cells).subspan(starts[r], starts[r + 1] - starts[r]));
    // Leading header rows; the last one names the columns.
    std::size_t first = 0;
    const TRow* header = nullptr;
    while (first < rows.size() && first < 3 && IsHeader(rows[first])) header = &rows[first++];
    const std::size_t count = rows.size() - first;
    if (count < 3) return {};

    std::unordered_map<std::size_t, std::size_t> widths;
    for (std::size_t r = first; r < rows.size(); ++r) ++widths[rows[r].size()];
    std::size_t width = 0, widthCount = 0;
    for (const auto& [w, n] : widths)
      if (n > widthCount || (n == widthCount && w > width)) {
        width = w;
        widthCount = n;
      }
    std::vector<TColumn> cols;
    const bool columnar = width >= 2 && widthCount * 10 >= count * 7;
    if (columnar) {
      cols = Columns(std::span<const TRow>(rows).subspan(first), width,
                     header && header->size() == width ? header : nullptr);
      if (std::find(cols.begin(), cols.end(), kColName) == cols.end()) cols.clear();
    }
    TDraftList drafts;
    drafts.reserve(count, room);  // one an entry, mostly, and no more text than the entries
    const auto read = [&](TRow row) {
      ReadEntry(row, !cols.empty() && row.size() == width ? &cols : nullptr, drafts);
    };
    if (entries.size() <= 2 * kSample) {
      for (std::size_t r = first; r < rows.size(); ++r) read(rows[r]);
    } else {
      // A long group's cells are let go before its drafts are made, each entry's cells read
      // again on its turn, so that the two are never held together.
      std::vector<TRow>().swap(rows);
      std::vector<TCell>().swap(cells);
      std::string().swap(text);
      for (std::size_t r = first; r < entries.size(); ++r) {
        const TEntry& e = entries[r];
        text.clear();
        text.reserve(Room(e));
        cells.clear();
        Cells(e, text, cells);
        read(TRow(cells));
      }
    }

    std::size_t withContact = 0, withAddress = 0;
    for (std::size_t i = 0; i < drafts.size(); ++i) {
      withContact += drafts.HasContact(i);
      withAddress += drafts.HasAddress(i);
    }
    const std::size_t n = std::max(count, drafts.size());
    if (drafts.size() < 3 || drafts.size() * 10 < n * 6) return {};
    if (withContact * 2 < drafts.size() && withAddress * 2 < drafts.size()) return {};
    // The entries of a list have contacts of their own; blocks repeating one hotline (menus,
    // side bars) are no list.
    // Distinct first contacts, counted over the hashes of their keys (eight bytes an entry).
    std::vector<uint64_t> keys;
    keys.reserve(withContact);
    for (std::size_t i = 0; i < drafts.size(); ++i) {
      const TDraft d = drafts[i];
      std::string key;
      if (!d.Phones.empty())
        key = contact::PhoneKey(d.Phones.front());
      else if (!d.Emails.empty())
        key = gbk::LowerLatin(d.Emails.front());
      else
        continue;
      keys.push_back(std::hash<std::string>{}(key));
    }
    std::sort(keys.begin(), keys.end());
    const auto distinct =
        static_cast<std::size_t>(std::unique(keys.begin(), keys.end()) - keys.begin());
    if (distinct * 10 < withContact * 8) return {};
    return drafts;
  }

  // Names of branches ("北京分中心", "广州中心支") get the parent's name in front.
  bool IsBranchName(std::string_view name) const {
    const std::string low = gbk::LowerLatin(name);
    for (const auto& w : words_.BranchWords) {
      std::size_t at = gbk::Find(low, w);
      // A name cut short inside a Chinese branch word, three characters kept ("中心支").
      const bool chinese = std::all_of(w.begin(), w.end(), [](char c) { return c & 0x80; });
      for (std::size_t len = w.size() - 2; chinese && at == gbk::npos && len >= 6 && len < w.size();
           len -= 2)
        if (low.size() >= len && low.ends_with(std::string_view(w).substr(0, len)))
          at = low.size() - len;
      if (at == gbk::npos) continue;
      return !HasSuffix(name.substr(0, at));
    }
    return false;
  }

  const TDocument& doc_;
  const TListVocabulary& vocab_;
  const TRecognitionWords& words_;
  uint32_t trId_ = kNone, tdId_ = kNone, thId_ = kNone;
};

// A candidate group, its entries made when they are wanted: a page of a hundred thousand rows
// has as many small groups, each costing four words.
struct TGroup {
  enum TKind : uint8_t { kMembers, kHeadings, kLines };
  uint32_t From = 0;  // the parent node; the first piece of a run of lines
  uint32_t Sig = 0;   // the members' signature
  uint32_t Size = 0;  // entries
  TKind Kind = kMembers;
};

// Whether a child can be an entry: one too short to hold a name and a number is none (a
// heading only opens its entry).
bool IsMember(const TDocument& doc, const TNode& n) {
  return doc.Bytes(n.PieceBegin, n.PieceEnd) >= kMinEntry ||
         (n.PieceEnd > n.PieceBegin && IsHeadingTag(doc.TagName(doc.Tag(n))));
}

// The entries of a group, into `out`.
void GroupEntries(const TDocument& doc, const TGroup& g, std::vector<TEntry>& out) {
  out.clear();
  out.reserve(g.Size);
  const auto& nodes = doc.Nodes();
  if (g.Kind == TGroup::kLines) {
    for (uint32_t k = g.From; k < g.From + g.Size; ++k) out.push_back({k, k + 1, kNone});
    return;
  }
  uint32_t c = doc.FirstChild(g.From);
  if (g.Kind == TGroup::kHeadings) {
    // From the first member on, each heading opens an entry that runs to the next one.
    while (c != kNone && !(doc.Sig(nodes[c]) == g.Sig && IsMember(doc, nodes[c])))
      c = nodes[c].Next;
    for (; c != kNone; c = nodes[c].Next) {
      if (doc.Sig(nodes[c]) == g.Sig)
        out.push_back({nodes[c].PieceBegin, nodes[c].PieceEnd, kNone});
      else
        out.back().PieceEnd = std::max(out.back().PieceEnd, nodes[c].PieceEnd);
    }
    return;
  }
  for (; c != kNone; c = nodes[c].Next)
    if (doc.Sig(nodes[c]) == g.Sig && IsMember(doc, nodes[c]))
      out.push_back({nodes[c].PieceBegin, nodes[c].PieceEnd, c});
}

// The candidate groups of the tree: siblings sharing a tag and class, runs of siblings each
// opened by the same heading, and runs of lines of blank-separated cells.
std::vector<TGroup> CandidateGroups(const TDocument& doc) {
  std::vector<TGroup> groups;
  const auto& nodes = doc.Nodes();
  struct TMembers {
    uint32_t First = kNone;
    uint32_t Count = 0;
  };
  std::unordered_map<uint32_t, TMembers> bySig;
  for (uint32_t p = 0; p < nodes.size(); ++p) {
    if (doc.FirstChild(p) == kNone || nodes[p].PieceEnd - nodes[p].PieceBegin < 3) continue;
    bySig.clear();
    std::size_t children = 0;
    for (uint32_t c = doc.FirstChild(p); c != kNone; c = nodes[c].Next) {
      ++children;
      if (!IsMember(doc, nodes[c])) continue;
      TMembers& m = bySig[doc.Sig(nodes[c])];
      if (m.Count++ == 0) m.First = c;
    }
    int headingSplits = 0;
    for (const auto& [sig, members] : bySig) {
      if (members.Count < 3) continue;
      TGroup g{p, sig, members.Count, TGroup::kMembers};
      const bool heading = IsHeadingTag(doc.TagName(doc.Tag(nodes[members.First])));
      if (heading && members.Count < children && headingSplits++ < 2) {
        g.Kind = TGroup::kHeadings;
        g.Size = 0;
        for (uint32_t c = members.First; c != kNone; c = nodes[c].Next)
          g.Size += doc.Sig(nodes[c]) == sig;
      }
      groups.push_back(g);
    }
  }
  // Lines of one element whose cells are set apart by runs of blanks.
  uint32_t from = 0, count = 0;
  for (uint32_t k = 0; k <= doc.PieceCount(); ++k) {
    const bool cells =
        k < doc.PieceCount() && doc.PieceText(k).find(kCellBreak) != std::string_view::npos;
    if (cells && (count == 0 || doc.PieceNode(from) == doc.PieceNode(k))) {
      if (count++ == 0) from = k;
      continue;
    }
    if (count >= 3) groups.push_back({from, 0, count, TGroup::kLines});
    from = k;
    count = cells ? 1 : 0;
  }
  return groups;
}

// The name of the page's own company for branch names: a heading "关于X", else the first
// part of the title.
std::string ParentName(const TDocument& doc, const TRecognitionWords& words) {
  const auto& nodes = doc.Nodes();
  for (std::size_t k = 0; k < doc.PieceCount(); ++k) {
    const std::string_view tag = doc.TagName(doc.Tag(nodes[doc.PieceNode(k)]));
    if (!OneOf(tag, {"h1", "h2", "h3"})) continue;
    const std::string_view t = gbk::TrimView(doc.PieceText(k));
    static const std::vector<std::string> abouts = ToGbk({"关于", "走进"});
    for (const std::string& a : abouts) {
      if (!t.starts_with(a)) continue;
      const std::string_view rest = gbk::TrimView(t.substr(a.size()));
      bool hanzi = rest.size() >= 4 && rest.size() <= 16;
      for (std::size_t i = 0; hanzi && i < rest.size(); i += 2) hanzi = contact::IsHanziAt(rest, i);
      if (hanzi && rest != GBK("我们")) return std::string(rest);
    }
  }
  std::string title = doc.Title();
  static const std::vector<std::string> seps = ToGbk({"-", "|", "_", ",", "，", "—", " "});
  for (const std::string& sep : seps) {
    const std::size_t at = gbk::Find(title, sep);
    if (at != gbk::npos && at > 0) title.resize(at);
  }
  const std::string low = gbk::LowerLatin(title);
  for (const auto& w : words.NoiseWords)
    if (gbk::Contains(low, w)) return {};
  title = gbk::Trim(title);
  return title.size() >= 4 && title.size() <= 24 ? title : std::string();
}

}  // namespace

void TPackedRecords::push_back(const TListRecord& r) {
  firsts_.push_back(static_cast<uint32_t>(fields_.Size()));
  const auto count = [](const std::vector<std::string>& list) {
    return static_cast<uint8_t>(std::min<std::size_t>(list.size(), 255));
  };
  counts_.push_back({count(r.Phones), count(r.Faxes), count(r.Emails)});
  for (const std::string* f : {&r.Company, &r.Address, &r.PostCode}) fields_.Put(*f);
  for (const auto* list : {&r.Phones, &r.Faxes, &r.Emails})
    for (std::size_t m = 0; m < list->size() && m < 255; ++m) fields_.Put((*list)[m]);
}

TListRecord TPackedRecords::operator[](std::size_t i) const {
  TListRecord r;
  std::size_t k = firsts_[i];
  r.Company = fields_.At(k++);
  r.Address = fields_.At(k++);
  r.PostCode = fields_.At(k++);
  for (std::size_t n = 0; n < 3; ++n) {
    auto& list = n == 0 ? r.Phones : n == 1 ? r.Faxes : r.Emails;
    list.reserve(counts_[i][n]);
    for (uint8_t m = 0; m < counts_[i][n]; ++m) list.emplace_back(fields_.At(k++));
  }
  return r;
}

void TListRecords::push_back(const TListRecord& r) {
  if (blocks_.empty() || blocks_.back().size() == kBlock) blocks_.emplace_back().reserve(kBlock);
  blocks_.back().push_back(r);
  ++count_;
}

TListRecord TListRecords::operator[](std::size_t i) const {
  const std::size_t k = head_ + i;
  return blocks_[k / kBlock][k % kBlock];
}

void TListRecords::pop_front() {
  --count_;
  if (++head_ < blocks_.front().size()) return;
  blocks_.pop_front();
  head_ = 0;
}

TListRecords FindListRecords(std::string_view html, const TListVocabulary& vocab,
                             std::string* pageName) {
  // The tree is let go as soon as the groups are chosen, before the records are built.
  auto doc = std::make_unique<TDocument>(html);
  doc->Build();
  const TGroupReader reader(*doc, vocab);
  std::vector<TGroup> groups = CandidateGroups(*doc);
  // Larger groups first, so that the work budget goes to the likeliest lists.
  std::stable_sort(groups.begin(), groups.end(),
                   [](const TGroup& a, const TGroup& b) { return a.Size > b.Size; });

  struct TRead {
    uint32_t From = 0;
    const TGroup* Group = nullptr;
    TDraftList Drafts;
    std::size_t Score = 0;
  };
  std::vector<TRead> read;
  const std::size_t budget = 8 * html.size() + 65536;
  std::size_t work = 0;
  std::vector<TEntry> entries;
  for (const TGroup& g : groups) {
    if (work > budget) break;
    GroupEntries(*doc, g, entries);
    TDraftList drafts = reader.Read(entries, work);
    if (drafts.empty()) continue;
    std::size_t score = 0;
    for (std::size_t i = 0; i < drafts.size(); ++i) score += 1 + drafts.HasContact(i);
    read.push_back({entries.front().PieceBegin, &g, std::move(drafts), score});
  }
  std::stable_sort(read.begin(), read.end(),
                   [](const TRead& a, const TRead& b) { return a.Score > b.Score; });
  std::vector<bool> used(doc->PieceCount(), false);  // a bit a piece
  std::vector<TRead*> chosen;
  for (TRead& r : read) {
    GroupEntries(*doc, *r.Group, entries);
    bool overlap = false;
    for (const auto& e : entries)
      for (uint32_t k = e.PieceBegin; k < e.PieceEnd && !overlap; ++k) overlap = used[k];
    if (overlap) {
      r = {};
      continue;
    }
    for (const auto& e : entries)
      for (uint32_t k = e.PieceBegin; k < e.PieceEnd; ++k) used[k] = true;
    r.Group = nullptr;
    chosen.push_back(&r);
  }
  std::vector<bool>().swap(used);
  std::vector<TEntry>().swap(entries);
  std::vector<TGroup>().swap(groups);
  std::sort(chosen.begin(), chosen.end(),
            [](const TRead* a, const TRead* b) { return a->From < b->From; });

  const std::string parent = ParentName(*doc, RecognitionWords());
  doc.reset();  // past this point the reader only tests names
  if (pageName) *pageName = parent;
  static const std::string& stop = GBK("。");
  TListRecords out;
  for (TRead* r : chosen) {
    for (std::size_t i = 0; i < r->Drafts.size(); ++i) {
      TDraft d = r->Drafts[i];
      TListRecord rec;
      rec.Company = gbk::Trim(d.Company);
      if (!parent.empty() && reader.IsBranchName(rec.Company) &&
          !gbk::Contains(rec.Company, parent))
        rec.Company = parent + rec.Company;
      rec.Address = gbk::Trim(d.Address);
      if (rec.Address.ends_with(stop) && rec.Address.size() >= 2 &&
          gbk::Find(rec.Address, stop, 0) == rec.Address.size() - stop.size())
        rec.Address.resize(rec.Address.size() - stop.size());
      rec.Address = gbk::Trim(rec.Address);
      rec.PostCode = std::move(d.PostCode);
      rec.Phones = std::move(d.Phones);
      rec.Faxes = std::move(d.Faxes);
      rec.Emails = std::move(d.Emails);
      out.push_back(rec);
    }
    *r = {};  // its drafts are records now
  }
  return out;
}

}  // namespace lists

namespace {

// Keys of the list's names, numbers and addresses: their text in one buffer, sorted spans
// into it, against a hash node and a string for each.
class TKeySet {
 public:
  void Add(std::string_view kind, std::string_view key) {
    const auto begin = static_cast<uint32_t>(text_.size());
    text_.append(kind);
    text_.append(key);
    spans_.push_back({begin, static_cast<uint32_t>(text_.size() - begin)});
  }
  // Called once all keys are in.
  void Seal() {
    std::sort(spans_.begin(), spans_.end(),
              [this](const TSpan& a, const TSpan& b) { return View(a) < View(b); });
    spans_.erase(std::unique(spans_.begin(), spans_.end(),
                             [this](const TSpan& a, const TSpan& b) { return View(a) == View(b); }),
                 spans_.end());
    spans_.shrink_to_fit();
  }
  bool Contains(std::string_view kind, std::string_view key) const {
    const auto it = std::lower_bound(spans_.begin(), spans_.end(), 0, [&](const TSpan& a, int) {
      return Compare(View(a), kind, key) < 0;
    });
    return it != spans_.end() && Compare(View(*it), kind, key) == 0;
  }

 private:
  struct TSpan {
    uint32_t Begin;
    uint32_t Size;
  };
  std::string_view View(const TSpan& s) const {
    return std::string_view(text_).substr(s.Begin, s.Size);
  }
  // Orders `have` against kind + key as strings.
  static int Compare(std::string_view have, std::string_view kind, std::string_view key) {
    const std::size_t head = std::min(have.size(), kind.size());
    if (const int c = have.substr(0, head).compare(kind.substr(0, head)); c != 0) return c;
    if (have.size() < kind.size()) return -1;
    return have.substr(kind.size()).compare(key);
  }

  std::string text_;
  std::vector<TSpan> spans_;
};

std::string_view PhoneTail(std::string_view key) {
  return key.substr(key.size() > 7 ? key.size() - 7 : 0);
}

}  // namespace

lists::TListRecords TParseHTML::ReadLists(std::string& pageName) const {
  lists::TListVocabulary vocab;
  vocab.Labels = lowered_.Labels;
  vocab.Company = lowered_.Company;
  vocab.AddressContent = lowered_.AddressContent;
  return lists::FindListRecords(HTML, vocab, &pageName);
}

// The list records replace the records the line reader made of the same entries; its other
// records (the site's own contact in the footer, a hotline) stay after them.
void TParseHTML::AnalyseLists(lists::TListRecords found, const std::string& pageName) {
  const TGlobalSet& s = Settings();
  const TRecordRows::TColumns columns = {&Companies, &Addresses, &PostCodes,    &Telephones,
                                         &Faxes,     &Emails,    &WebAddresses, &Descriptions};
  enum { kCompany, kAddress, kPostCode, kTelephone, kFax, kEmail, kWebAddress };
  const std::string pageAddress = gbk::Trim(PageURL);
  // The line reader's records, held packed with their page address left out.
  auto packed = std::make_unique<TRecordRows>();
  const bool addressLeftOut = packRows_;
  if (packRows_) {
    *packed = std::move(pendingRows_);
    pendingRows_ = {};
    packRows_ = false;
  } else {
    packed->Pack(columns);
  }

  TKeySet keys;
  for (std::size_t i = 0; i < found.size(); ++i) {
    const lists::TListRecord r = found[i];
    for (const auto* list : {&r.Phones, &r.Faxes})
      for (const auto& p : *list) keys.Add("p", PhoneTail(contact::PhoneKey(p)));
    for (const auto& e : r.Emails) keys.Add("e", gbk::LowerLatin(e));
    keys.Add("n", r.Company);
  }
  keys.Seal();
  const auto hasPhone = [&](std::string_view number) {
    return keys.Contains("p", PhoneTail(contact::PhoneKey(number)));
  };
  const auto hasEmail = [&](std::string_view address) {
    return keys.Contains("e", gbk::LowerLatin(address));
  };
  // A record of the line reader loses the list's numbers and addresses it took in; it is
  // left out when it names a list entry or keeps no contact of its own.
  const auto strip = [&](std::string& field, bool phones) {
    const auto values = phones ? contact::FindPhones(field, true) : contact::FindEmails(field);
    std::string rest;
    bool removed = false;
    for (const auto& f : values) {
      if (phones ? hasPhone(f.Value) : hasEmail(f.Value)) {
        removed = true;
        continue;
      }
      if (!rest.empty()) rest += phones ? " " : ";";
      rest += f.Value;
    }
    if (removed) field = rest;
  };
  // A contact page whose offices the line reader already told apart keeps its records, unless
  // it glued a contact from elsewhere on the page (a footer) to one of the entries.
  std::size_t replaced = 0;
  bool glued = false;
  for (std::size_t i = 0; i < packed->size(); ++i) {
    bool shared = keys.Contains("n", packed->Field(i, kCompany));
    bool other = false;
    for (const int column : {kTelephone, kFax})
      for (const auto& p : contact::FindPhones(packed->Field(i, column), true))
        (hasPhone(p.Value) ? shared : other) = true;
    for (const auto& e : contact::FindEmails(packed->Field(i, kEmail)))
      (hasEmail(e.Value) ? shared : other) = true;
    replaced += shared;
    glued = glued || (shared && other);
  }
  if (found.size() < replaced || (found.size() == replaced && !glued)) {
    // The line reader's records stand; nothing else is held while they are unpacked.
    keys = {};
    found.clear();
    const std::size_t from = WebAddresses.size();
    packed->Unpack(columns);
    if (addressLeftOut)
      for (std::size_t i = from; i < WebAddresses.size(); ++i) WebAddresses.Set(i, pageAddress);
    return;
  }
  std::vector<std::array<std::string, TRecordRows::kWidth>> kept;
  for (std::size_t i = 0; i < packed->size(); ++i) {
    const bool named = keys.Contains("n", packed->Field(i, kCompany));
    std::array<std::string, TRecordRows::kWidth> row;
    for (std::size_t c = 0; c < row.size(); ++c) row[c] = packed->Field(i, c);
    if (addressLeftOut) row[kWebAddress] = pageAddress;
    const bool hadContact =
        !gbk::IsBlank(row[kTelephone]) || !gbk::IsBlank(row[kFax]) || !gbk::IsBlank(row[kEmail]);
    strip(row[kTelephone], true);
    strip(row[kFax], true);
    strip(row[kEmail], false);
    const bool noContact =
        gbk::IsBlank(row[kTelephone]) && gbk::IsBlank(row[kFax]) && gbk::IsBlank(row[kEmail]);
    if ((hadContact || named) && noContact) continue;
    if (named) {
      // What is left of an entry's record is the page's own contact.
      if (pageName.empty()) continue;
      row[kCompany] = pageName;
      row[kAddress].clear();
      row[kPostCode].clear();
    }
    kept.push_back(std::move(row));
  }
  packed.reset();
  keys = {};  // not needed past this point

  const bool wantAddress = s.FlagFindAddressAndPostCode;
  const auto join = [](const std::vector<std::string>& list, std::string_view sep) {
    std::string out;
    for (const auto& v : list) {
      if (!out.empty()) out += sep;
      out += v;
    }
    return out;
  };
  const bool wantAny = s.FlagFindTelAndFax || s.FlagFindMailAddress || wantAddress;
  ReserveRecords((wantAny ? found.size() : 0) + kept.size());
  // The entries are let go block by block as they are copied into the result lists, so they
  // are never held twice.
  for (; wantAny && !found.empty(); found.pop_front()) {
    const lists::TListRecord r = found[0];
    const std::string phones = s.FlagFindTelAndFax ? join(r.Phones, " ") : std::string();
    const std::string faxes = s.FlagFindTelAndFax ? join(r.Faxes, " ") : std::string();
    const std::string emails = s.FlagFindMailAddress ? join(r.Emails, ";") : std::string();
    AddRecord(r.Company, wantAddress ? r.Address : std::string(),
              wantAddress ? r.PostCode : std::string(), phones, faxes, emails, 1);
  }
  found.clear();
  for (auto& row : kept)
    for (std::size_t c = 0; c < row.size(); ++c) columns[c]->push_back(std::move(row[c]));
}
