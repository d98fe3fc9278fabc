// Recognition for today's pages: the page's visible lines (page_lines.h), with e-mail
// addresses written out for harvesters read back (hidden_emails.h), are searched for labels
// before every colon (page_labels.h), classified by the keyword lists and the shipped
// vocabulary; values are cut at the next label, e-mail addresses and telephone numbers are
// also found by their shape, and the lines are grouped into one record per office heading.
// Records sharing a contact are merged; names come from the heading, a labelled name, the
// footer, the copyright line or the page title, cut at separators and slogans.

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "analysis/contact_shapes.h"
#include "analysis/hidden_emails.h"
#include "analysis/page_labels.h"
#include "analysis/page_lines.h"
#include "analysis/parse_html.h"
#include "analysis/recognition_words.h"
#include "core/gbk.h"
#include "core/packed_text.h"

namespace {

using contact::TFound;
using pagetext::Collapse;
using enum pagetext::TField;
using pagetext::ContainsAny;
using pagetext::IsLabelChar;
using pagetext::IsLatinLetter;
using pagetext::TLabel;
using pagetext::TPageReader;

constexpr std::size_t kMaxValue = 150;
constexpr std::size_t kMaxName = 100;
constexpr int kHeadingReach = 8;  // lines between a heading and its record's first contact

std::vector<std::string> ToGbk(std::initializer_list<const char*> utf8) {
  std::vector<std::string> out;
  for (const char* u : utf8) out.push_back(gbk::FromUtf8(u));
  return out;
}

std::string RemoveAll(std::string text, const std::vector<std::string>& loweredWords) {
  for (const auto& w : loweredWords) text = gbk::ReplaceAllNoCase(text, w, " ");
  return Collapse(text);
}

struct TRecord {
  std::string Heading;
  int Kind = 0;  // 0 none, 1 company name, 2 office of the page's company
  int HeadingLine = -1;
  std::string Company;
  std::string Address;
  bool AddressLabelled = false;
  std::string PostCode;
  std::vector<std::string> Phones, Faxes, Emails;

  bool HasContact() const { return !Phones.empty() || !Faxes.empty() || !Emails.empty(); }
  bool Empty() const { return !HasContact() && Address.empty() && PostCode.empty(); }
};

bool SamePhone(const std::vector<std::string>& list, std::string_view number) {
  for (const auto& p : list)
    if (contact::SameNumber(p, number)) return true;
  return false;
}
bool SameEmail(const std::vector<std::string>& list, std::string_view email) {
  const std::string low = gbk::LowerLatin(email);
  for (const auto& e : list)
    if (gbk::LowerLatin(e) == low) return true;
  return false;
}
// A record keeps a few values per field; a page listing thousands of numbers is no record.
constexpr std::size_t kMaxPerField = 12;
void AddPhone(std::vector<std::string>& list, std::string number) {
  if (list.size() < kMaxPerField && !SamePhone(list, number)) list.push_back(std::move(number));
}
void AddEmail(std::vector<std::string>& list, std::string email) {
  if (list.size() < kMaxPerField && !SameEmail(list, email)) list.push_back(std::move(email));
}

bool ShareContact(const TRecord& a, const TRecord& b) {
  for (const auto* list : {&b.Phones, &b.Faxes})
    for (const auto& p : *list)
      if (SamePhone(a.Phones, p) || SamePhone(a.Faxes, p)) return true;
  for (const auto& e : b.Emails)
    if (SameEmail(a.Emails, e)) return true;
  return false;
}

// The contacts of a record as keys for finding merge candidates (their last seven digits).
std::vector<std::string> ContactKeys(const TRecord& r) {
  std::vector<std::string> keys;
  for (const auto* list : {&r.Phones, &r.Faxes})
    for (const auto& p : *list) {
      const std::string key = contact::PhoneKey(p);
      keys.push_back("p" + key.substr(key.size() > 7 ? key.size() - 7 : 0));
    }
  for (const auto& e : r.Emails) keys.push_back("e" + gbk::LowerLatin(e));
  return keys;
}

void Merge(TRecord& into, const TRecord& from) {
  if (into.Kind == 0 && from.Kind != 0) {
    into.Heading = from.Heading;
    into.Kind = from.Kind;
  }
  if (into.Company.empty()) into.Company = from.Company;
  if (into.Address.empty()) into.Address = from.Address;
  if (into.PostCode.empty()) into.PostCode = from.PostCode;
  for (const auto& p : from.Phones) AddPhone(into.Phones, p);
  for (const auto& p : from.Faxes) AddPhone(into.Faxes, p);
  for (const auto& e : from.Emails) AddEmail(into.Emails, e);
}

std::string Join(const std::vector<std::string>& list, std::string_view sep) {
  std::string out;
  for (const auto& s : list) {
    if (!out.empty()) out += sep;
    out += s;
  }
  return out;
}

bool EndsWithLatin(std::string_view s) {
  return !s.empty() && IsLatinLetter(s.back());
}

std::string Lowered(std::string_view t) {
  return gbk::LowerLatin(t);
}

bool HasDigits(std::string_view t, std::size_t atLeast) {
  std::size_t n = 0;
  for (char c : t) n += (c >= '0' && c <= '9');
  return n >= atLeast;
}

// A trailing "(…)" or "（…）" is dropped before the name test.
std::string_view StripAside(std::string_view t) {
  t = gbk::TrimView(t);
  static const std::vector<std::string> opens = ToGbk({"(", "（"});
  for (const std::string& o : opens) {
    const std::size_t at = gbk::Find(t, o);
    if (at != gbk::npos && at > 0) return gbk::TrimView(t.substr(0, at));
  }
  return t;
}

bool EndsWithSuffix(const TRecognitionWords& words, std::string_view name) {
  const std::string low = Lowered(name);
  for (const auto& w : words.CompanySuffixes)
    if (low.size() >= w.size() + 4 && low.ends_with(w)) return true;
  return false;
}

bool IsCompanyShape(const TRecognitionWords& words, std::string_view value) {
  const std::string_view core = StripAside(value);
  return !core.empty() && core.size() <= kMaxName && EndsWithSuffix(words, core) &&
         core.find(':') == std::string_view::npos;
}

// Text with its e-mail and web addresses blanked, for the phone finder.
std::string WithoutAddresses(std::string_view text) {
  std::string out(text);
  for (const auto& f : contact::FindEmails(text)) out.replace(f.Pos, f.Len, f.Len, ' ');
  for (const auto& f : contact::FindWebAddresses(out)) out.replace(f.Pos, f.Len, f.Len, ' ');
  return out;
}

// Reads the lines in order into records: a heading opens a record, labelled and shaped
// values fill the current one, a footer line or a repeated address or name closes it.
// Records packed: their text in one buffer per block of a few thousand, so that a page of a
// hundred thousand offices costs their text and a few words each, and each block is let go
// once its records are taken from the front. A record changed after it was added (a merge
// into it) is kept aside whole.
class TRecordQueue {
 public:
  bool empty() const { return size() == 0; }
  std::size_t size() const { return count_ - taken_; }

