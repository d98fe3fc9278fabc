#pragma once
// Subcommands of veltra-cli. Each takes the arguments after its name and returns the exit
// code; bad arguments print the usage text and return 2.

#include <string>
#include <vector>

using TCliArgs = std::vector<std::string>;

int CliSettings(const TCliArgs& args);
int CliAnalyse(const TCliArgs& args);
int CliSearch(const TCliArgs& args);
int CliEnginePage(const TCliArgs& args);
int CliTaskInfo(const TCliArgs& args);

// Prints the usage text to stderr and returns 2.
int CliUsage();

// Settings file from "--config PATH", else the one beside the executable.
std::string CliConfigPath(const std::string& option);
