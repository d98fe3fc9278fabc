#pragma once
// The six classic engine adapters, the set that owns one adapter per search source, and
// the names under which a task file stores the current engine.

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engines/search_object.h"
#include "engines/source_registry.h"

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

// The marker rules of the six classic engines.
const TEngineProfile& SinaProfile();
const TEngineProfile& SohuProfile();
const TEngineProfile& YahooProfile();
const TEngineProfile& GoogleProfile();
const TEngineProfile& Profile163();
const TEngineProfile& BaiduProfile();

// One adapter per registry source, created together and living as long as the window (or
// the CLI run) that owns the set: the six classic engines in the order Sina, Sohu, Yahoo,
// Google, 163, Baidu, then the registry's other sources in its order.
class TEngineSet {
 public:
  TEngineSet();  // over TSourceRegistry::Default()
  explicit TEngineSet(const TSourceRegistry& registry);
  TEngineSet(const TEngineSet&) = delete;
  TEngineSet& operator=(const TEngineSet&) = delete;

  TSinaSearchObject& Sina() { return *sina_; }
  TSohuSearchObject& Sohu() { return *sohu_; }
  TYahooSearchObject& Yahoo() { return *yahoo_; }
  TGoogleSearchObject& Google() { return *google_; }
  T163SearchObject& Engine163() { return *e163_; }
  TBaiduSearchObject& Baidu() { return *baidu_; }

  // Every adapter in registry order.
  const std::vector<TSearchEngineObject*>& All() const { return all_; }
  // Every adapter with its registry entry, in registry order.
  std::vector<TEngineEntry> Entries() const;
  // How a task file names these adapters.
  TEngineNaming Naming() const { return SourceNaming(Entries()); }
  // The adapter of a registry name ("Baidu", "BaiduWeb"); none when unknown.
  TSearchEngineObject* Source(std::string_view registryName) const;
  // The registry entry of an adapter of this set.
  const TSourceDef* DefOf(const TSearchEngineObject* engine) const;
  // The adapters whose source is switched on, in registry order (the run's engine list).
  std::vector<TSearchEngineObject*> Selected(const TGlobalSet& settings) const;
  // Search hosts: the ENGINEHOST / SOURCEHOST setting where one is set, else the built-in.
  void ApplyHosts(const TGlobalSet& settings);
  void SetProgramState(TProgramState* state);

 private:
  std::vector<TSourceDef> defs_;
  std::vector<std::unique_ptr<TSearchEngineObject>> owned_;
  std::vector<TSearchEngineObject*> all_;
  TSinaSearchObject* sina_ = nullptr;
  TSohuSearchObject* sohu_ = nullptr;
  TYahooSearchObject* yahoo_ = nullptr;
  TGoogleSearchObject* google_ = nullptr;
  T163SearchObject* e163_ = nullptr;
  TBaiduSearchObject* baidu_ = nullptr;
};

// The name the task file stores: "sina" ... "baidu" for the classic six, the registry name
// for the others; empty for none.
std::string EngineName(const TSearchEngineObject* engine);
// The adapter of `engines` with exactly that task-file name (letter case counts); none
// otherwise.
TSearchEngineObject* EngineByName(const TEngineSet& engines, std::string_view name);
