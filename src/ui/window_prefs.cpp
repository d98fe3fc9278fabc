#include "ui/window_prefs.h"

#include <QByteArray>

#include "core/ini_file.h"

namespace {

constexpr const char* kSection = "WINDOW";

}  // namespace

QString ReadWindowPref(const std::string& iniPath, const char* key) {
  TIniFile ini;
  if (!ini.LoadFile(iniPath)) return {};
  const std::string stored = ini.ReadString(kSection, key).value_or("");
  return QString::fromUtf8(QByteArray::fromPercentEncoding(QByteArray::fromStdString(stored)));
}

void WriteWindowPrefs(const std::string& iniPath,
                      const std::vector<std::pair<std::string, QString>>& values) {
  try {
    TIniFile ini;
    if (!ini.LoadFile(iniPath)) return;
    for (const auto& [key, value] : values)
      ini.WriteString(kSection, key, value.toUtf8().toPercentEncoding("/:\\,. ").toStdString());
    ini.SaveFile(iniPath);
  } catch (const EIniWriteError&) {
    // Only a convenience is lost; the next start begins without it.
  }
}

QStringList WithRecentFile(QStringList recent, const QString& path) {
  recent.removeAll(path);
  recent.prepend(path);
  while (recent.size() > kRecentFileCount) recent.removeLast();
  return recent;
}

QStringList ReadRecentFiles(const std::string& iniPath) {
  QStringList recent;
  for (int i = 1; i <= kRecentFileCount; ++i) {
    const QString path = ReadWindowPref(iniPath, ("RecentFile" + std::to_string(i)).c_str());
    if (!path.isEmpty() && !recent.contains(path)) recent << path;
  }
  return recent;
}

std::vector<std::pair<std::string, QString>> RecentFileValues(const QStringList& recent) {
  std::vector<std::pair<std::string, QString>> values;
  for (int i = 0; i < kRecentFileCount; ++i)
    values.emplace_back("RecentFile" + std::to_string(i + 1),
                        i < recent.size() ? recent[i] : QString());
  return values;
}

QString JoinNumbers(const std::vector<int>& numbers) {
  QStringList parts;
  for (const int n : numbers) parts << QString::number(n);
  return parts.join(',');
}

std::vector<int> SplitNumbers(const QString& text) {
  std::vector<int> numbers;
  if (text.trimmed().isEmpty()) return numbers;
  for (const QString& part : text.split(',')) {
    bool ok = false;
    const int n = part.trimmed().toInt(&ok);
    numbers.push_back(ok ? n : -1);
  }
  return numbers;
}
