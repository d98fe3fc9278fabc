#include "app/cli_commands.h"

// Not available yet.
int CliSearch(const TCliArgs&) {
  return CliUsage();
}
