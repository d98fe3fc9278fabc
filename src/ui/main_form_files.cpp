// The main window's task files and export: the file dialogs and the folders they start in,
// New, Open, Save, Save As, the recent files, the title, and export to a spreadsheet file.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QStatusBar>
#include <QUrl>

#include "core/export_sheet.h"
#include "core/gbk.h"
#include "run/run_control.h"
#include "ui/dialogs.h"
#include "ui/main_form.h"
#include "ui/qt_text.h"
#include "ui/window_prefs.h"

namespace {

// "description (*.ext)" per pair of a "description|*.ext|..." filter.
QStringList QtFilters(const std::string& gbkFilter) {
  const QStringList parts = QFromGbk(gbkFilter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
    filters << QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1]);
  return filters;
}

// The extension of the n-th pattern of a "description|*.ext|..." filter, without the dot.
QString ExtensionAt(const std::string& gbkFilter, int n) {
  const QStringList parts = QFromGbk(gbkFilter).split('|');
  const qsizetype at = 2 * static_cast<qsizetype>(n) + 1;
  if (n < 0 || at >= parts.size()) return {};
  const QString pattern = parts[at].section(';', 0, 0).trimmed();
  const qsizetype dot = pattern.lastIndexOf('.');
  if (dot < 0 || pattern.indexOf('*', dot) >= 0) return {};
  return pattern.mid(dot + 1);
}

std::optional<std::string> NativePath(const QString& chosen) {
  if (chosen.isEmpty()) return std::nullopt;
  return QFile::encodeName(QDir::toNativeSeparators(chosen)).toStdString();
}

QString FromNative(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

// Task files and exported sheets each remember their own folder.
const char* FolderKey(const std::string& filter) {
  return ExtensionAt(filter, 0) == QLatin1String("swrw") ? "TaskFolder" : "ExportFolder";
}

// The export formats, in the order the export dialog offers them.
const std::string& ExportFilter() {
  return GBK("Excel 工作簿|*.xlsx|CSV（Excel）|*.csv|CSV（UTF-8，导入用）|*.csv");
}

// CSV for a spreadsheet keeps the formula guard; CSV for imports writes every value exactly.
enum class TExportFormat { Xlsx, Csv, CsvPlain };

// The format of an export: the file type chosen in the dialog, else the name's extension,
// else a workbook. The path gets the format's extension when it has another one.
TExportFormat ChooseExportFormat(int filterIndex, std::string& path) {
  const QString lower = FromNative(path).toLower();
  TExportFormat format = TExportFormat::Xlsx;
  if (filterIndex == 1 || (filterIndex < 0 && lower.endsWith(QLatin1String(".csv"))))
    format = TExportFormat::Csv;
  else if (filterIndex == 2)
    format = TExportFormat::CsvPlain;
  const char* extension = format == TExportFormat::Xlsx ? ".xlsx" : ".csv";
  if (!lower.endsWith(QLatin1String(extension))) path += extension;
  return format;
}

}  // namespace

QString TMainForm::StartFolder(const std::string& filter) const {
  if (!ModernWindow()) return {};
  const QString folder = ReadWindowPref(settingsPath_, FolderKey(filter));
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void TMainForm::RememberFolder(const std::string& filter, const std::string& path) {
  if (!ModernWindow()) return;
  WriteWindowPrefs(settingsPath_,
                   {{FolderKey(filter), QFileInfo(FromNative(path)).absolutePath()}});
}

std::optional<std::string> TMainForm::AskSaveFileName(const std::string& title,
                                                      const std::string& filter,
                                                      const std::string& proposedName) {
  QString proposed = QFromGbk(proposedName);
  if (const QString folder = StartFolder(filter); !folder.isEmpty())
    proposed = QDir(folder).filePath(proposed);
  const QStringList filters = QtFilters(filter);
  QFileDialog dialog(this, QFromGbk(title), proposed, filters.join(QStringLiteral(";;")));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The dialog adds the extension of the chosen type itself, so its overwrite question is
  // asked about the file that is really written, not about the name as typed.
  dialog.setDefaultSuffix(ExtensionAt(filter, 0));
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& chosen) {
    dialog.setDefaultSuffix(ExtensionAt(filter, static_cast<int>(filters.indexOf(chosen))));
  });
  saveFilterIndex_ = -1;
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  saveFilterIndex_ = static_cast<int>(filters.indexOf(dialog.selectedNameFilter()));
  const QStringList files = dialog.selectedFiles();
  auto chosen = files.isEmpty() ? std::nullopt : NativePath(files.first());
  if (chosen) RememberFolder(filter, *chosen);
  return chosen;
}

