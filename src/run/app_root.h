#pragma once
// The objects a front end runs on, built in one order for the window and the CLI: settings
// record and store, engine adapters, program state, result table, thread factory, run
// control. Destroyed in reverse, so run control stops and joins every thread first.

#include <memory>
#include <string>

#include "core/global_set.h"
#include "core/program_state.h"
#include "core/result_table.h"
#include "engines/engine_set.h"
#include "net/cookie_store.h"
#include "net/page_renderer.h"
#include "run/default_thread_factory.h"
#include "run/run_control.h"

class TAppRoot {
 public:
  // Loads `start.LoadPath` (ESettingsReadError when it exists but cannot be read);
  // `start.Path` is the file the dialogs and the exit write. `view` must outlive this object.
  TAppRoot(const TSettingsStart& start, TRunView& view);
  TAppRoot(const TAppRoot&) = delete;
  TAppRoot& operator=(const TAppRoot&) = delete;

  const std::string& SettingsPath() const { return settingsPath_; }
  // The search mode stored with the settings (true: keyword search).
  bool KeywordMode() const { return keywordMode_; }

  TGlobalSet& GlobalSet() { return globalSet_; }
  TSettingsStore& Store() { return store_; }
  TEngineSet& Engines() { return engines_; }
  TProgramState& State() { return state_; }
  TResultTable& Results() { return results_; }
  TRunControl& Control() { return control_; }
  // Cookies the user brought, sent by every client of the runs.
  TCookieStore& Cookies() { return *cookies_; }
  // The front end's renderer of script-built pages (null: none). It must outlive this
  // object; runs started afterwards use it when RenderScripts asks.
  void SetPageRenderer(TPageRenderer* renderer) {
    renderer_ = renderer;
    factory_.SetRenderer(renderer);
  }
  TPageRenderer* PageRenderer() const { return renderer_; }
  // Runs take their sites from `store` and report to it (nullptr: this machine's own task).
  // Set only while no run is on; `store` must outlive the runs that use it.
  void UseTaskStore(TTaskStore* store) {
    factory_.SetTaskStore(store);
    control_.UseTaskStore(store);
  }

 private:
  std::string settingsPath_;
  TGlobalSet globalSet_;
  bool keywordMode_;
  TSettingsStore store_;
  TEngineSet engines_;
  TProgramState state_;
  TResultTable results_;
  std::shared_ptr<TCookieStore> cookies_ = std::make_shared<TCookieStore>();
  TDefaultThreadFactory factory_;
  TRunControl control_;
  TPageRenderer* renderer_ = nullptr;
};
