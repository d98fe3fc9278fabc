#pragma once
// A search source of today's web, driven by its registry entry: result-page addresses from
// the entry's template, items read by its XPath or JSON rules, tracking links resolved, and
// a verification page, 403/429 or an unexpectedly empty page seen as "blocked".

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engines/search_object.h"
#include "engines/source_registry.h"

namespace detail {
// Holds the profile the base class refers to, so it exists before the base is built.
struct TWebProfileHolder {
  explicit TWebProfileHolder(const TSourceDef& def);
  TEngineProfile OwnProfile;
};
}  // namespace detail

class TWebSourceObject final : private detail::TWebProfileHolder, public TSearchEngineObject {
 public:
  explicit TWebSourceObject(TSourceDef def);

  const TSourceDef& Def() const { return def_; }
  // host[:port] (the entry's scheme is kept) or a full base URL used as is; blank restores
  // the entry's own.
  void SetBase(std::string_view setting);
  const std::string& Base() const { return base_; }

  std::string BuildURL() const override;
  void ReadResponse(const TSearchResponse& response) override;
  bool IsClassic() const override { return false; }
  void SetRedirectReader(TRedirectReader reader) override { reader_ = std::move(reader); }
  std::string Caption() const override { return def_.Caption; }
  std::string HomeURL() const override { return base_ + "/"; }

  // Tracking links of the last page that could not be resolved (no redirect reader).
  const std::vector<std::string>& Unresolved() const { return unresolved_; }
  // Why the last page blocked or failed the source; empty otherwise.
  const std::string& LastProblem() const { return problem_; }

 protected:
  std::string QueryPath(std::string_view k) const override;

 private:
  // Ends the source for this run and keeps the page's position for the next one.
  void Stop(TSourceState state, std::string reason, const std::string& url);
  // The site address an item stands for; empty when it has none or is the engine's own.
  std::string SiteAddress(const struct TResultItem& item, const std::string& pageUrl);

  TSourceDef def_;
  std::string base_;
  TRedirectReader reader_;
  std::vector<std::string> unresolved_;
  std::string problem_;
};