  void push_back(const TRecord& r) {
    if (blocks_.empty() || blocks_.back().Meta.size() == kBlock) blocks_.emplace_back();
    TBlock& b = blocks_.back();
    const auto count = [](const std::vector<std::string>& list) {
      return static_cast<uint16_t>(std::min<std::size_t>(list.size(), UINT16_MAX));
    };
    b.Meta.push_back({static_cast<uint32_t>(b.Fields.Size()),
                      r.HeadingLine,
                      {count(r.Phones), count(r.Faxes), count(r.Emails)},
                      static_cast<int8_t>(r.Kind),
                      r.AddressLabelled});
    for (const std::string* f : {&r.Heading, &r.Company, &r.Address, &r.PostCode}) b.Fields.Put(*f);
    for (const auto* list : {&r.Phones, &r.Faxes, &r.Emails})
      for (std::size_t v = 0; v < count(*list); ++v) b.Fields.Put((*list)[v]);
    ++count_;
  }

  // Record i counted from the front.
  TRecord Get(std::size_t i) const {
    const std::size_t abs = taken_ + i;
    if (!changed_.empty())
      if (const auto it = changed_.find(abs); it != changed_.end()) return it->second;
    const std::size_t k = head_ + i;
    const TBlock& b = blocks_[k / kBlock];
    const TMeta& m = b.Meta[k % kBlock];
    TRecord r;
    r.Kind = m.Kind;
    r.HeadingLine = m.HeadingLine;
    r.AddressLabelled = m.AddressLabelled;
    std::size_t f = m.First;
    for (std::string* field : {&r.Heading, &r.Company, &r.Address, &r.PostCode})
      *field = b.Fields.At(f++);
    std::size_t n = 0;
    for (auto* list : {&r.Phones, &r.Faxes, &r.Emails}) {
      list->reserve(m.Counts[n]);
      for (uint16_t v = 0; v < m.Counts[n]; ++v) list->emplace_back(b.Fields.At(f++));
      ++n;
    }
    return r;
  }
  void Set(std::size_t i, TRecord r) { changed_[taken_ + i] = std::move(r); }
  // Record i, kept aside from now on so that it can be changed in place.
  TRecord& Mutable(std::size_t i) {
    if (const auto it = changed_.find(taken_ + i); it != changed_.end()) return it->second;
    return changed_[taken_ + i] = Get(i);
  }
  // Record i when it is kept aside, else null.
  const TRecord* Changed(std::size_t i) const {
    if (changed_.empty()) return nullptr;
    const auto it = changed_.find(taken_ + i);
    return it == changed_.end() ? nullptr : &it->second;
  }
  TRecord front() const { return Get(0); }

  void pop_front() {
    if (!changed_.empty()) changed_.erase(taken_);
    ++taken_;
    if (++head_ < blocks_.front().Meta.size()) return;
    blocks_.pop_front();
    head_ = 0;
  }

 private:
  static constexpr std::size_t kBlock = 4096;
  // Sixteen bytes a record. A record holds at most kMaxPerField values a list.
  struct TMeta {
    uint32_t First;  // first field in Fields
    int32_t HeadingLine;
    std::array<uint16_t, 3> Counts;  // phones, faxes, e-mail addresses
    int8_t Kind;
    bool AddressLabelled;
  };
  struct TBlock {
    packed::TPieces Fields;
    std::vector<TMeta> Meta;
  };
  std::deque<TBlock> blocks_;
  std::size_t head_ = 0;  // records of the first block already taken
  std::size_t count_ = 0;
  std::size_t taken_ = 0;
  std::unordered_map<std::size_t, TRecord> changed_;
};

// The first few records holding each contact key (by its hash), in the order they were
// added: a table of twelve bytes a slot and a chain of eight bytes an owner, where a map of
// arrays took some seventy bytes a key.
class TKeyOwners {
 public:
  static constexpr std::size_t kMaxOwners = 8;

  // Calls `visit` with each owner of `hash` in turn while it returns true.
  template <class F>
  void ForEach(std::size_t hash, F visit) const {
    if (heads_.empty()) return;
    for (uint32_t o = heads_[Slot(hash)]; o != kNone; o = owners_[o].Next)
      if (!visit(owners_[o].Owner)) return;
  }

  // Adds `owner` to the owners of `hash` unless it is one or there are kMaxOwners already.
  void Add(std::size_t hash, uint32_t owner) {
    if (4 * (used_ + 1) > 3 * heads_.size()) Grow();
    const std::size_t slot = Slot(hash);
    uint32_t* link = &heads_[slot];
    if (*link == kNone) {
      hashes_[slot] = hash;
      ++used_;
    }
    std::size_t count = 0;
    for (; *link != kNone; link = &owners_[*link].Next, ++count)
      if (owners_[*link].Owner == owner) return;
    if (count >= kMaxOwners) return;
    *link = static_cast<uint32_t>(owners_.size());
    owners_.push_back({owner, kNone});
  }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  struct TOwner {
    uint32_t Owner;
    uint32_t Next;
  };

