#pragma once
// Subcommands of veltra-cli. Each takes the arguments after its name and returns the exit
// code; bad arguments print the usage text and return 2.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

using TCliArgs = std::vector<std::string>;

int CliSettings(const TCliArgs& args);
int CliAnalyse(const TCliArgs& args);
int CliSearch(const TCliArgs& args);
int CliEnginePage(const TCliArgs& args);
int CliTaskInfo(const TCliArgs& args);
int CliSources(const TCliArgs& args);

// Prints the usage text to stderr and returns 2.
int CliUsage();

// Settings file from "--config PATH", else the one beside the executable.
std::string CliConfigPath(const std::string& option);

// The file's bytes as they are; nullopt (with the system's reason in `error`) when unreadable.
std::optional<std::string> CliReadBytes(const std::string& path, std::string& error);

// A GBK field as UTF-8 for tab-separated output: tabs and line breaks become blanks.
std::string CliOutputField(std::string_view gbkText);
