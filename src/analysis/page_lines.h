#pragma once
// The visible lines of a page, as a reader sees them: scripts, styles, comments and hidden
// elements left out, text cut into lines at block elements, blanks collapsed, the addresses
// of mailto links kept with their line. GBK text.

#include <string>
#include <string_view>
#include <vector>

#include "analysis/token_list.h"

namespace pagetext {

struct TLine {
  std::string Text;
  std::vector<std::string> Mailto;  // linked and script-assembled addresses shown on the line
};

struct TLineOptions {
  // Hidden e-mail addresses read as well: CDN-protected ones, numeric character references
  // and addresses assembled by scripts.
  bool HiddenEmails = false;
  // The page's bytes, for the scripts that assemble addresses (empty: none read).
  std::string_view Html;
};

// The visible lines of the page; `title` receives the text of its <title>.
std::vector<TLine> PageLines(const TTokenList& tokens, const std::vector<bool>& isTag,
                             std::string& title, TLineOptions options = {});

// The words after the page's first copyright sign ("&copy; 2019 Name"), years and the
// "copyright" word left out, up to the end of the element; empty when there is none.
std::string CopyrightHolder(std::string_view html);

// Blanks collapsed to single spaces, trimmed.
std::string Collapse(std::string_view s);

}  // namespace pagetext
