// The main window's run commands and the run's feedback beside the status panels: Start,
// Continue and Stop, the refusal of an input that is no address, the progress bar.

#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>

#include "core/gbk.h"
#include "run/run_control.h"
#include "ui/main_form.h"
#include "ui/qt_text.h"

bool LooksLikeWebAddress(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty() || trimmed.contains(QRegularExpression(QStringLiteral("\\s"))))
    return false;
  const bool hasScheme = trimmed.contains(QStringLiteral("://"));
  const QUrl url(hasScheme ? trimmed : QStringLiteral("http://") + trimmed, QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
    return false;
  const QString host = url.host();
  return host == QLatin1String("localhost") ||
         (host.contains('.') && !host.startsWith('.') && !host.endsWith('.'));
}

void TMainForm::UpdateRunProgress() {
  const bool shown = ModernWindow() && state_.RunState == 1;
  if (RunProgress->isHidden() == shown) RunProgress->setVisible(shown);
  if (!shown) return;
  // The addresses the URL bar and its count show, so the bar and the panel agree.
  const int found = ListBox1->count();
  if (found == 0) {
    RunProgress->setRange(0, 0);
    return;
  }
  RunProgress->setRange(0, found);
  RunProgress->setValue(std::clamp(state_.ProcessedURLCount, 0, found));
}

void TMainForm::StartActionExecute() {
  if (!runControl_->CanStart()) return;
  if (RadioButton2->isChecked() && RefuseDirectoryInput()) return;
  if (RefuseOtherTeamInput()) return;
  // A team's records are kept in its database.
  if (!InTeam() && !AskSaveBeforeDiscard()) return;
  undo_.reset();
  runControl_->StartActionExecute();
  TeamRunStarted();
}

void TMainForm::ContinueActionExecute() {
  if (!runControl_->CanContinue()) return;
  if (state_.SearchMode == 1 && RefuseDirectoryInput()) return;
  if (RefuseOtherTeamInput()) return;
  runControl_->ContinueActionExecute();
}

void TMainForm::StopActionExecute() {
  runControl_->StopActionExecute();
}

bool TMainForm::RefuseDirectoryInput() {
  const QString input = Edit1->text().trimmed();
  // An empty box has its own message from run control.
  if (!ModernWindow() || input.isEmpty() || LooksLikeWebAddress(input)) return false;
  ShowMessage(GbkFromQ(QStringLiteral("“指定网站搜索”需要输入目录网站的网址，"
                                      "例如 http://www.example.com/list.html。\n"
                                      "“%1”不是网址：请输入网址，或改用“关键词搜索”。")
                           .arg(input)),
              GBK("提示"), TMessageIcon::Warning);
  FocusInput();
  return true;
}