std::optional<std::string> TMainForm::AskOpenFileName(const std::string& title,
                                                      const std::string& filter) {
  auto chosen = NativePath(QFileDialog::getOpenFileName(
      this, QFromGbk(title), StartFolder(filter), QtFilters(filter).join(QStringLiteral(";;"))));
  if (chosen) RememberFolder(filter, *chosen);
  return chosen;
}

void TMainForm::SetWindowCaption(const std::string& caption) {
  caption_ = QFromGbk(caption);
  captionModified_ = false;
  setWindowTitle(caption_);
  RefreshCaption();
}

QString TMainForm::TaskTitle() const {
  // The file's name once the task has one, else the task's own name.
  QString name = state_.TaskFileName.empty()
                     ? QFromGbk(state_.TaskName)
                     : QFileInfo(FromNative(state_.TaskFileName)).completeBaseName();
  if (state_.Modified) name += QLatin1Char('*');
  const QString app = QFromGbk(state_.AppTitle);
  return name.isEmpty() ? app : name + QStringLiteral(" - ") + app;
}

void TMainForm::RefreshCaption() {
  if (ModernWindow()) {
    const QString title = TaskTitle();
    if (windowTitle() != title) setWindowTitle(title);
    return;
  }
  if (captionModified_ || caption_.isEmpty()) return;
  if (windowTitle() != caption_) setWindowTitle(caption_);
}

bool TMainForm::AskSaveBeforeDiscard() {
  if (!state_.Modified || (results_.RowCount() == 0 && state_.URLCount() == 0)) return true;
  return runControl_->CloseQuery();
}

void TMainForm::RememberTaskFile(const std::string& path) {
  if (!ModernWindow() || path.empty()) return;
  recent_ = WithRecentFile(recent_, QFileInfo(FromNative(path)).absoluteFilePath());
  WriteWindowPrefs(settingsPath_, RecentFileValues(recent_));
  RebuildRecentMenu();
}

void TMainForm::RebuildRecentMenu() {
  // Files that are gone leave the list.
  QStringList present;
  for (const QString& path : recent_)
    if (QFileInfo::exists(path)) present << path;
  if (present != recent_) {
    recent_ = present;
    WriteWindowPrefs(settingsPath_, RecentFileValues(recent_));
  }
  const bool modern = ModernWindow();
  for (std::size_t i = 0; i < RecentActions.size(); ++i) {
    QAction* action = RecentActions[i];
    const bool used = modern && static_cast<qsizetype>(i) < recent_.size();
    action->setVisible(used);
    if (!used) continue;
    const QString path = recent_[static_cast<qsizetype>(i)];
    action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
    action->setToolTip(QDir::toNativeSeparators(path));
    action->setStatusTip(QDir::toNativeSeparators(path));
    action->setData(path);
  }
  RecentSeparator->setVisible(modern && !recent_.isEmpty());
}

void TMainForm::OpenRecentFile(const QString& path) {
  if (!runControl_->CanStart() || !AskSaveBeforeDiscard()) return;
  if (!QFileInfo::exists(path)) {
    ShowMessage(GbkFromQ(QStringLiteral("文件不存在：\n%1").arg(QDir::toNativeSeparators(path))),
                GBK("错误"), TMessageIcon::Error);
    RebuildRecentMenu();
    return;
  }
  OpenTaskFile(QFile::encodeName(path).toStdString());
}

bool TMainForm::OpenTaskFile(const std::string& path) {
  LeaveTeamActionExecute();  // a task of this machine's own
  undo_.reset();
  if (!runControl_->OpenTask(path)) return false;
  // What was just read from the file holds nothing unsaved.
  if (ModernWindow()) state_.Modified = false;
  RememberTaskFile(path);
  RefreshCaption();
  return true;
}

