#include "engines/web_source.h"

#include <climits>

#include "core/gbk.h"
#include "core/log.h"
#include "core/program_state.h"
#include "engines/result_page_reader.h"

namespace {

std::string ReplaceVar(std::string text, std::string_view var, const std::string& value) {
  for (std::size_t p = text.find(var); p != std::string::npos; p = text.find(var, p + value.size()))
    text.replace(p, var.size(), value);
  return text;
}

bool HostIsOrUnder(const std::string& host, const std::string& domain) {
  if (host == domain) return true;
  return host.size() > domain.size() && host.ends_with(domain) &&
         host[host.size() - domain.size() - 1] == '.';
}

}  // namespace

detail::TWebProfileHolder::TWebProfileHolder(const TSourceDef& def) {
  OwnProfile.Name = def.TaskName;
  OwnProfile.HostKey = def.HostKey;
  OwnProfile.DefaultHost = HostOf(def.BaseURL);
  OwnProfile.PageStep = def.PageStep;
}

TWebSourceObject::TWebSourceObject(TSourceDef def)
    : detail::TWebProfileHolder(def),
      TSearchEngineObject(OwnProfile),
      def_(std::move(def)),
      base_(def_.BaseURL) {}

void TWebSourceObject::SetBase(std::string_view setting) {
  std::string s = gbk::Trim(setting);
  while (s.ends_with('/')) s.pop_back();
  if (s.empty()) {
    base_ = def_.BaseURL;
  } else if (s.find("://") != std::string::npos) {
    base_ = s;
  } else {
    const std::size_t schemeEnd = def_.BaseURL.find("://");
    base_ = (schemeEnd == std::string::npos ? std::string("https")
                                            : def_.BaseURL.substr(0, schemeEnd)) +
            "://" + s;
  }
}

std::string TWebSourceObject::BuildURL() const {
  const std::string_view k = gbk::TrimView(Keyword);
  if (k.empty() || base_.empty()) return {};
  return base_ + QueryPath(k);
}

std::string TWebSourceObject::QueryPath(std::string_view k) const {
  std::string path = def_.Path;
  path = ReplaceVar(path, "{q}", PercentEncodeQuery(gbk::ToUtf8(k)));
  path = ReplaceVar(path, "{start0}", std::to_string(int64_t{ResultOffset} - 1));
  path = ReplaceVar(path, "{start1}", std::to_string(ResultOffset));
  path = ReplaceVar(path, "{page0}", std::to_string(PageCount));
  path = ReplaceVar(path, "{page1}", std::to_string(int64_t{PageCount} + 1));
  path = ReplaceVar(path, "{step}", std::to_string(PageStep));
  return path;
}

void TWebSourceObject::Stop(TSourceState state, std::string reason, const std::string& url) {
  NeedTotal = false;
  Paging = false;
  Finished = true;
  BlockedOffset = ResultOffset;
  BlockedPages = PageCount;
  StorePosition();
  if (state == TSourceState::Failed) FailedPages.fetch_add(1);
  // The page that blocked is where the user passes the verification by hand.
  if (state == TSourceState::Blocked) SetVerifyURL(url);
  State = state;
  problem_ = std::move(reason);
  TLogEntry entry;
  entry.Level = TLogLevel::Warning;
  entry.Category = "search";
  entry.Url = url;
  entry.Site = LogSiteOf(url);
  entry.Error = state == TSourceState::Blocked ? TFetchErrorKind::Blocked : TFetchErrorKind::None;
  entry.Message =
      def_.Name + (state == TSourceState::Blocked ? " blocked: " : " failed: ") + problem_;
  TLog::Global().Add(std::move(entry));
}