  // The slot holding `hash`, or the empty one where it would go.
  std::size_t Slot(std::size_t hash) const {
    const std::size_t mask = heads_.size() - 1;
    std::size_t k = hash & mask;
    while (heads_[k] != kNone && hashes_[k] != hash) k = (k + 1) & mask;
    return k;
  }

  void Grow() {
    std::vector<std::size_t> hashes = std::move(hashes_);
    std::vector<uint32_t> heads = std::move(heads_);
    const std::size_t size = heads.empty() ? 64 : 2 * heads.size();
    hashes_.assign(size, 0);
    heads_.assign(size, kNone);
    for (std::size_t k = 0; k < heads.size(); ++k)
      if (heads[k] != kNone) {
        const std::size_t slot = Slot(hashes[k]);
        hashes_[slot] = hashes[k];
        heads_[slot] = heads[k];
      }
  }

  std::vector<std::size_t> hashes_;
  std::vector<uint32_t> heads_;  // first owner of each slot's key, kNone for an empty slot
  std::vector<TOwner> owners_;
  std::size_t used_ = 0;
};

class TRecordBuilder {
 public:
  TRecordBuilder(const TParseHTML& parser, const TPageReader& reader, pagetext::TLines lines)
      : parser_(parser),
        reader_(reader),
        words_(reader.Words()),
        lines_(std::move(lines)),
        consumed_(lines_.size(), false),
        passMemo_(lines_.size(), 0) {
    const TGlobalSet& s = parser.Settings();
    wantAddress_ = s.FlagFindAddressAndPostCode;
    wantPhone_ = s.FlagFindTelAndFax;
    wantMail_ = s.FlagFindMailAddress;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const std::vector<TLabel> found = reader.Labels(lines_.Text(i));
      if (found.empty()) continue;
      labelled_.push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(labels_.size())});
      labels_.insert(labels_.end(), found.begin(), found.end());
    }
  }

  // `stop` is asked every 1024 lines; when it answers true the rest is left unread.
  void ReadAll(const std::function<bool()>& stop = {}) {
    for (line_ = 0; line_ < lines_.size(); ++line_) {
      if ((line_ & 0x3FF) == 0 && stop && stop()) break;
      if (!consumed_[line_]) ReadLine(line_);
    }
    Close();
    // Merging and naming need only the records: the lines are let go before they start.
    lines_.Release();
    std::vector<TLabel>().swap(labels_);
    std::vector<TLabelled>().swap(labelled_);
    std::vector<bool>().swap(consumed_);
    std::vector<uint16_t>().swap(passMemo_);
  }

  // The records with duplicates merged: a record sharing a contact with an earlier one is
  // merged into it, unless both are named offices of their own; with at most one named
  // record, every unnamed one (header hotline, footer) is the same company's.
  // Deques, so that neither list is copied while it grows and each record read is let go.
  TRecordQueue Merged() {
    TRecordQueue kept;
    // Kept records by contact key (hashed; a candidate is confirmed by its contacts). Only
    // the first few owners of a key are ever looked at, so only those are stored.
    TKeyOwners keptByContact;
    const std::hash<std::string> hashKey;
    for (; !records_.empty(); records_.pop_front()) {
      TRecord r = records_.front();
      if (!r.HasContact() && (wantPhone_ || wantMail_)) {
        // An office showing only its address right after a record without one: the same
        // company's ("联系电话…" then "浦东新区总部 / 上海市浦东新区…").
        if (!kept.empty() && !r.Address.empty() && r.Kind == 2) {
          TRecord last = kept.Get(kept.size() - 1);
          if (last.Address.empty()) {
            last.Address = r.Address;
            if (last.PostCode.empty()) last.PostCode = r.PostCode;
            kept.Set(kept.size() - 1, std::move(last));
          }
        }
        continue;
      }
      std::size_t into = kept.size();
      for (const auto& key : ContactKeys(r)) {
        // A few candidates per contact bound the work on pages repeating one hotline.
        keptByContact.ForEach(hashKey(key), [&](std::size_t k) {
          if (k >= into) return false;
          TRecord packed;
          const TRecord* changed = kept.Changed(k);
          if (!changed) packed = kept.Get(k);
          const TRecord& candidate = changed ? *changed : packed;
          if (candidate.Kind != 0 && r.Kind != 0 && candidate.Heading != r.Heading) return true;
          if (!candidate.Company.empty() && !r.Company.empty() && candidate.Company != r.Company)
            return true;
          if (!ShareContact(candidate, r)) return true;
          into = k;
          return false;
        });
      }
      const TRecord* merged = &r;
      if (into < kept.size()) {
        TRecord& target = kept.Mutable(into);
        Merge(target, r);
        merged = &target;
      } else {
        kept.push_back(r);
      }
      for (const auto& key : ContactKeys(*merged))
        keptByContact.Add(hashKey(key), static_cast<uint32_t>(into));
    }
    const auto named = [](const TRecord& r) { return r.Kind != 0 || !r.Company.empty(); };
    std::size_t namedCount = 0;
    std::size_t first = kept.size();
    for (std::size_t k = 0; k < kept.size() && namedCount <= 1; ++k)
      if (named(kept.Get(k)) && namedCount++ == 0) first = k;
    if (kept.size() > 1 && namedCount <= 1) {
      const std::size_t into = first == kept.size() ? 0 : first;
      TRecord one = kept.Get(into);
      for (std::size_t k = 0; k < kept.size(); ++k)
        if (k != into) Merge(one, kept.Get(k));
      kept = {};
      kept.push_back(one);
    }
    return kept;
  }

  // The page's own name: labelled, a company heading, a labelled value shaped like a name,
  // the footer's owner, the title; empty when none.
  std::string PageName(std::string_view title) const {
    for (const std::string* n : {&labelledName_, &headingName_, &valueName_})
      if (!gbk::IsBlank(*n)) return gbk::Trim(*n);
    for (const std::string* n : {&ownerName_, &copyrightName_})
      if (std::string name = CutName(*n); !name.empty()) return name;
    return CutName(title);
  }

  // The name after the page's copyright sign, used when no footer line names the owner.
  void SetCopyrightName(std::string name) {
    const std::string low = Lowered(name);
    std::size_t mark = low.size();
    for (const auto& w : words_.FooterMarks) mark = std::min(mark, gbk::Find(low, w));
    name.resize(mark);
    if (!HasDigits(name, 3) && name.size() <= kMaxName) copyrightName_ = gbk::Trim(name);
  }

 private:
  // A name from a title, copyright line or footer cut at separators, site slogans and page
  // furniture: the longest part shaped like a company name, else the first part.
  std::string CutName(std::string_view title) const {
    static const std::vector<std::string> separators =
        ToGbk({"-", "_", "|", "—", "–", "，", "·", "丨", "｜", "/", "：", ":", "!", "！"});
    std::string t = gbk::ReplaceAll(title, "\n", " ");
    for (const std::string& sep : separators) t = gbk::ReplaceAll(t, sep, "\n");
    for (const std::string& w : words_.NoiseWords) t = gbk::ReplaceAllNoCase(t, w, "\n");
    // A comma or a blank ends a Chinese part, not "Co., Ltd." or "Star Tools".
    for (std::size_t i = 0; i < t.size(); i += gbk::CharLen(t, i)) {
      if (t[i] != ',' && t[i] != ' ') continue;
      std::size_t next = i + 1;
      while (next < t.size() && t[next] == ' ') ++next;
      const bool latinAfter =
          next < t.size() && !gbk::IsLeadByte(static_cast<unsigned char>(t[next]));
      const bool hanziBefore = i >= 2 && contact::IsHanziAt(t, i - 2);
      if (t[i] == ',' ? !latinAfter : (hanziBefore || !latinAfter)) t[i] = '\n';
    }
    std::string best, firstPlain;
    std::size_t from = 0;
    while (from <= t.size()) {
      std::size_t lf = t.find('\n', from);
      if (lf == std::string::npos) lf = t.size();
      const std::string part = Collapse(std::string_view(t).substr(from, lf - from));
      from = lf + 1;
      if (part.size() < 4) continue;
      bool onlyBranch = false;
      for (const auto& w : words_.BranchWords) onlyBranch = onlyBranch || Lowered(part) == w;
      if (onlyBranch) continue;
      if (IsCompanyShape(words_, part) && part.size() > best.size()) best = part;
      if (firstPlain.empty()) firstPlain = part;
    }
    return best.empty() ? firstPlain : best;
  }

  // A heading line: kind 1 a company name, 2 an office of the page's company.
  int HeadingOf(std::size_t i, std::string& name) const {
    return HeadingOf(i, lines_.Text(i), name);
  }
  int HeadingOf(std::size_t i, std::string_view text, std::string& name) const {
    std::string t(text);
    static const std::vector<std::string> brackets =
        ToGbk({"【", "】", "[", "]", "「", "」", "·", "•", "《", "》"});
    for (const std::string& b : brackets) t = gbk::ReplaceAll(t, b, " ");
    t = Collapse(t);
    if (t.empty() || t.size() > 80 || t.find('@') != std::string::npos) return 0;
    const std::string n = RemoveAll(t, words_.NoiseWords);
    if (n.empty()) return 0;
    const std::string_view core = StripAside(n);
    if (HasDigits(core, 3)) return 0;
    const std::string low = Lowered(core);
    for (const auto& w : words_.BranchWords) {
      if (gbk::Contains(low, w) && low.size() >= w.size() + 2) {
        name = std::string(core);
        return 2;
      }
    }
    if (EndsWithSuffix(words_, core)) {
      name = std::string(core);
      return 1;
    }
    // A short place name right above a labelled line ("北京" over "地址：").
    bool allHanzi = core.size() >= 4 && core.size() <= 8;
    for (std::size_t k = 0; allHanzi && k < core.size(); k += 2)
      allHanzi = contact::IsHanziAt(core, k);
    if (allHanzi && i + 1 < lines_.size() && !LabelsOf(i + 1).empty() &&
        LabelsOf(i + 1).front().From == 0) {
      name = std::string(core);
      return 2;
    }
    return 0;
  }

  // The office a label names, or empty.
  std::string OfficeLabel(std::string_view text, const TLabel& label,
                          std::string_view value) const {
    std::size_t end = label.ValueFrom - 1;
    while (end > label.From && text[end - 1] == ' ') --end;
    const std::string name(text.substr(label.From, end - label.From));
    if (name.size() > 24 || value.empty()) return {};
    const std::string low = Lowered(name);
    for (const auto& w : words_.BranchWords)
      if (gbk::Contains(low, w)) return name;
    return {};
  }

  void Close() {
    if (!cur_.Empty()) records_.push_back(cur_);
    cur_ = {};
  }

  // A heading too far above the first contact names nothing.
  void TouchContact() {
    if (cur_.HeadingLine >= 0 && !cur_.HasContact() &&
        static_cast<int>(line_) - cur_.HeadingLine > kHeadingReach) {
      cur_.Kind = 0;
      cur_.Heading.clear();
    }
  }

  void AddEmails(std::string_view text) {
    if (!wantMail_) return;
    for (TFound& e : contact::FindEmails(text)) {
      TouchContact();
      AddEmail(cur_.Emails, std::move(e.Value));
    }
  }

  void AddPhones(std::string_view text, bool labelled, bool fax) {
    if (!wantPhone_) return;
    for (TFound& p : contact::FindPhones(WithoutAddresses(text), labelled)) {
      TouchContact();
      AddPhone(fax ? cur_.Faxes : cur_.Phones, std::move(p.Value));
    }
  }

  // E-mail addresses and phone numbers by their shape; a label fused to a number or set
  // before it without a colon ("传真0571-88886667", "邮编 310012") still names its field.
  void ShapeScan(std::string_view text) {
    AddEmails(text);
    if (!wantPhone_ && !wantAddress_) return;
    // Where each character starts, made when a number is found (lines are under 4 GiB).
    std::vector<uint32_t> starts;
    std::size_t taken = 0;
    if (wantPhone_) {
      for (TFound& p : contact::FindPhones(WithoutAddresses(text), false)) {
        if (starts.empty())
          for (std::size_t i = 0; i < text.size(); i += gbk::CharLen(text, i))
            starts.push_back(static_cast<uint32_t>(i));
        const unsigned fields = taken++ < 2 * kMaxPerField ? FieldsBefore(text, starts, p.Pos) : 0;
        TouchContact();
        AddPhone(
            (fields & (1u << kFax)) && !(fields & (1u << kTelephone)) ? cur_.Faxes : cur_.Phones,
            std::move(p.Value));
      }
    }
    if (wantAddress_ && cur_.PostCode.empty()) {
      const std::string low = Lowered(text);
      for (const std::string& w : reader_.PostCodeWords()) {
        const std::size_t at = gbk::Find(low, w);
        if (at == gbk::npos) continue;
        const std::string_view after = gbk::TrimView(text.substr(at + w.size()));
        if (!after.empty() && after[0] >= '0' && after[0] <= '9') {
          cur_.PostCode =
              contact::FindPostCode(after.substr(0, std::min<std::size_t>(after.size(), 6)));
          if (!cur_.PostCode.empty()) break;
        }
      }
    }
  }

  // The fields named by the label characters right before byte `pos` (blanks skipped).
  unsigned FieldsBefore(std::string_view text, const std::vector<uint32_t>& starts,
                        std::size_t pos) const {
    std::size_t k = std::lower_bound(starts.begin(), starts.end(), pos) - starts.begin();
    while (k > 0 && text[starts[k - 1]] == ' ') --k;
    std::size_t g = k;
    while (g > 0 && k - g < 10 && IsLabelChar(text, starts[g - 1])) --g;
    if (g == k) return 0;
    const std::size_t to = k < starts.size() ? starts[k] : text.size();
    return reader_.Classify(text.substr(starts[g], to - starts[g])).Fields;
  }

  bool IsAddress(std::string_view v) const {
    return !v.empty() && v.size() <= kMaxValue &&
           (parser_.IsAddressLine(v) || HasDigits(v, 1) || HasLatinAddressWord(v)) &&
           !ContainsAny(Lowered(v), words_.FooterMarks);
  }

  // "Road", "District", "China"... as a word of their own.
  bool HasLatinAddressWord(std::string_view v) const {
    const std::string low = Lowered(v);
    for (std::size_t i = 0; i < low.size();) {
      if (!IsLatinLetter(low[i])) {
        i += gbk::CharLen(low, i);
        continue;
      }
      std::size_t e = i;
      while (e < low.size() && (IsLatinLetter(low[e]) || low[e] == '.')) ++e;
      std::string_view word = std::string_view(low).substr(i, e - i);
      while (word.ends_with('.')) word.remove_suffix(1);
      if (std::find(words_.LatinAddressWords.begin(), words_.LatinAddressWords.end(), word) !=
          words_.LatinAddressWords.end())
        return true;
      i = e;
    }
    return false;
  }

  // An address with the postcode written into it taken out: "…路1号 邮编310012",
  // "…路1号（310012）".
  std::string WithoutPostCode(std::string_view value, std::string& postCode) const {
    static const std::vector<std::string> trailing = ToGbk({"(", "（", ",", "，", "、", ";", "；"});
    std::string_view address = value;
    const std::string low = Lowered(value);
    for (const std::string& w : reader_.PostCodeWords()) {
      const std::size_t at = gbk::Find(low, w);
      if (at == gbk::npos || at == 0) continue;
      postCode = contact::FindPostCode(value.substr(at + w.size(), 24));
      address = value.substr(0, at);
      break;
    }
    if (postCode.empty()) {
      address = value;
      static const std::vector<std::string> closes = ToGbk({")", "）"});
      static const std::vector<std::string> opens = ToGbk({"(", "（"});
      for (std::size_t b = 0; b < closes.size(); ++b) {
        if (!address.ends_with(closes[b])) continue;
        const std::size_t open = address.rfind(opens[b]);
        if (open == std::string_view::npos) break;
        const std::string_view inside = gbk::TrimView(address.substr(
            open + opens[b].size(), address.size() - closes[b].size() - open - opens[b].size()));
        if (inside.size() == 6 && contact::DigitsOf(inside) == inside) {
          postCode = std::string(inside);
          address = address.substr(0, open);
        }
        break;
      }
    }
    for (bool cut = true; cut;) {
      address = gbk::TrimView(address);
      cut = false;
      for (const std::string& t : trailing)
        if (!cut && address.ends_with(t)) {
          address.remove_suffix(t.size());
          cut = true;
        }
    }
    return std::string(address);
  }

  // Whether a value for the field stands in `text`.
  bool Passes(int f, std::string_view text) const {
    switch (f) {
      case kAddress:
        return IsAddress(text);
      case kPostCode:
        return !contact::FindPostCode(text).empty();
      case kTelephone:
      case kFax:
        return !contact::FindPhones(WithoutAddresses(text), true).empty();
      case kEmail:
        return !contact::FindEmails(text).empty();
      default:
        return IsCompanyShape(words_, text);
    }
  }

  // Each line is tested at most once per field, however many empty labels stand beside it.
  bool PassesLine(int f, std::size_t i) {
    // Two bits a field: 0 not tested yet, 1 fails, 2 passes.
    const unsigned shift = 2 * static_cast<unsigned>(f);
    unsigned memo = (passMemo_[i] >> shift) & 3u;
    if (memo == 0) {
      memo = Passes(f, lines_.Text(i)) ? 2u : 1u;
      passMemo_[i] = static_cast<uint16_t>(passMemo_[i] | memo << shift);
    }
    return memo == 2;
  }

  void SetField(int f, std::string_view value, bool labelled) {
    value = gbk::TrimView(value);
    switch (f) {
      case kAddress: {
        std::string postCode;
        const std::string address = WithoutPostCode(value, postCode);
        if (!wantAddress_ || !IsAddress(address)) return;
        if (cur_.AddressLabelled && cur_.HasContact()) Close();
        cur_.Address = address;
        cur_.AddressLabelled = labelled;
        if (cur_.PostCode.empty()) cur_.PostCode = postCode;
        return;
      }
      case kPostCode:
        if (wantAddress_ && cur_.PostCode.empty()) cur_.PostCode = contact::FindPostCode(value);
        return;
      case kTelephone:
      case kFax:
        AddPhones(value, true, f == kFax);
        return;
      case kEmail:
        AddEmails(value);
        return;
      default:
        // A name has two characters at least and hardly any digits ("单位：元" is no name).
        if (value.size() < 4 || value.size() > kMaxName || HasDigits(value, 3)) return;
        if (!cur_.Company.empty() && cur_.HasContact()) Close();
        // A labelled name outranks a heading above it.
        if (!cur_.HasContact()) {
          cur_.Kind = 0;
          cur_.Heading.clear();
        }
        cur_.Company = std::string(value);
        if (labelledName_.empty()) labelledName_ = cur_.Company;
        return;
    }
  }

  // A label with nothing after it: its value is in the next element, or (for pages that
  // put values first) in the line before.
  void ValueNearby(std::size_t i, int f) {
    if (i + 1 < lines_.size() && !consumed_[i + 1] && LabelsOf(i + 1).empty() &&
        !reader_.LabelOnly(lines_.Text(i + 1)) && PassesLine(f, i + 1)) {
      consumed_[i + 1] = true;
      SetField(f, lines_.Text(i + 1), true);
      for (const auto& m : lines_.Mailto(i + 1))
        if (wantMail_) AddEmail(cur_.Emails, m);
      return;
    }
    if ((f == kAddress || f == kPostCode) && i > 0 && LabelsOf(i - 1).empty() &&
        PassesLine(f, i - 1) && cur_.Address != lines_.Text(i - 1))
      SetField(f, lines_.Text(i - 1), true);
  }

  void SetFields(std::size_t i, unsigned fields, std::string_view value) {
    for (int f = 0; f < 6; ++f) {
      if (!(fields & (1u << f))) continue;
      if (gbk::IsBlank(value))
        ValueNearby(i, f);
      else
        SetField(f, value, true);
    }
  }

  // A label and its value on one line without a colon, either way round ("Fax +86 21 6048
  // 3471", "0574-87654321 联系电话").
  bool ReadUncolonedLabel(std::size_t i) {
    const std::string_view t(lines_.Text(i));
    const std::size_t sp = t.find(' ');
    if (sp == std::string_view::npos) return false;
    const std::size_t last = t.rfind(' ');
    for (auto [label, value] : {std::pair(t.substr(0, sp), t.substr(sp + 1)),
                                std::pair(t.substr(last + 1), t.substr(0, last))}) {
      const unsigned fields = reader_.LabelOnly(label);
      bool all = fields != 0 && label.size() <= 12;
      for (int f = 0; f < 6 && all; ++f)
        if (fields & (1u << f))
          all = Passes(f, value) && (f != kAddress || parser_.IsAddressLine(value));
      if (all) {
        SetFields(i, fields, value);
        return true;
      }
    }
    return false;
  }

  // The site owner's name in a footer line: a chunk ending like a company name, the words
  // before the first footer mark ("X @ 2012 All Rights Reserved"), or before "版权所有".
  void ReadOwner(std::string_view text, std::string_view low) {
    std::size_t from = 0;
    while (from < text.size() && ownerName_.empty()) {
      std::size_t sp = text.find(' ', from);
      if (sp == std::string_view::npos) sp = text.size();
      const std::string_view chunk = text.substr(from, sp - from);
      if (IsCompanyShape(words_, chunk)) ownerName_ = std::string(StripAside(chunk));
      from = sp + 1;
    }
    if (!ownerName_.empty() || !LabelsOf(line_).empty()) return;
    std::size_t mark = low.find('@');
    for (const auto& w : words_.FooterMarks) mark = std::min(mark, gbk::Find(low, w));
    const std::string_view lead =
        gbk::TrimView(text.substr(0, mark == std::string_view::npos ? 0 : mark));
    if (lead.size() >= 4 && lead.size() <= 40 && !HasDigits(lead, 1) &&
        lead.find('.') == std::string_view::npos) {
      ownerName_ = std::string(lead);
      return;
    }
    for (const auto& w : words_.OwnerLabels) {
      const std::size_t at = gbk::Find(low, w);
      if (at == gbk::npos || at == 0) continue;
      std::string_view before = gbk::TrimView(text.substr(0, at));
      const std::size_t sp = before.rfind(' ');
      if (sp != std::string_view::npos) before = before.substr(sp + 1);
      if (before.size() >= 4 && !HasDigits(before, 1)) ownerName_ = std::string(before);
      return;
    }
  }

  // An address written out from its province or city: "湖南省长沙市…路298号".
  bool IsPlaceAddress(std::string_view v) const {
    static const std::vector<std::string> places = ToGbk({"省", "市", "自治区"});
    static const std::vector<std::string> streets =
        ToGbk({"路", "街", "道", "号", "巷", "弄", "村", "镇"});
    if (v.size() > kMaxValue || !contact::IsHanziAt(v, 0) || !HasDigits(v, 1)) return false;
    const std::string_view head = v.substr(0, 12);
    bool place = false;
    for (const std::string& p : places) place = place || gbk::Find(head, p) != gbk::npos;
    return place && ContainsAny(v, streets) && contact::FindPhones(v, false).empty() &&
           contact::FindEmails(v).empty() && !ContainsAny(Lowered(v), words_.FooterMarks);
  }

  // Lines without a label that a reader still takes for an address: "北京分公司 北京市…号",
  // "湖南省长沙市…号" in a record without one, and the six digits of its postcode after it.
  bool ReadUnlabelledAddress(std::size_t i) {
    const std::string_view text = lines_.Text(i);
    if (const std::size_t sp = text.find(' '); sp != std::string::npos && sp <= 24) {
      std::string name;
      const std::string_view rest = std::string_view(text).substr(sp + 1);
      if (IsPlaceAddress(rest) && HeadingOf(i, std::string_view(text).substr(0, sp), name) == 2 &&
          NamesOffice(name)) {
        OpenHeading(i, 2, std::move(name));
        cur_.Address = std::string(rest);
        return true;
      }
    }
    if (cur_.Address.empty() && IsPlaceAddress(text)) {
      cur_.Address = text;
      ContinueAddress(i);
      return true;
    }
    const std::string_view t = gbk::TrimView(text);
    if (cur_.PostCode.empty() && !cur_.Address.empty() && t.size() == 6 &&
        contact::DigitsOf(t) == t) {
      for (std::size_t back = 1; back <= 3 && back <= i; ++back) {
        if (!IsPlaceAddress(lines_.Text(i - back)) ||
            !cur_.Address.starts_with(lines_.Text(i - back)))
          continue;
        cur_.PostCode = std::string(t);
        return true;
      }
    }
    return false;
  }

  // A heading with a branch word ("北京分公司"), not only a short place name.
  bool NamesOffice(std::string_view name) const {
    return ContainsAny(Lowered(name), words_.BranchWords);
  }

  // A heading starts the next record; an office that showed only its address is kept.
  void OpenHeading(std::size_t i, int kind, std::string name) {
    if (cur_.HasContact() || (cur_.Kind != 0 && !cur_.Address.empty())) Close();
    if (!cur_.AddressLabelled) cur_.Address.clear();
    if (kind == 1 && headingName_.empty()) headingName_ = name;
    cur_.Heading = std::move(name);
    cur_.Kind = kind;
    cur_.HeadingLine = static_cast<int>(i);
  }

  // An address value that goes on in the next line ("…韶山北路298号" / "汇富中心A座20楼").
  void ContinueAddress(std::size_t i) {
    if (i + 1 >= lines_.size() || consumed_[i + 1] || !LabelsOf(i + 1).empty()) return;
    const std::string_view next = lines_.Text(i + 1);
    if (next.size() > 60 || reader_.LabelOnly(next) || !contact::IsHanziAt(next, 0) ||
        !HasDigits(next, 1) || !parser_.IsAddressLine(next) ||
        cur_.Address.size() + next.size() + 1 > kMaxValue)
      return;
    std::string name;
    static const std::vector<std::string> places = ToGbk({"省", "市", "县", "区"});
    const std::string low = Lowered(next);
    if (ContainsAny(low, places) || ContainsAny(low, words_.FooterMarks) ||
        !contact::FindPhones(next, false).empty() || !contact::FindEmails(next).empty() ||
        !contact::FindPostCode(next).empty() || HeadingOf(i + 1, name) != 0)
      return;
    cur_.Address.append(" ").append(next);
    consumed_[i + 1] = true;
  }

  void ReadLine(std::size_t i) {
    const std::string_view text = lines_.Text(i);
    const std::span<const TLabel> ls = LabelsOf(i);
    const std::string low = Lowered(text);
    const bool footer = ContainsAny(low, words_.FooterMarks);
    if (footer) {
      Close();
      if (ownerName_.empty()) ReadOwner(text, low);
    }
    for (const auto& m : lines_.Mailto(i))
      if (wantMail_) {
        TouchContact();
        AddEmail(cur_.Emails, m);
      }

    if (ls.empty()) {
      if (const unsigned fields = reader_.LabelOnly(text)) {
        SetFields(i, fields, {});
        return;
      }
      if (ReadUncolonedLabel(i)) return;
      std::string name;
      if (const int kind = footer ? 0 : HeadingOf(i, name)) {
        OpenHeading(i, kind, std::move(name));
        return;
      }
      // An office's address often stands unlabelled under its heading.
      if (wantAddress_ && cur_.Kind != 0 && cur_.Address.empty() && !cur_.HasContact() &&
          parser_.IsAddressLine(text) && IsAddress(text) && contact::IsHanziAt(text, 0)) {
        cur_.Address = text;
        return;
      }
      if (wantAddress_ && ReadUnlabelledAddress(i)) return;
      ShapeScan(text);
      return;
    }

    // "杭州某某有限公司（总部）：", "北京分公司：" alone: a heading with a colon.
    if (ls.size() == 1 && ls[0].Fields == 0 && !ls[0].NoShape && !footer &&
        gbk::IsBlank(std::string_view(text).substr(ls[0].ValueFrom))) {
      std::string name;
      const int kind = HeadingOf(i, std::string_view(text).substr(0, ls[0].ValueFrom - 1), name);
      if (kind == 1 || (kind == 2 && NamesOffice(name))) {
        OpenHeading(i, kind, std::move(name));
        return;
      }
    }
    ShapeScan(std::string_view(text).substr(0, ls.front().From));
    for (std::size_t k = 0; k < ls.size(); ++k) {
      const std::size_t end = k + 1 < ls.size() ? ls[k + 1].From : text.size();
      const std::string_view value =
          gbk::TrimView(std::string_view(text).substr(ls[k].ValueFrom, end - ls[k].ValueFrom));
      if (ls[k].Fields != 0) {
        SetFields(i, ls[k].Fields, value);
        continue;
      }
      // "上海办事处：…", "总部：…": the label heads an office of its own.
      if (const std::string office = OfficeLabel(text, ls[k], value); !office.empty()) {
        if (cur_.HasContact()) Close();
        if (!cur_.AddressLabelled) cur_.Address.clear();
        cur_.Heading = office;
        cur_.Kind = 2;
        cur_.HeadingLine = static_cast<int>(i);
      }
      if (ls[k].Owner && ownerName_.empty() && !value.empty() && value.size() <= kMaxName &&
          !HasDigits(value, 3))
        ownerName_ = std::string(value);
      if (valueName_.empty() && IsCompanyShape(words_, value))
        valueName_ = std::string(StripAside(value));
      if (ls[k].NoShape) continue;
      // "办公室：84634271": a bare number under any other label is a telephone number.
      if (wantPhone_ && IsBareNumber(value))
        AddPhones(value, true, false);
      else
        ShapeScan(value);
    }
    if (wantAddress_ && (ls.back().Fields & (1u << kAddress)) && !cur_.Address.empty() &&
        gbk::Contains(text, cur_.Address))
      ContinueAddress(i);
  }

  // Seven or eight digits and nothing else (a local number without its area code).
  static bool IsBareNumber(std::string_view v) {
    std::size_t digits = 0;
    for (char c : v) {
      if (c >= '0' && c <= '9')
        ++digits;
      else if (c != '-' && c != ' ')
        return false;
    }
    return digits == 7 || digits == 8;
  }

  std::span<const TLabel> LabelsOf(std::size_t i) const {
    const auto it = std::lower_bound(labelled_.begin(), labelled_.end(), i,
                                     [](const TLabelled& l, std::size_t n) { return l.Line < n; });
    if (it == labelled_.end() || it->Line != i) return {};
    const std::size_t end = it + 1 == labelled_.end() ? labels_.size() : (it + 1)->First;
    return std::span<const TLabel>(labels_).subspan(it->First, end - it->First);
  }

  const TParseHTML& parser_;
  const TPageReader& reader_;
  const TRecognitionWords& words_;
  bool wantAddress_ = true, wantPhone_ = true, wantMail_ = true;
  pagetext::TLines lines_;
  // The labels of the lines that have any, in line order, and where each line's start.
  struct TLabelled {
    uint32_t Line;
    uint32_t First;  // in labels_
  };
  std::vector<TLabel> labels_;
  std::vector<TLabelled> labelled_;
  std::vector<bool> consumed_;
  std::vector<uint16_t> passMemo_;  // per line, see PassesLine
  std::size_t line_ = 0;
  TRecord cur_;
  TRecordQueue records_;
  std::string labelledName_, headingName_, valueName_, ownerName_, copyrightName_;
};

