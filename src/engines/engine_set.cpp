#include "engines/engine_set.h"

#include "core/gbk.h"
#include "core/global_set.h"
#include "engines/web_source.h"

namespace {

using TCountRule = TEngineProfile::TCountRule;
using TDescriptionRule = TEngineProfile::TDescriptionRule;

std::string Num(int64_t n) {
  return std::to_string(n);
}

}  // namespace

const TEngineProfile& SinaProfile() {
  static const TEngineProfile profile = [] {
    TEngineProfile p;
    p.Name = "sina";
    p.HostKey = "Sina";
    p.DefaultHost = "search.sina.com.cn";
    p.PageStep = 30;
    p.StatusAll = {GBK("个网站"), GBK("相关网站")};
    p.ItemAll = {"href", ".</td>"};
    p.ItemAnchor = ".</td>";
    p.CountStart = GBK("共");
    p.CountEnd = GBK("个网站");
    p.DescriptionRule = TDescriptionRule::BeforeMarker;
    p.DescriptionMarker = "<a";
    return p;
  }();
  return profile;
}

const TEngineProfile& SohuProfile() {
  static const TEngineProfile profile = [] {
    TEngineProfile p;
    p.Name = "sohu";
    p.HostKey = "Sohu";
    p.DefaultHost = "dir.sohu.com";
    p.PageStep = 20;
    p.ItemTag = "<li";
    p.StatusAll = {GBK("关键词"), GBK("网站搜索"), GBK("查询结果")};
    p.ItemAll = {"href", "<li"};
    p.ItemAnchor = "<li";
    p.CountStart = GBK("共有");
    p.CountEnd = GBK("个查询结果");
    p.DescriptionRule = TDescriptionRule::BeforeMarker;
    p.DescriptionMarker = "<a";
    p.Filler = "--";
    return p;
  }();
  return profile;
}

const TEngineProfile& YahooProfile() {
  static const TEngineProfile profile = [] {
    TEngineProfile p;
    p.Name = "yahoo";
    p.HostKey = "Yahoo";
    p.DefaultHost = "search.cn.yahoo.com";
    p.PageStep = 30;
    p.ItemTag = "<li";
    p.StatusAll = {GBK("共找到"), GBK("相关网站"), GBK("本页")};
    p.StatusNot = GBK("相关网站分类");
    p.ItemAll = {"href", "<li"};
    p.ItemAnchor = "<li";
    p.CountStart = GBK("共找到");
    p.CountRule = TCountRule::NextTagText;
    p.DescriptionRule = TDescriptionRule::BetweenBreaks;
    return p;
  }();
  return profile;
}

const TEngineProfile& GoogleProfile() {
  static const TEngineProfile profile = [] {
    TEngineProfile p;
    p.Name = "google";
    p.HostKey = "Google";
    p.DefaultHost = "www.google.com";
    p.PageStep = 30;
    p.ItemTag = "<p";
    p.StatusAll = {GBK("用时"), GBK("查询结果")};
    p.ItemAll = {"href", GBK("网页快照"), "<p"};
    p.ItemAnchor = "<p";
    p.CountStart = GBK("共约有");
    p.CountEnd = GBK("项查询结果");
    p.CountCleanTagsAndSeparators = true;
    p.DescriptionRule = TDescriptionRule::BeforeMarker;
    p.DescriptionMarker = "<b>...</b>";
    return p;
  }();
  return profile;
}

const TEngineProfile& Profile163() {
  static const TEngineProfile profile = [] {
    TEngineProfile p;
    p.Name = "163";
    p.HostKey = "163";
    p.DefaultHost = "search.163.com";
    p.PageStep = 10;
    p.ItemTag = "<tr";
    p.StatusAll = {GBK("相关网页"), "of"};
    p.ItemAll = {"<tr", GBK("·"), "..."};
    p.ItemAnchor = GBK("·");
    p.CountStart = "of";
    p.CountEnd = "<";
    p.DescriptionRule = TDescriptionRule::BeforeMarker;
    p.DescriptionMarker = "http";
    p.Filler = "...";
    return p;
  }();
  return profile;
}

const TEngineProfile& BaiduProfile() {
  static const TEngineProfile profile = [] {
    TEngineProfile p;
    p.Name = "baidu";
    p.HostKey = "Baidu";
    p.DefaultHost = "www.baidu.com";
    p.PageStep = 10;
    p.ItemTag = "<p";
    p.OlRule = true;
    p.StatusAll = {GBK("用时"), GBK("找到")};
    p.ItemAll = {"href", "<span", "<p"};
    p.ItemAnchor = "<p";
    p.CountStart = GBK("网页约");
    p.CountEnd = GBK("篇");
    p.CountCleanTagsAndSeparators = true;
    p.DescriptionRule = TDescriptionRule::BetweenBreaks;
    p.Filler = "...";
    return p;
  }();
  return profile;
}

TSinaSearchObject::TSinaSearchObject() : TSearchEngineObject(SinaProfile()) {}
std::string TSinaSearchObject::QueryPath(std::string_view k) const {
  return "/cgi-bin/search/search.cgi?_searchkey=" + std::string(k) +
         "&_andor=and&_ss=href&_begin=" + Num(ResultOffset);
}

