#pragma once
// Page analyser: tokens and blocks of one page, contact records, and same-site links.
// All text is GBK bytes; positions exposed by the recognisers are 1-based byte positions.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/page_lists.h"
#include "analysis/record_rows.h"
#include "analysis/text_list.h"
#include "analysis/token_list.h"
#include "core/global_set.h"

class TParseHTML {
 public:
  // Reads keyword lists and switches from `settings`; a null snapshot means an empty record.
  explicit TParseHTML(std::shared_ptr<const TGlobalSet> settings = nullptr);

  // Replaces the settings snapshot used by the next Analyse / ExtractLinks.
  void SetSettings(std::shared_ptr<const TGlobalSet> settings);
  const TGlobalSet& Settings() const { return *settings_; }

  // A flag that, once set, makes the page's splitting, analysis and link extraction stop early
  // (a stopping worker need not wait for a huge page). Null for none.
  void SetCancelFlag(const std::atomic<bool>* flag) { cancel_ = flag; }
  // Work on the loaded page stopped early at the flag: its records and links are partial.
  bool Interrupted() const { return interrupted_; }

  void LoadPage(std::string html, std::string title, std::string pageURL, std::string description);
  void Clear();
  void SplitTokens();
  static std::string FoldEntities(std::string_view text);
  void BuildBlocks();
  static int ClassifyTag(std::string_view trimmedTag);
  void Analyse();
  void ExtractLinks();
  // Analyse with FlagModernRecognition lets the tokens go; ExtractLinks and a second Analyse
  // make them again from the page, and so does this for any other reader of Tokens.
  void RestoreTokens();

  // Label search and hit bookkeeping (field index 0..4: address, postcode, telephone, fax,
  // e-mail).
  struct TLabelHit {
    int32_t p = 0;  // 1-based start, 0 when nothing matched
    int32_t len = 0;
  };
  static TLabelHit FindLabel(std::string_view text, const TLikeList& list);
  static TLabelHit FindLabelSpaced(std::string_view lowerWord, std::string_view lowerText);
  static int32_t ValueStart(std::string_view text, int32_t p, int32_t len);
  void FindLabels(std::string_view text, const TLikeList& list, int field);
  int CountRecords(std::string_view text);

  // Regions.
  int32_t FieldEnd(std::string_view text, int32_t start) const;
  int32_t RegionEnd(int k) const;
  int32_t RegionStart(int32_t e) const;

  // Extractors: block text and a 1-based start position; empty when nothing passes.
  std::string ExtractAddress(std::string_view text, int32_t start) const;
  std::string ExtractPostCode(std::string_view text, int32_t start) const;
  std::string ExtractTelephone(std::string_view text, int32_t start) const;
  std::string ExtractFax(std::string_view text, int32_t start) const;
  std::string ExtractEmail(std::string_view text, int32_t start) const;
  std::string ExtractCompanyName(std::string_view text, std::string_view previous, int k) const;

  // Shape tests and folding.
  bool IsAddressLine(std::string_view line) const;
  static bool IsPostCode(std::string_view line);
  static bool IsPhoneNumber(std::string_view line);
  static bool IsPhoneChar(unsigned char b);
  static bool IsEmail(std::string_view s);
  bool IsCompanyName(std::string_view line) const;
  static std::string FoldDigits(std::string_view s);
  static std::string FoldPunctuation(std::string_view s);

  // Record assembly.
  bool AddRecord(const std::string& company, const std::string& address,
                 const std::string& postcode, const std::string& telephone, const std::string& fax,
                 const std::string& email, int count);
  std::string HarvestMailto();

  // Fields, in the documented order.
  std::string HTML;
  std::string Title;
  std::string PageURL;
  std::string Description;
  TTokenList Tokens;
  std::vector<bool> TokenIsTag;
  std::string BaseTag;
  std::vector<std::string> MailtoTags;
  std::vector<std::string> LinkTags;
  std::vector<std::string> Blocks;
  std::vector<uint8_t> BlockEndsAtTable;
  std::string SiteKey;
  std::string BaseURL;
  std::array<std::vector<int32_t>, 5> LabelPos;
  std::array<std::vector<int32_t>, 5> ValuePos;
  // The records, one value of each list a record, held packed.
  TTextList Companies;
  TTextList Addresses;
  TTextList PostCodes;
  TTextList Telephones;
  TTextList Faxes;
  TTextList Emails;
  TTextList WebAddresses;
  TTextList Descriptions;
  std::vector<std::string> PriorityLinks;
  std::vector<std::string> OtherLinks;

 private:
  // Recognition beyond the keyword lists, used by Analyse when FlagModernRecognition is on:
  // visible lines, labels before colons, shapes, one record per office, duplicates merged.
  void AnalyseModern();
  // With FlagModernRecognition: a page whose entries repeat in one structure gives one record
  // per entry (ReadLists, read before the line reader runs), in place of the records the line
  // reader made of those entries (AnalyseLists). `pageName` receives the name put in front of
  // branch names.
  lists::TListRecords ReadLists(std::string& pageName) const;
  void AnalyseLists(lists::TListRecords found, const std::string& pageName);

  // The keyword lists analysis searches, lower-cased once per settings snapshot.
  struct TLoweredLists {
    std::array<TLikeList, 5> Labels;  // in field order
    TLikeList Company;
    TLikeList CompanyName;
    TLikeList AddressContent;
  };
  static TLikeList LowerList(const TLikeList& list);
  // Room for `more` records in every result list, so that they are not copied while growing.
  void ReserveRecords(std::size_t more);
  static void AppendFolded(std::string_view text, std::string& out);

  std::shared_ptr<const TGlobalSet> settings_;
  TLoweredLists lowered_;
  // Checked every so many bytes, tokens or blocks; stays true until the next page.
  bool Cancelled() {
    if (!interrupted_ && cancel_ && cancel_->load(std::memory_order_relaxed)) interrupted_ = true;
    return interrupted_;
  }

  const std::atomic<bool>* cancel_ = nullptr;
  bool interrupted_ = false;

  // While set, AddRecord packs records into pendingRows_ instead of the result lists: the line
  // reader's records wait there, small, while the list reader runs.
  bool packRows_ = false;
  TRecordRows pendingRows_;
  // From this size on the tokens are not held while the lists are read.
  static constexpr std::size_t kLargePage = 256 * 1024;
  // Once the line reader has the page's lines, the tokens are let go, and made again from the
  // page when next needed (RestoreTokens); only when they are still the ones SplitTokens made
  // of this page.
  struct TTokensOfPage {
    const char* Html = nullptr;
    std::size_t HtmlSize = 0;
    std::size_t Count = 0;
    std::size_t Bytes = 0;
    bool operator==(const TTokensOfPage&) const = default;
  };
  TTokensOfPage tokensOfPage_;
  bool tokensReleased_ = false;
  TTokensOfPage CurrentTokens() const {
    return {HTML.data(), HTML.size(), Tokens.size(), Tokens.bytes()};
  }
  // Whether the tokens are the ones SplitTokens made of this page, and so can be made again.
  bool CanReleaseTokens() const {
    return !tokensReleased_ && CurrentTokens() == tokensOfPage_ &&
           TokenIsTag.size() == Tokens.size();
  }
  void ReleaseTokens();
};
