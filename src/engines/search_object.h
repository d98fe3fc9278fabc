#pragma once
// Common machinery of the six search-engine adapters: building result-page addresses,
// reading a result page into items and a total count, and appending new site addresses
// to the program state's URL list. Each engine supplies its values in a TEngineProfile.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TProgramState;

// Everything in which one engine differs from the others. Marker texts are GBK bytes;
// those used in case-insensitive tests are stored lower-cased.
struct TEngineProfile {
  enum class TCountRule {
    UpToMarker,   // number text between CountStart and the following CountEnd
    NextTagText,  // from after the first ">" following CountStart up to the next "<"
  };
  enum class TDescriptionRule {
    BetweenBreaks,  // between the first and the second "<br>"
    BeforeMarker,   // before the first DescriptionMarker
  };

  std::string Name;         // name in the task file ("baidu")
  std::string HostKey;      // key of section ENGINEHOST ("Baidu")
  std::string DefaultHost;  // built-in search host
  int32_t PageStep = 10;
  std::string ItemTag;  // a tag containing it gets a "<table>" boundary first; empty: none
  bool OlRule = false;  // a tag containing "<ol" is stored with "<p>" in front
  std::vector<std::string> StatusAll;  // status line: contains all of these ...
  std::string StatusNot;               // ... and not this (empty: no such test)
  std::vector<std::string> ItemAll;    // result item: contains all of these
  std::string ItemAnchor;              // searched in the lower-cased item; link follows it
  std::string CountStart;
  std::string CountEnd;
  TCountRule CountRule = TCountRule::UpToMarker;
  bool CountCleanTagsAndSeparators = false;  // StripTags and drop "," and full-width commas
  TDescriptionRule DescriptionRule = TDescriptionRule::BetweenBreaks;
  std::string DescriptionMarker;
  std::string Filler;  // removed by StripTags after the tags; empty: nothing
};

// What the fetch of one result page gave, before any charset conversion.
struct TSearchResponse {
  bool Ok = false;
  long Status = 0;  // HTTP status of the last response, 0 when none
  std::string Body;
  std::string ContentType;
  std::string Url;  // address of the final hop
};

// Where a source stands in the run, for the status texts.
enum class TSourceState : int32_t { Waiting, Searching, Finished, Blocked, Failed };

class TSearchEngineObject {
 public:
  virtual ~TSearchEngineObject() = default;
  TSearchEngineObject(const TSearchEngineObject&) = delete;
  TSearchEngineObject& operator=(const TSearchEngineObject&) = delete;

  const TEngineProfile& Profile() const { return profile_; }
  // Name under which the task file stores this engine ("sina" ... "baidu").
  const std::string& Name() const { return profile_.Name; }

  // host[:port] of the search host; a blank value restores the built-in host.
  void SetHost(std::string_view hostAndPort);
  const std::string& Host() const { return host_; }
  // The program state whose URL list receives the harvested addresses and whose engine
  // position is written after each page. Without one, nothing is appended.
  void SetProgramState(TProgramState* state) { state_ = state; }

  void SetKeyword(std::string text) { Keyword = std::move(text); }
  void ResetSearch();
  void SetPosition(int32_t offset, int32_t pages);
  // Address of the next result page; empty when finished or without query text.
  std::string GetNextURL() const;
  virtual std::string BuildURL() const;
  void ParsePage(std::string page);
  // The fetched page: the classic engines read the body as GBK, an empty one after a
  // failed fetch; other sources also read the status and the final address.
  virtual void ReadResponse(const TSearchResponse& response);
  // Sources that keep a blocked position for the next run, and read tracking links.
  virtual bool IsClassic() const { return true; }
  using TRedirectReader = std::function<std::string(const std::string& url)>;
  virtual void SetRedirectReader(TRedirectReader) {}
  // Caption for the status texts (UTF-8).
  virtual std::string Caption() const { return Name(); }

  // Status of this run, read by the GUI thread: addresses added, pages that failed, state.
  std::atomic<int32_t> Given{0};
  std::atomic<int32_t> FailedPages{0};
  std::atomic<TSourceState> State{TSourceState::Waiting};
  // Position of the page that was blocked or failed (offset 0: none); the next run of the
  // task starts the source there.
  std::atomic<int32_t> BlockedOffset{0};
  std::atomic<int32_t> BlockedPages{0};
  void ClearRunStatus();
  // The address that answered with the verification page (or the refusal) that blocked the
  // source in this run; empty otherwise. Written by the search thread, read by any.
  std::string VerifyURL() const;
  void SetVerifyURL(std::string url);
  // Where a user can pass the source's verification when no page of this run named one.
  virtual std::string HomeURL() const { return "http://" + host_ + "/"; }
  // Set when the user has passed the verification: the search thread searches the source
  // again from its blocked page before it ends.
  std::atomic<bool> RetryRequested{false};

  // The steps of ParsePage, exposed for tests and diagnostics.
  void TokenisePage();
  void ExtractBlocks();
  // -1 status line, 1 result item, 0 neither.
  int ClassifyBlock(std::string_view block) const;
  int32_t ReadTotalCount() const;
  void HarvestItems();
  std::string ExtractTitle(std::string& rest) const;
  std::string ExtractDescription(std::string_view rest) const;
  std::string StripTags(std::string_view text) const;
  bool IsNewURL(std::string_view link) const;

  // Value of the first href attribute; advances rest past the tag that holds it.
  static std::string ExtractLink(std::string& rest);
  // Puts "http://" in front of anything that is not already an http or https address.
  static std::string NormaliseURL(std::string_view link);
  // The address rebuilt from its parts; none when it has no scheme or no host.
  static std::optional<std::string> CanonicalURL(std::string_view address);
  // A decimal 32-bit signed integer, or 0 when the text is not one.
  static int32_t ToInt32(std::string_view text);

  std::string HTML;
  int32_t TotalCount = 0;
  int32_t ResultOffset = 1;
  int32_t PageCount = 0;
  int32_t PageStep;
  std::vector<std::string> Tokens;
  std::vector<std::string> Items;
  std::vector<std::string> InfoBlocks;
  std::string Keyword;
  int32_t NewResults = 0;
  bool NeedTotal = true;
  bool Paging = false;
  bool Finished = false;

 protected:
  explicit TSearchEngineObject(const TEngineProfile& profile);
  // Path and query of the result page for the trimmed, non-blank query text k.
  virtual std::string QueryPath(std::string_view k) const = 0;
  void StorePosition();
  TProgramState* ProgramState() const { return state_; }

 private:
  void CheckFinished();

  const TEngineProfile& profile_;
  std::string host_;
  TProgramState* state_ = nullptr;
  mutable std::mutex verifyMutex_;
  std::string verifyURL_;
};