TSohuSearchObject::TSohuSearchObject() : TSearchEngineObject(SohuProfile()) {}
std::string TSohuSearchObject::QueryPath(std::string_view k) const {
  return "/website.jsp?key_word=" + std::string(k) + "&page_index=" + Num(PageCount);
}

TYahooSearchObject::TYahooSearchObject() : TSearchEngineObject(YahooProfile()) {}
std::string TYahooSearchObject::QueryPath(std::string_view k) const {
  return "/search/cn?p=" + std::string(k) + "&b=" + Num(ResultOffset) + "&h=s&n=" + Num(PageStep);
}

TGoogleSearchObject::TGoogleSearchObject() : TSearchEngineObject(GoogleProfile()) {}
std::string TGoogleSearchObject::QueryPath(std::string_view k) const {
  return "/search?&q=" + std::string(k) + "&num=" + Num(PageStep) +
         "&hl=zh-CN&lr=lang_zh-CN&inlang=zh-CN&start=" + Num(int64_t{ResultOffset} - 1);
}

T163SearchObject::T163SearchObject() : TSearchEngineObject(Profile163()) {}
std::string T163SearchObject::QueryPath(std::string_view k) const {
  return "/Psearch?q=" + std::string(k) + "&ofs=" + Num(int64_t{ResultOffset} - 1);
}

TBaiduSearchObject::TBaiduSearchObject() : TSearchEngineObject(BaiduProfile()) {}
std::string TBaiduSearchObject::QueryPath(std::string_view k) const {
  return "/baidu?word=" + std::string(k) + "&pn=" + Num(int64_t{ResultOffset} - 1);
}

TEngineSet::TEngineSet() : TEngineSet(TSourceRegistry::Default()) {}

TEngineSet::TEngineSet(const TSourceRegistry& registry) : defs_(registry.Entries()) {
  for (const TSourceDef& def : defs_) {
    std::unique_ptr<TSearchEngineObject> engine;
    if (def.Kind != TSourceKind::Classic) {
      engine = std::make_unique<TWebSourceObject>(def);
    } else if (def.Profile == &SinaProfile()) {
      engine = std::make_unique<TSinaSearchObject>();
      sina_ = static_cast<TSinaSearchObject*>(engine.get());
    } else if (def.Profile == &SohuProfile()) {
      engine = std::make_unique<TSohuSearchObject>();
      sohu_ = static_cast<TSohuSearchObject*>(engine.get());
    } else if (def.Profile == &YahooProfile()) {
      engine = std::make_unique<TYahooSearchObject>();
      yahoo_ = static_cast<TYahooSearchObject*>(engine.get());
    } else if (def.Profile == &GoogleProfile()) {
      engine = std::make_unique<TGoogleSearchObject>();
      google_ = static_cast<TGoogleSearchObject*>(engine.get());
    } else if (def.Profile == &Profile163()) {
      engine = std::make_unique<T163SearchObject>();
      e163_ = static_cast<T163SearchObject*>(engine.get());
    } else {
      engine = std::make_unique<TBaiduSearchObject>();
      baidu_ = static_cast<TBaiduSearchObject*>(engine.get());
    }
    all_.push_back(engine.get());
    owned_.push_back(std::move(engine));
  }
}

TSearchEngineObject* TEngineSet::Source(std::string_view registryName) const {
  for (std::size_t i = 0; i < defs_.size(); ++i)
    if (defs_[i].Name == registryName) return all_[i];
  return nullptr;
}

const TSourceDef* TEngineSet::DefOf(const TSearchEngineObject* engine) const {
  for (std::size_t i = 0; i < all_.size(); ++i)
    if (all_[i] == engine) return &defs_[i];
  return nullptr;
}

std::vector<TEngineEntry> TEngineSet::Entries() const {
  std::vector<TEngineEntry> entries;
  for (std::size_t i = 0; i < all_.size(); ++i) entries.push_back({all_[i], &defs_[i]});
  return entries;
}

std::vector<TSearchEngineObject*> TEngineSet::Selected(const TGlobalSet& settings) const {
  std::vector<TSearchEngineObject*> list;
  for (std::size_t i = 0; i < all_.size(); ++i)
    if (SourceEnabled(defs_[i], settings)) list.push_back(all_[i]);
  return list;
}

void TEngineSet::ApplyHosts(const TGlobalSet& settings) {
  for (std::size_t i = 0; i < all_.size(); ++i) {
    const std::string setting = SourceHostSetting(defs_[i], settings);
    if (auto* web = dynamic_cast<TWebSourceObject*>(all_[i]))
      web->SetBase(setting);
    else
      all_[i]->SetHost(setting);
  }
}

void TEngineSet::SetProgramState(TProgramState* state) {
  for (TSearchEngineObject* engine : all_) engine->SetProgramState(state);
}

std::string EngineName(const TSearchEngineObject* engine) {
  return engine ? engine->Name() : std::string();
}

TSearchEngineObject* EngineByName(const TEngineSet& engines, std::string_view name) {
  if (name.empty()) return nullptr;
  for (TSearchEngineObject* engine : engines.All()) {
    if (engine->Name() == name) return engine;
  }
  return nullptr;
}
