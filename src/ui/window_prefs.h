#pragma once
// What the window remembers for the user between starts, kept in the settings file beside
// the window's place (section WINDOW): recent task files, the folder last used for each kind
// of file, the list's column widths and the URL bar's width. Values are stored
// percent-encoded UTF-8, so paths in any script survive the file's code page.

#include <QString>
#include <QStringList>
#include <string>
#include <utility>
#include <vector>

inline constexpr int kRecentFileCount = 8;

// The value of `key`, empty when missing or unreadable.
QString ReadWindowPref(const std::string& iniPath, const char* key);
// Writes the keys at once; a file that cannot be written is left as it was.
void WriteWindowPrefs(const std::string& iniPath,
                      const std::vector<std::pair<std::string, QString>>& values);

// The recent list with `path` first, once, at most kRecentFileCount long.
QStringList WithRecentFile(QStringList recent, const QString& path);
// The recent files as stored (RecentFile1..8) and the keys to store `recent` under.
QStringList ReadRecentFiles(const std::string& iniPath);
std::vector<std::pair<std::string, QString>> RecentFileValues(const QStringList& recent);

// Integers stored as "a,b,c"; entries that are not numbers come back as -1.
QString JoinNumbers(const std::vector<int>& numbers);
std::vector<int> SplitNumbers(const QString& text);