void TMainForm::NewSessionActionExecute() {
  if (!runControl_->CanStart() || !AskSaveBeforeDiscard()) return;
  bool accepted = false;
  {
    TNewSessionForm form(state_, this, ModernWindow());
    if (RunDialog(form) == QDialog::Accepted) {
      LeaveTeamActionExecute();  // a task of this machine's own
      runControl_->NewTaskAccepted();
      accepted = true;
      undo_.reset();
      state_.TaskFileName.clear();
    }
  }
  // A new task holds nothing yet; marked only where the window keeps its first design.
  state_.Modified = ModernWindow() ? (accepted ? false : state_.Modified) : true;
}

void TMainForm::OpenSessionActionExecute() {
  if (!runControl_->CanStart() || !AskSaveBeforeDiscard()) return;
  if (!ModernWindow()) {
    runControl_->OpenSessionActionExecute();
    return;
  }
  auto chosen = AskOpenFileName(GBK("打开任务"), GBK("商务信息搜索任务|*.swrw"));
  if (chosen) OpenTaskFile(*chosen);
}

void TMainForm::SaveSessionActionExecute() {
  if (runControl_->SaveSessionActionExecute()) RememberTaskFile(state_.TaskFileName);
}

void TMainForm::SaveAsActionExecute() {
  if (runControl_->SaveAsActionExecute()) RememberTaskFile(state_.TaskFileName);
}

void TMainForm::OutInfoActionExecute() {
  if (results_.RowCount() == 0) return;
  const bool modern = ModernWindow();
  // The export is named after the task file when there is one, else after the task.
  std::string proposed = state_.TaskName;
  if (modern && !state_.TaskFileName.empty())
    proposed = GbkFromQ(QFileInfo(FromNative(state_.TaskFileName)).completeBaseName());
  const std::string filter = modern ? ExportFilter() : GBK("Excel 工作簿|*.xlsx");
  auto chosen = AskSaveFileName(GBK("导出数据"), filter, proposed + ".xlsx");
  if (!chosen) return;
  std::string path = *chosen;
  const std::string typed = path;
  const TExportFormat format = ChooseExportFormat(modern ? saveFilterIndex_ : 0, path);
  // The dialog asked about the name as typed; the file really written needs its own question.
  if (path != typed && QFile::exists(FromNative(path)) &&
      ShowMessage(GBK("文件") + gbk::FromUtf8(path) + GBK("已存在，是否替换？"), GBK("导出数据"),
                  TMessageIcon::Question, TMessageButtons::YesNoCancel) != TMessageResult::Yes)
    return;
  SetCursor(TRunCursor::Hourglass);
  // The modern window exports the description and the numbers' kind and place as well.
  TExportChoice choice;
  choice.LeadColumns = modern;
  choice.Flavour = format == TExportFormat::CsvPlain ? TCsvFlavour::Plain : TCsvFlavour::Excel;
  results_.SetPhoneRegion(globalSet_.PhoneRegion);
  if (format == TExportFormat::Xlsx) {
    TXlsxExportSink sink(path);
    ExportTableTo(results_, sink, choice.LeadColumns);
  } else {
    ExportTableToCsv(results_, path, choice);
  }
  SetCursor(TRunCursor::Normal);
  // The finished file is opened with the default handler, as a spreadsheet program shows it.
  const QString file = FromNative(path);
  const bool opened = OpenDocument(QUrl::fromLocalFile(file));
  if (!modern) return;
  // Where the file went stays visible; a missing spreadsheet program is no silent failure.
  const QString shown = QDir::toNativeSeparators(file);
  if (opened)
    statusBar()->showMessage(QStringLiteral("数据已导出到 %1").arg(shown), 15000);
  else
    ShowMessage(
        GbkFromQ(QStringLiteral("数据已导出到：\n%1\n\n没有找到能打开该文件的程序。").arg(shown)),
        GBK("导出数据"), TMessageIcon::Information);
}
