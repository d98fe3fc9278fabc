#include "app/cli_commands.h"

// Not available yet.
int CliTaskInfo(const TCliArgs&) {
  return CliUsage();
}
