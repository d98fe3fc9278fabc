#pragma once
// The visible lines of a page, as a reader sees them: scripts, styles, comments and hidden
// elements left out, text cut into lines at block elements, blanks collapsed, the addresses
// of mailto links kept with their line. GBK text.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "analysis/token_list.h"

namespace pagetext {

// The lines of a page, packed: every line's text in one buffer and where each starts, so a
// line costs four bytes besides its text (a page of a million one-character cells has a
// million lines). The few lines rewritten later and the mailto addresses shown on a line are
// kept aside, by line number.
class TLines {
 public:
  std::size_t size() const { return begins_.size(); }
  bool empty() const { return begins_.empty(); }

  std::string_view Text(std::size_t i) const {
    if (!changed_.empty())
      if (const auto it = changed_.find(static_cast<uint32_t>(i)); it != changed_.end())
        return it->second;
    const std::size_t end = i + 1 < begins_.size() ? begins_[i + 1] : text_.size();
    return std::string_view(text_).substr(begins_[i], end - begins_[i]);
  }
  // Linked and script-assembled addresses shown on line i.
  std::span<const std::string> Mailto(std::size_t i) const {
    if (mailto_.empty()) return {};
    const auto it = mailto_.find(static_cast<uint32_t>(i));
    if (it == mailto_.end()) return {};
    return it->second;
  }

  // Room for `bytes` of text in `lines` lines. Room not written is never touched, so an
  // upper bound costs nothing, and the buffers are not copied while they grow.
  void reserve(std::size_t bytes, std::size_t lines) {
    text_.reserve(bytes);
    begins_.reserve(lines);
  }
  void push_back(std::string_view text) {
    begins_.push_back(static_cast<uint32_t>(text_.size()));
    text_.append(text);
  }
  void AddMailto(std::size_t i, std::string address) {
    mailto_[static_cast<uint32_t>(i)].push_back(std::move(address));
  }
  // Replaces the text of line i.
  void SetText(std::size_t i, std::string text) {
    if (text == Text(i)) return;
    changed_[static_cast<uint32_t>(i)] = std::move(text);
  }
  // Gives back all memory.
  void Release() { TLines().swap(*this); }
  void swap(TLines& other) noexcept {
    text_.swap(other.text_);
    begins_.swap(other.begins_);
    changed_.swap(other.changed_);
    mailto_.swap(other.mailto_);
  }

 private:
  std::string text_;
  std::vector<uint32_t> begins_;
  std::unordered_map<uint32_t, std::string> changed_;
  std::unordered_map<uint32_t, std::vector<std::string>> mailto_;
};

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
// The same, giving back the tokens' memory as they are read, so that the tokens and the lines
// are never held whole together: `tokens` is then fit only to be let go.
TLines PageLinesLettingGo(TTokenList& tokens, const std::vector<bool>& isTag, std::string& title,
                          TLineOptions options = {});

// The words after the page's first copyright sign ("&copy; 2019 Name"), years and the
// "copyright" word left out, up to the end of the element; empty when there is none.
std::string CopyrightHolder(std::string_view html);

// Blanks collapsed to single spaces, trimmed.
std::string Collapse(std::string_view s);

}  // namespace pagetext