// Addresses written with a stand-in for "@": "[at]" and the like everywhere, a symbol named
// by a hint ("请把#换成@") in the hint's line and the lines around it.
void RevealHiddenEmails(pagetext::TLines& lines) {
  constexpr std::size_t kHintReach = 3;
  std::vector<std::pair<std::size_t, std::string>> hints;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (std::string h = contact::AtStandInHint(lines.Text(i)); !h.empty())
      hints.emplace_back(i, std::move(h));
  std::size_t next = 0;  // first hint that can still reach a line
  for (std::size_t i = 0; i < lines.size(); ++i) {
    while (next < hints.size() && hints[next].first + kHintReach < i) ++next;
    std::string_view hinted;
    if (next < hints.size() && hints[next].first <= i + kHintReach) hinted = hints[next].second;
    lines.SetText(i, contact::RevealEmails(lines.Text(i), hinted));
  }
}

// The host of a page address, the name of last resort.
std::string HostOf(std::string_view url) {
  std::string host = gbk::Trim(url);
  if (const std::size_t at = host.find("//"); at != std::string::npos) host = host.substr(at + 2);
  return host.substr(0, host.find('/'));
}

}  // namespace

void TParseHTML::AnalyseModern() {
  const TGlobalSet& s = Settings();
  const TPageReader reader(lowered_.Labels, lowered_.Company);
  std::string pageTitle;
  pagetext::TLineOptions options;
  options.HiddenEmails = true;
  options.Html = HTML;
  // Tokens that can be made again are let go while they are read.
  pagetext::TLines lines =
      CanReleaseTokens() ? pagetext::PageLinesLettingGo(Tokens, TokenIsTag, pageTitle, options)
                         : pagetext::PageLines(Tokens, TokenIsTag, pageTitle, options);
  ReleaseTokens();
  if (Cancelled()) return;
  RevealHiddenEmails(lines);
  TRecordBuilder builder(*this, reader, std::move(lines));
  builder.ReadAll([this] { return Cancelled(); });
  if (Cancelled()) return;
  builder.SetCopyrightName(pagetext::CopyrightHolder(HTML));
  TRecordQueue records = builder.Merged();
  std::string pageName = builder.PageName(pageTitle.empty() ? gbk::Trim(Title) : pageTitle);
  if (pageName.empty()) pageName = HostOf(PageURL);

  // Each record is let go once it is in the result lists.
  if (!packRows_) ReserveRecords(records.size());
  for (; !records.empty(); records.pop_front()) {
    const TRecord r = records.front();
    // An office is named with the page's company in front, unless it already holds it.
    std::string name = pageName;
    if (!r.Company.empty()) {
      name = r.Company;
    } else if (r.Kind == 1) {
      name = r.Heading;
    } else if (r.Kind == 2) {
      if (gbk::Contains(r.Heading, pageName) || gbk::Contains(pageName, r.Heading))
        name = r.Heading.size() >= pageName.size() ? r.Heading : pageName;
      else
        name = pageName + (EndsWithLatin(pageName) && IsLatinLetter(r.Heading[0]) ? " " : "") +
               r.Heading;
    }
    const bool wantAddress = s.FlagFindAddressAndPostCode;
    const bool added = AddRecord(name, wantAddress ? r.Address : std::string(),
                                 wantAddress ? r.PostCode : std::string(), Join(r.Phones, " "),
                                 Join(r.Faxes, " "), Join(r.Emails, ";"), 1);
    // A record named only by the page keeps the site entry's description, as one without a
    // name of its own does.
    if (added && r.Kind == 0 && r.Company.empty()) {
      if (packRows_)
        pendingRows_.SetLast(7, Description);
      else
        Descriptions.Set(Descriptions.size() - 1, Description);
    }
  }
  if (!s.FlagFindMailAddress) return;
  if (packRows_) {
    if (pendingRows_.size() == 1 && gbk::IsBlank(pendingRows_.Field(0, 5)))
      pendingRows_.SetLast(5, HarvestMailto());
  } else if (Companies.size() == 1 && gbk::IsBlank(Emails[0])) {
    Emails.Set(0, HarvestMailto());
  }
}
