#include "app/cli_commands.h"

int CliAnalyse(const TCliArgs&) {
  return CliUsage();
}
