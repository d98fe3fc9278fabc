#pragma once
// The visible lines of a page, as a reader sees them: scripts, styles, comments and hidden
// elements left out, text cut into lines at block elements, blanks collapsed, the addresses
// of mailto links kept with their line. GBK text.

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/token_list.h"

namespace pagetext {

// Addresses of one line. Most lines have none, so an empty list is one pointer and a page
// of a million short lines does not pay for a million empty vectors.
class TMailList {
 public:
  TMailList() = default;
  TMailList(TMailList&&) noexcept = default;
  TMailList& operator=(TMailList&&) noexcept = default;

  bool empty() const { return !list_ || list_->empty(); }
  void push_back(std::string address) {
    if (!list_) list_ = std::make_unique<std::vector<std::string>>();
    list_->push_back(std::move(address));
  }
  std::string* begin() { return list_ ? list_->data() : nullptr; }
  std::string* end() { return list_ ? list_->data() + list_->size() : nullptr; }
  const std::string* begin() const { return list_ ? list_->data() : nullptr; }
  const std::string* end() const { return list_ ? list_->data() + list_->size() : nullptr; }

 private:
  std::unique_ptr<std::vector<std::string>> list_;
};

struct TLine {
  std::string Text;
  TMailList Mailto;  // linked and script-assembled addresses shown on the line
};

// A deque, so that growing never holds two copies of the lines at once.
using TLines = std::deque<TLine>;

struct TLineOptions {
  // Hidden e-mail addresses read as well: CDN-protected ones, numeric character references
  // and addresses assembled by scripts.
  bool HiddenEmails = false;
  // The page's bytes, for the scripts that assemble addresses (empty: none read).
  std::string_view Html;
};

// The visible lines of the page; `title` receives the text of its <title>.
TLines PageLines(const TTokenList& tokens, const std::vector<bool>& isTag, std::string& title,
                 TLineOptions options = {});

// The words after the page's first copyright sign ("&copy; 2019 Name"), years and the
// "copyright" word left out, up to the end of the element; empty when there is none.
std::string CopyrightHolder(std::string_view html);

// Blanks collapsed to single spaces, trimmed.
std::string Collapse(std::string_view s);

}  // namespace pagetext
