#pragma once
// Directory page reader: sorts the anchors of one directory page into information links
// (new site entries in the program state's URL list) and next-page links (NextPages).

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/parse_html.h"
#include "core/global_set.h"

class TProgramState;

class TParsePointWebHTML {
 public:
  // Information links go to `state`'s URL list. A null snapshot means an empty record.
  explicit TParsePointWebHTML(TProgramState& state,
                              std::shared_ptr<const TGlobalSet> settings = nullptr);

  // Replaces the settings snapshot used by the next Analyse.
  void SetSettings(std::shared_ptr<const TGlobalSet> settings);

  // Stores the page, forgets everything of the previous page and tokenises.
  void LoadPage(std::string html, std::string pageURL);
  // Collects anchors, computes the base address and sorts every anchor.
  void Analyse();

  // The address of an anchor as written in its "href=", and the anchor's inner text with
  // tags removed (empty without a "</a>"). No address: nullopt.
  struct TAnchorParts {
    std::optional<std::string> Address;
    std::string Text;
  };
  static TAnchorParts SplitAnchor(std::string_view anchor);

  std::string HTML;
  std::string PageURL;
  TTokenList Tokens;
  std::vector<std::string> Anchors;
  std::string BaseURL;
  std::string BaseTag;
  std::vector<std::string> NextPages;

 private:
  void CollectAnchors();
  // The anchor's target made absolute and rebuilt; nullopt when there is none.
  std::optional<std::string> AbsoluteAddress(std::string_view address) const;

  TProgramState& state_;
  std::shared_ptr<const TGlobalSet> settings_;
  // Tokeniser shared with the page analyser; holds the page only while it is split.
  TParseHTML tokeniser_;
};
