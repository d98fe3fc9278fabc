#pragma once
// The objects a front end runs on, built in one order for the window and the CLI: settings
// record and store, engine adapters, program state, result table, thread factory, run
// control. Destroyed in reverse, so run control stops and joins every thread first.

#include <string>

#include "core/global_set.h"
#include "core/program_state.h"
#include "core/result_table.h"
#include "engines/engine_set.h"
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
  TDefaultThreadFactory factory_;
  TRunControl control_;
};
