#include "run/app_root.h"

#include "core/log.h"

TAppRoot::TAppRoot(const TSettingsStart& start, TRunView& view)
    : settingsPath_(start.Path),
      // globalSet_ is built already; a file that cannot be read is an error, never defaults.
      keywordMode_(LoadSettingsOrThrow(globalSet_, start.LoadPath)),
      factory_(state_, store_, engines_),
      control_(state_, store_, results_, view, factory_, engines_.Entries()) {
  store_.Publish(globalSet_);
  engines_.ApplyHosts(globalSet_);
  engines_.SetProgramState(&state_);
  factory_.SetCookieStore(cookies_);
  control_.SetCookieStore(cookies_);
  TLog::Global().Write(TLogLevel::Info, "settings", "settings file " + start.Path);
}
