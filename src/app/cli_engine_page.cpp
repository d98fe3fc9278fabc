#include "app/cli_commands.h"

// Not available yet.
int CliEnginePage(const TCliArgs&) {
  return CliUsage();
}
