#pragma once
// The six search-engine adapters, the set that owns one of each, and the names under which
// a task file stores the current engine.

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engines/search_object.h"

class TGlobalSet;
class TProgramState;

class TSinaSearchObject final : public TSearchEngineObject {
 public:
  TSinaSearchObject();

 protected:
  std::string QueryPath(std::string_view k) const override;
};

class TSohuSearchObject final : public TSearchEngineObject {
 public:
  TSohuSearchObject();

 protected:
  std::string QueryPath(std::string_view k) const override;
};

class TYahooSearchObject final : public TSearchEngineObject {
 public:
  TYahooSearchObject();

 protected:
  std::string QueryPath(std::string_view k) const override;
};

class TGoogleSearchObject final : public TSearchEngineObject {
 public:
  TGoogleSearchObject();

 protected:
  std::string QueryPath(std::string_view k) const override;
};

class T163SearchObject final : public TSearchEngineObject {
 public:
  T163SearchObject();

 protected:
  std::string QueryPath(std::string_view k) const override;
};

class TBaiduSearchObject final : public TSearchEngineObject {
 public:
  TBaiduSearchObject();

 protected:
  std::string QueryPath(std::string_view k) const override;
};

// One adapter of each engine, created together and living as long as the window (or the
// CLI run) that owns the set. Order: Sina, Sohu, Yahoo, Google, 163, Baidu.
class TEngineSet {
 public:
  TEngineSet();
  TEngineSet(const TEngineSet&) = delete;
  TEngineSet& operator=(const TEngineSet&) = delete;

  TSinaSearchObject& Sina() { return sina_; }
  TSohuSearchObject& Sohu() { return sohu_; }
  TYahooSearchObject& Yahoo() { return yahoo_; }
  TGoogleSearchObject& Google() { return google_; }
  T163SearchObject& Engine163() { return e163_; }
  TBaiduSearchObject& Baidu() { return baidu_; }

  // The six adapters in the fixed order.
  const std::array<TSearchEngineObject*, 6>& All() const { return all_; }
  // The adapters whose FlagUse... setting is on, in the fixed order (the run's engine list).
  std::vector<TSearchEngineObject*> Selected(const TGlobalSet& settings) const;
  // Search hosts: the ENGINEHOST override where one is set, else the built-in host.
  void ApplyHosts(const TGlobalSet& settings);
  void SetProgramState(TProgramState* state);

 private:
  TSinaSearchObject sina_;
  TSohuSearchObject sohu_;
  TYahooSearchObject yahoo_;
  TGoogleSearchObject google_;
  T163SearchObject e163_;
  TBaiduSearchObject baidu_;
  std::array<TSearchEngineObject*, 6> all_;
};

// The adapters of `all` (six, in the fixed order) whose FlagUse... setting is on.
std::vector<TSearchEngineObject*> SelectedEngines(const std::array<TSearchEngineObject*, 6>& all,
                                                  const TGlobalSet& settings);

// "sina", "sohu", "yahoo", "google", "163" or "baidu"; empty for none.
std::string EngineName(const TSearchEngineObject* engine);
// The adapter of `engines` with exactly that name (letter case counts); none otherwise.
TSearchEngineObject* EngineByName(const TEngineSet& engines, std::string_view name);