std::string TWebSourceObject::SiteAddress(const TResultItem& item, const std::string& pageUrl) {
  std::string link;
  const std::string real = AbsoluteLink(item.RealLink, pageUrl);
  if (!real.empty() && !HostOf(real).empty()) link = real;
  if (link.empty()) link = AbsoluteLink(item.Link, pageUrl);
  const bool tracked =
      def_.Resolve != TLinkResolve::None &&
      (def_.TrackPattern.empty() || link.find(def_.TrackPattern) != std::string::npos);
  if (tracked && link != real) {
    switch (def_.Resolve) {
      case TLinkResolve::Redirect:
        if (!reader_) {
          unresolved_.push_back(link);
          return {};
        }
        link = AbsoluteLink(reader_(link), link);
        break;
      case TLinkResolve::BingCk:
        if (std::string target = DecodeBingLink(link); !target.empty()) link = target;
        break;
      case TLinkResolve::Uddg:
        if (std::string target = DecodeUddgLink(link); !target.empty()) link = target;
        break;
      case TLinkResolve::None:
        break;
    }
  }
  const std::string host = HostOf(link);
  if (host.empty() || host == HostOf(base_) || host == HostOf(pageUrl)) return {};
  for (const auto& skip : def_.SkipHosts)
    if (HostIsOrUnder(host, skip)) return {};
  return link;
}

void TWebSourceObject::ReadResponse(const TSearchResponse& response) {
  NewResults = 0;
  unresolved_.clear();
  problem_.clear();
  const std::string pageUrl = response.Url.empty() ? BuildURL() : response.Url;
  if (NeedTotal) {
    NeedTotal = false;
    Paging = true;
  }
  State = TSourceState::Searching;
  if (!response.Ok) {
    if (response.Status == 403 || response.Status == 429) {
      Stop(TSourceState::Blocked, "HTTP " + std::to_string(response.Status), pageUrl);
    } else {
      Stop(TSourceState::Failed,
           response.Status ? "HTTP " + std::to_string(response.Status) : "fetch failed", pageUrl);
    }
    return;
  }
  for (const auto& marker : def_.BlockedTexts) {
    if (response.Url.find(marker) != std::string::npos) {
      Stop(TSourceState::Blocked, "redirected to " + response.Url, pageUrl);
      return;
    }
  }

  const TResultPageRead read = def_.Kind == TSourceKind::Json
                                   ? ReadJsonResultPage(response.Body, def_)
                                   : ReadHtmlResultPage(response.Body, response.ContentType, def_);
  if (read.Blocked) {
    Stop(TSourceState::Blocked, read.Reason, pageUrl);
    return;
  }
  if (read.Failed) {
    Stop(TSourceState::Failed, read.Reason, pageUrl);
    return;
  }
  if (read.Items.empty() && !read.NoResults) {
    Stop(TSourceState::Blocked, "no results where results were expected", pageUrl);
    return;
  }

  // Read past the page it was blocked on: nothing is left to retry.
  BlockedOffset = 0;
  BlockedPages = 0;
  TProgramState* state = ProgramState();
  for (const TResultItem& item : read.Items) {
    const std::string address = SiteAddress(item, pageUrl);
    if (address.empty()) continue;
    const std::optional<std::string> url = CanonicalURL(NormaliseURL(gbk::FromUtf8(address)));
    if (!url || !IsNewURL(*url)) continue;
    if (state && state->AppendURL(*url, gbk::FromUtf8(item.Title), gbk::FromUtf8(item.Snippet)))
      ++NewResults;
  }
  ResultOffset = ResultOffset > INT32_MAX - PageStep ? INT32_MAX : ResultOffset + PageStep;
  PageCount = PageCount == INT32_MAX ? INT32_MAX : PageCount + 1;
  StorePosition();
  Given.fetch_add(NewResults);
  const bool lastPage = read.Items.empty() || (!def_.Next.empty() && !read.HasNext) ||
                        (def_.MaxPages > 0 && PageCount >= def_.MaxPages);
  // Unresolved tracking links still count as results, so a page of them is not an end.
  if (lastPage || (NewResults == 0 && unresolved_.empty())) {
    NeedTotal = false;
    Paging = false;
    Finished = true;
    State = TSourceState::Finished;
  }
}
