// Record assembly: the records of every block, their validation, and the page-level
// fallback on mailto links.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "analysis/parse_html.h"
#include "core/gbk.h"

namespace {

// The mailto addresses kept so far and the test whether a line already occurs (ignoring case)
// in their ";"-joined text. Searching that text anew for every line costs time quadratic in
// the number of links; so for ASCII lines without ";" (which can only match inside one
// address) the lowered addresses are indexed by their four-byte groups. Other lines search
// the joined text itself.
class TMailtoAddresses {
 public:
  bool Contains(std::string_view line) const {
    if (!ascii_ || !gbk::IsAscii(line) || line.find(';') != std::string_view::npos)
      return gbk::ContainsNoCase(Text(), line);
    const std::string low = gbk::LowerLatin(line);
    if (low.size() < 4) return forward_.find(low) != std::string::npos;
    const std::vector<uint32_t>* fewest = nullptr;
    std::size_t fewestAt = 0;
    for (std::size_t o = 0; o + 4 <= low.size(); ++o) {
      const auto it = grams_.find(Gram(low, o));
      if (it == grams_.end()) return false;
      if (!fewest || it->second.size() < fewest->size()) {
        fewest = &it->second;
        fewestAt = o;
      }
    }
    for (uint32_t q : *fewest) {
      if (q >= fewestAt && forward_.compare(q - fewestAt, low.size(), low) == 0) return true;
    }
    return false;
  }

  void Add(std::string_view line) {
    entries_.emplace_back(line);
    ascii_ = ascii_ && gbk::IsAscii(line);
    if (!ascii_) return;  // the index is no longer used
    const std::size_t oldSize = forward_.size();
    if (!forward_.empty()) forward_.push_back(';');
    forward_ += gbk::LowerLatin(line);
    for (std::size_t q = oldSize < 3 ? 0 : oldSize - 3; q + 4 <= forward_.size(); ++q)
      grams_[Gram(forward_, q)].push_back(static_cast<uint32_t>(q));
  }

  // The addresses joined by ";", the last found first.
  std::string Text() const {
    std::string text;
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
      if (!text.empty()) text.push_back(';');
      text += *it;
    }
    return text;
  }

 private:
  static uint32_t Gram(std::string_view s, std::size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
  }

  std::vector<std::string> entries_;
  bool ascii_ = true;
  std::string forward_;  // lowered addresses in the order found, ";"-joined
  std::unordered_map<uint32_t, std::vector<uint32_t>> grams_;
};

}  // namespace

void TParseHTML::Analyse() {
  // Analysing the same loaded page twice must not duplicate its blocks or records.
  Blocks.clear();
  BlockEndsAtTable.clear();
  for (auto* list : {&Companies, &Addresses, &PostCodes, &Telephones, &Faxes, &Emails,
                     &WebAddresses, &Descriptions})
    list->clear();

  packRows_ = false;
  pendingRows_ = {};
  if (Cancelled()) return;
  // Tokens let go by an earlier analysis of this page are made again first.
  RestoreTokens();
  const TGlobalSet& s = Settings();
  if (s.FlagModernRecognition) {
    packRows_ = true;
    // The lists are read first. On a large page the tokens are let go while they are read and
    // made again for the line reader, so that neither the tokens nor the line reader's records
    // are held beside the element tree.
    const bool large = HTML.size() >= kLargePage;
    if (large) ReleaseTokens();
    std::string pageName;
    lists::TListRecords found = ReadLists(pageName);
    if (large && !Cancelled()) RestoreTokens();
    // Reads the tokens by lines and lets them go; they are made again only when asked for
    // (links, or a second analysis), so the records never sit beside them.
    if (!Cancelled()) AnalyseModern();
    if (!Cancelled()) AnalyseLists(std::move(found), pageName);  // takes the packed records
    return;
  }
  BuildBlocks();
  const std::array<bool, 5> enabled = {s.FlagFindAddressAndPostCode, s.FlagFindAddressAndPostCode,
                                       s.FlagFindTelAndFax, s.FlagFindTelAndFax,
                                       s.FlagFindMailAddress};
  auto extract = [this](int f, std::string_view text, int32_t start) {
    switch (f) {
      case 0:
        return ExtractAddress(text, start);
      case 1:
        return ExtractPostCode(text, start);
      case 2:
        return ExtractTelephone(text, start);
      case 3:
        return ExtractFax(text, start);
      default:
        return ExtractEmail(text, start);
    }
  };

  std::string lastCompany;
  for (std::size_t b = 0; b < Blocks.size(); ++b) {
    if (Cancelled()) return;
    lastCompany.clear();
    const std::string& text = Blocks[b];
    const int n = CountRecords(text);
    if (n == 0) continue;
    const bool endsAtTable = b < BlockEndsAtTable.size() && BlockEndsAtTable[b] == 1;
    std::array<std::string, 5> values;

    if (n > 1 && endsAtTable) {
      for (int k = 0; k < n; ++k) {
        for (int f = 0; f < 5; ++f) {
          values[f].clear();
          if (enabled[f] && static_cast<std::size_t>(k) < ValuePos[f].size())
            values[f] = extract(f, text, ValuePos[f][k] + 1);
        }
        lastCompany = ExtractCompanyName(text, {}, k);
        AddRecord(lastCompany, values[0], values[1], values[2], values[3], values[4], n);
      }
      continue;
    }

    for (int f = 0; f < 5; ++f) {
      if (!enabled[f]) continue;
      for (int32_t v : ValuePos[f]) {
        values[f] = extract(f, text, v + 1);
        if (!gbk::IsBlank(values[f])) break;
      }
    }
    const std::string_view previous =
        endsAtTable && b > 0 ? std::string_view(Blocks[b - 1]) : std::string_view();
    lastCompany = ExtractCompanyName(text, previous, 0);
    AddRecord(lastCompany, values[0], values[1], values[2], values[3], values[4], n);
  }

  if (!s.FlagFindMailAddress) return;
  if (Companies.size() == 1 && gbk::IsBlank(Emails[0])) {
    Emails.Set(0, HarvestMailto());
  } else if (Companies.empty() && !s.FlagFindTelAndFax && !s.FlagFindAddressAndPostCode) {
    AddRecord(lastCompany, {}, {}, {}, {}, HarvestMailto(), 1);
  }
}

