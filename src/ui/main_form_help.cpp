// The main window's help menu links (help file, home page, feedback) and the report of
// settings the file held out of range.

#include <QDir>
#include <QUrl>
#include <array>
#include <optional>

#include "core/data_files.h"
#include "core/gbk.h"
#include "core/ini_file.h"
#include "core/log.h"
#include "ui/main_form.h"
#include "ui/qt_text.h"

TLinkAddresses ShippedLinkAddresses() {
  TLinkAddresses links;
  const auto file = FindDataFile("links.ini");
  TIniFile ini;
  if (!file || !ini.LoadFile(*file)) return links;
  links.HomePage =
      QString::fromStdString(gbk::Trim(ini.ReadString("LINKS", "HomePage").value_or("")));
  links.Feedback =
      QString::fromStdString(gbk::Trim(ini.ReadString("LINKS", "Feedback").value_or("")));
  return links;
}

void TMainForm::N1Click() {
  OpenLink(QUrl::fromLocalFile(HelpFilePath()), QStringLiteral("使用说明"));
}

void TMainForm::N20Click() {
  if (!links_.HomePage.isEmpty()) OpenLink(QUrl(links_.HomePage), QStringLiteral("主页"));
}

void TMainForm::N21Click() {
  if (links_.Feedback.isEmpty()) return;
  // A bare mail address is sent as a mail link.
  const QString address =
      links_.Feedback.contains(':') ? links_.Feedback : QStringLiteral("mailto:") + links_.Feedback;
  OpenLink(QUrl(address), QStringLiteral("服务反馈"));
}

void TMainForm::OpenLink(const QUrl& url, const QString& what) {
  if (OpenDocument(url) || !ModernWindow()) return;
  const QString address =
      url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString();
  ShowMessage(GbkFromQ(QStringLiteral("无法打开%1：系统中没有能打开它的程序。\n"
                                      "地址（可复制）：\n%2")
                           .arg(what, address)),
              GBK("提示"), TMessageIcon::Warning);
}

void TMainForm::LogCorrectedSettings() {
  // The record holds the numbers as corrected; the file still holds what was typed there.
  if (!globalSet_.ClampNumbers) return;
  TIniFile ini;
  if (!ini.LoadFile(settingsPath_)) return;
  struct TRange {
    const char* Key;
    int32_t Value;
    int Minimum;
    int Maximum;
  };
  const std::array<TRange, 3> ranges = {{
      {"MaxFindWebThreadCount", globalSet_.MaxFindWebThreadCount, 1, 30},
      {"MaxCrawlLevel", globalSet_.MaxCrawlLevel, 0, 6},
      {"MaxReadHTMLTimeOut", globalSet_.MaxReadHTMLTimeOut, 10000, 30000},
  }};
  for (const TRange& r : ranges) {
    const auto text = ini.ReadString("SETTING", r.Key);
    const auto stored = text ? ParseIniInteger(*text) : std::nullopt;
    if (!stored || (*stored >= r.Minimum && *stored <= r.Maximum)) continue;
    TLog::Global().Write(TLogLevel::Warning, "settings",
                         std::string("设置文件中 ") + r.Key + "=" + *text + " 超出范围 " +
                             std::to_string(r.Minimum) + "～" + std::to_string(r.Maximum) +
                             "，已改为 " + std::to_string(r.Value),
                         settingsPath_);
  }
}
