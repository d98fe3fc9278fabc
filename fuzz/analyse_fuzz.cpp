// Analyses arbitrary bytes as a page: tokens, blocks, records and links, checking that the
// parallel lists stay parallel. The first byte picks the three find switches and whether the
// recognition beyond the keyword lists is on.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "analysis/parse_html.h"
#include "core/gbk.h"
#include "core/global_set.h"

namespace {

// Factory keyword lists with every combination of the switches.
const std::array<std::shared_ptr<const TGlobalSet>, 16>& Snapshots() {
  static const auto snapshots = [] {
    std::array<std::shared_ptr<const TGlobalSet>, 16> out;
    for (int bits = 0; bits < 16; ++bits) {
      TGlobalSet set = FactoryGlobalSet();
      set.FlagFindAddressAndPostCode = (bits & 1) == 0;
      set.FlagFindTelAndFax = (bits & 2) == 0;
      set.FlagFindMailAddress = (bits & 4) == 0;
      set.FlagModernRecognition = (bits & 8) == 0;
      out[bits] = std::make_shared<const TGlobalSet>(std::move(set));
    }
    return out;
  }();
  return snapshots;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static TParseHTML parser;
  parser.SetSettings(Snapshots()[data[0] & 15]);
  std::string page(reinterpret_cast<const char*>(data + 1), size - 1);
  parser.LoadPage(std::move(page), GBK("海德公司"), "http://www.example.com/dir/index.html",
                  "desc");
  if (parser.Tokens.size() != parser.TokenIsTag.size()) std::abort();
  // Every packed token reads back whole and in bounds: tags as "<...>", text never empty
  // (it may be blank once folded).
  std::size_t n = 0;
  for (const std::string_view token : parser.Tokens) {
    const bool tag = parser.TokenIsTag[n++];
    if (tag ? !(token.starts_with('<') && token.ends_with('>')) : token.empty()) std::abort();
  }
  if (n != parser.Tokens.size()) std::abort();
  parser.Analyse();
  if (parser.Blocks.size() != parser.BlockEndsAtTable.size()) std::abort();
  for (const std::string& block : parser.Blocks)
    if (gbk::IsBlank(block) || gbk::Trim(block) != block) std::abort();
  const std::size_t records = parser.Companies.size();
  for (const auto* list : {&parser.Addresses, &parser.PostCodes, &parser.Telephones, &parser.Faxes,
                           &parser.Emails, &parser.WebAddresses, &parser.Descriptions})
    if (list->size() != records) std::abort();
  parser.ExtractLinks();
  return 0;
}