void TParseHTML::ReserveRecords(std::size_t more) {
  for (auto* list : {&Companies, &Addresses, &PostCodes, &Telephones, &Faxes, &Emails,
                     &WebAddresses, &Descriptions})
    list->reserve(more);
}

bool TParseHTML::AddRecord(const std::string& company, const std::string& address,
                           const std::string& postcode, const std::string& telephone,
                           const std::string& fax, const std::string& email, int count) {
  const TGlobalSet& s = Settings();
  const bool noContact = gbk::IsBlank(address) && gbk::IsBlank(postcode) &&
                         gbk::IsBlank(telephone) && gbk::IsBlank(fax);
  if (noContact && gbk::IsBlank(email)) return false;
  // With addresses or phones wanted, an e-mail alone does not make a record.
  if ((s.FlagFindAddressAndPostCode || s.FlagFindTelAndFax) && noContact) return false;

  std::string name;
  std::string description;
  const std::string title = gbk::Trim(Title);
  if (gbk::IsBlank(company)) {
    if (count != 1 || title.empty()) return false;
    name = title;
    description = Description;
  } else {
    const std::string trimmed = gbk::Trim(company);
    if (trimmed == title || title.empty()) {
      name = trimmed;
    } else if (s.FlagModernRecognition) {
      // The name found on the page is the record's; the site entry's title describes it
      // unless the name already holds it.
      name = trimmed;
      if (!gbk::Contains(trimmed, title)) description = title;
    } else {
      name = title + ";" + trimmed;
    }
  }

  if (packRows_) {
    // The web address is the page's for every record: filled in when they are unpacked.
    pendingRows_.Add({name,
                      gbk::TrimView(address),
                      gbk::TrimView(postcode),
                      gbk::TrimView(telephone),
                      gbk::TrimView(fax),
                      gbk::TrimView(email),
                      {},
                      description});
    return true;
  }
  Companies.push_back(name);
  Addresses.push_back(gbk::TrimView(address));
  PostCodes.push_back(gbk::TrimView(postcode));
  Telephones.push_back(gbk::TrimView(telephone));
  Faxes.push_back(gbk::TrimView(fax));
  Emails.push_back(gbk::TrimView(email));
  WebAddresses.push_back(gbk::TrimView(PageURL));
  Descriptions.push_back(description);
  return true;
}

std::string TParseHTML::HarvestMailto() {
  RestoreTokens();
  MailtoTags.clear();
  std::size_t i = 0;
  for (const std::string_view token : Tokens) {
    if (i >= TokenIsTag.size()) break;
    if (TokenIsTag[i++] != 1) continue;
    const std::string_view tag = gbk::TrimView(token);
    if (gbk::ContainsNoCase(tag, "<a") && gbk::ContainsNoCase(tag, "href") &&
        gbk::ContainsNoCase(tag, "mailto"))
      MailtoTags.emplace_back(tag);
  }

  std::string joined;
  for (const auto& tag : MailtoTags) {
    if (!joined.empty()) joined.push_back('\n');
    joined.append(tag);
  }
  // Single quotes separate too, so that href='mailto:...' gives the bare address.
  for (const char* sep : {" ", ":", ">", "\"", "'"}) joined = gbk::ReplaceAll(joined, sep, "\n");

  TMailtoAddresses result;
  std::size_t from = 0;
  while (from <= joined.size()) {
    std::size_t lf = joined.find('\n', from);
    if (lf == std::string::npos) lf = joined.size();
    const std::string_view line = gbk::TrimView(std::string_view(joined).substr(from, lf - from));
    from = lf + 1;
    if (!IsEmail(line) || result.Contains(line)) continue;
    result.Add(line);
  }
  return gbk::Trim(result.Text());
}
