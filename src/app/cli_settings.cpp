#include "app/cli_commands.h"

int CliSettings(const TCliArgs&) {
  return CliUsage();
}
