// Record assembly: the records of every block, their validation, and the page-level
// fallback on mailto links.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/parse_html.h"
#include "core/gbk.h"

void TParseHTML::Analyse() {
  // Analysing the same loaded page twice must not duplicate its blocks or records.
  Blocks.clear();
  BlockEndsAtTable.clear();
  for (auto* list : {&Companies, &Addresses, &PostCodes, &Telephones, &Faxes, &Emails,
                     &WebAddresses, &Descriptions})
    list->clear();

  BuildBlocks();
  const TGlobalSet& s = Settings();
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
    Emails[0] = HarvestMailto();
  } else if (Companies.empty() && !s.FlagFindTelAndFax && !s.FlagFindAddressAndPostCode) {
    AddRecord(lastCompany, {}, {}, {}, {}, HarvestMailto(), 1);
  }
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
    if (trimmed == title || title.empty())
      name = trimmed;
    else
      name = title + ";" + trimmed;
  }

  Companies.push_back(std::move(name));
  Addresses.push_back(gbk::Trim(address));
  PostCodes.push_back(gbk::Trim(postcode));
  Telephones.push_back(gbk::Trim(telephone));
  Faxes.push_back(gbk::Trim(fax));
  Emails.push_back(gbk::Trim(email));
  WebAddresses.push_back(gbk::Trim(PageURL));
  Descriptions.push_back(std::move(description));
  return true;
}

std::string TParseHTML::HarvestMailto() {
  MailtoTags.clear();
  for (std::size_t i = 0; i < Tokens.size() && i < TokenIsTag.size(); ++i) {
    if (TokenIsTag[i] != 1) continue;
    const std::string_view tag = gbk::TrimView(Tokens[i]);
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

  std::string result;
  std::size_t from = 0;
  while (from <= joined.size()) {
    std::size_t lf = joined.find('\n', from);
    if (lf == std::string::npos) lf = joined.size();
    const std::string_view line = gbk::TrimView(std::string_view(joined).substr(from, lf - from));
    from = lf + 1;
    if (!IsEmail(line) || gbk::ContainsNoCase(result, line)) continue;
    result = gbk::IsBlank(result) ? std::string(line) : std::string(line) + ";" + result;
  }
  return gbk::Trim(result);
}
