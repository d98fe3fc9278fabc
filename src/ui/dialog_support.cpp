#include "ui/dialog_support.h"

#include <QDialog>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <exception>
#include <optional>
#include <utility>

TSpinField::TSpinField(int minimum, int maximum, int step, const QString& name, QWidget* parent)
    : QSpinBox(parent) {
  setObjectName(name);
  setRange(minimum, maximum);
  setSingleStep(step);
  // The value follows the text only when editing ends; a bad text then falls back.
  setKeyboardTracking(false);
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
}

void TSpinField::SetNumber(int value) {
  rejected_.clear();
  setValue(std::clamp(value, minimum(), maximum()));
}

void TSpinField::ForgetRejected() {
  rejected_.clear();
  if (!TypedTextValid()) lineEdit()->setText(textFromValue(value()));
}

void TSpinField::NoteRejected() {
  if (!TypedTextValid()) rejected_ = cleanText();
}

void TSpinField::focusOutEvent(QFocusEvent* event) {
  NoteRejected();
  if (keepInvalid_ && !TypedTextValid()) {
    // Skips the spin box's own correction, which would put the previous value back.
    lineEdit()->event(event);
    QWidget::focusOutEvent(event);
    return;
  }
  QSpinBox::focusOutEvent(event);
}

void TSpinField::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && keepInvalid_ && !TypedTextValid()) {
    event->accept();
    return;
  }
  if (enter) NoteRejected();
  QSpinBox::keyPressEvent(event);
}

namespace {

// The typed number when it is a whole number within [minimum, maximum].
std::optional<int> TypedNumber(const QString& typed, int minimum, int maximum) {
  const std::string text = TrimmedGbk(typed);
  int parsed = 0;
  const char* last = text.data() + text.size();
  auto [end, ec] = std::from_chars(text.data(), last, parsed);
  if (!text.empty() && ec == std::errc() && end == last && parsed >= minimum && parsed <= maximum)
    return parsed;
  return std::nullopt;
}

}  // namespace

bool TSpinField::TypedTextValid() const {
  return TypedNumber(cleanText(), minimum(), maximum()).has_value();
}

QString TSpinField::RangeText() const {
  return QStringLiteral("%1～%2").arg(minimum()).arg(maximum());
}

int TSpinField::TakeNumber() {
  if (const auto typed = TypedNumber(cleanText(), minimum(), maximum()))
    setValue(*typed);
  else
    setValue(value());
  // Show the value taken, whatever was typed.
  lineEdit()->setText(textFromValue(value()));
  return value();
}

QValidator::State TSpinField::validate(QString& input, int& pos) const {
  // Let anything be typed; what is not a valid number is simply not taken.
  const QValidator::State state = QSpinBox::validate(input, pos);
  return state == QValidator::Invalid ? QValidator::Intermediate : state;
}

void TNumberFields::Fill(const TGlobalSet& set) {
  ThreadCount->SetNumber(set.MaxFindWebThreadCount);
  CrawlLevel->SetNumber(set.MaxCrawlLevel);
  TimeOut->SetNumber(set.MaxReadHTMLTimeOut);
}

void TNumberFields::TakeBack(TGlobalSet& set) {
  set.MaxFindWebThreadCount = ThreadCount->TakeNumber();
  set.MaxCrawlLevel = CrawlLevel->TakeNumber();
  set.MaxReadHTMLTimeOut = TimeOut->TakeNumber();
}

QStringList TNumberFields::RangeProblems() const {
  QStringList problems;
  const std::array<std::pair<const TSpinField*, const char*>, 3> fields = {
      {{ThreadCount, "同时启动搜索线程数"},
       {CrawlLevel, "网站的爬行深度"},
       {TimeOut, "读取网页超时(毫秒)"}}};
  for (const auto& [field, label] : fields) {
    const QString text = field->TypedTextValid() ? field->RejectedText() : field->cleanText();
    if (!text.isEmpty() || !field->TypedTextValid())
      problems << QStringLiteral("“%1”：%2只能是%3之间的整数")
                      .arg(text, QString::fromUtf8(label), field->RangeText());
  }
  return problems;
}

void TNumberFields::ForgetRejected() {
  for (TSpinField* field : {ThreadCount, CrawlLevel, TimeOut}) field->ForgetRejected();
}

bool TNumberFields::AllValid() const {
  return ThreadCount->TypedTextValid() && CrawlLevel->TypedTextValid() && TimeOut->TypedTextValid();
}

void TNumberFields::WatchRange(std::function<void(bool allValid)> changed) {
  const std::array<TSpinField*, 3> fields = {ThreadCount, CrawlLevel, TimeOut};
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TSpinField* field = fields[i];
    QLabel* error = Errors[i];
    auto check = [this, field, error, changed] {
      const bool valid = field->TypedTextValid();
      // A text put right is no longer a problem to tell about.
      if (valid) field->ForgetRejected();
      error->setText(valid ? QString()
                           : QStringLiteral("请输入 %1 之间的整数").arg(field->RangeText()));
      error->setVisible(!valid);
      field->setStyleSheet(valid ? QString() : QStringLiteral("QSpinBox { color: #b00020; }"));
      if (changed) changed(AllValid());
    };
    field->SetKeepInvalidText(true);
    QObject::connect(field->TextEdit(), &QLineEdit::textChanged, field, check);
  }
}

TNumberFields AddNumberFields(QFormLayout* form, QWidget* parent,
                              const std::array<const char*, 3>& names) {
  TNumberFields fields;
  fields.ThreadCount = new TSpinField(1, 30, 1, QString::fromLatin1(names[0]), parent);
  fields.CrawlLevel = new TSpinField(0, 6, 1, QString::fromLatin1(names[1]), parent);
  fields.TimeOut = new TSpinField(10000, 30000, 1000, QString::fromLatin1(names[2]), parent);
  for (TSpinField* field : {fields.ThreadCount, fields.CrawlLevel, fields.TimeOut})
    field->setToolTip(QStringLiteral("范围：%1").arg(field->RangeText()));
  const std::array<std::pair<const char*, TSpinField*>, 3> rows = {{
      {"同时启动搜索线程数：", fields.ThreadCount},
      {"网站的爬行深度：", fields.CrawlLevel},
      {"读取网页超时(毫秒)：", fields.TimeOut},
  }};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    form->addRow(QString::fromUtf8(rows[i].first), rows[i].second);
    // Under the field: its range error, shown only while the typed text is out of range.
    auto* error = new QLabel(parent);
    error->setObjectName(QStringLiteral("%1Error").arg(rows[i].second->objectName()));
    error->setStyleSheet(QStringLiteral("color: #b00020;"));
    error->setVisible(false);
    form->addRow(QString(), error);
    fields.Errors[i] = error;
  }
  return fields;
}

std::string TrimmedGbk(const QString& text) {
  return gbk::Trim(GbkFromQ(text));
}

QString ListFieldText(const TLikeList& list) {
  return QFromGbk(LikeListToText(list));
}

TLikeList ListFromField(const QString& text) {
  return LikeListFromText(TrimmedGbk(text));
}

void ShowErrorBox(QWidget* dialog, const QString& text) {
  QMessageBox::critical(dialog, QStringLiteral("错误"), text);
}

bool AskYesNo(QWidget* dialog, const QString& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("提示"), text, QMessageBox::NoButton,
                  dialog);
  QPushButton* yes = box.addButton(QStringLiteral("是(&Y)"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("否(&N)"), QMessageBox::NoRole);
  box.setDefaultButton(no);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

QString EmptyListsQuestion(const QString& names) {
  return QStringLiteral("关键词列表%1为空，空列表匹配不到任何信息。\n仍要保存吗？").arg(names);
}

QString EmptyListNames(const std::vector<std::pair<QString, QString>>& captionsAndTexts) {
  QStringList names;
  for (const auto& [caption, text] : captionsAndTexts)
    if (const TLikeList list = ListFromField(text);
        std::all_of(list.begin(), list.end(), [](const std::string& e) { return e.empty(); })) {
      QString name = caption;
      while (name.endsWith(QStringLiteral("：")) || name.endsWith(':')) name.chop(1);
      names << QStringLiteral("“%1”").arg(name);
    }
  return names.join(QStringLiteral("、"));
}

QString SaveErrorText(const std::exception& error) {
  // The message carries a file-system path, which is UTF-8 here.
  return QString::fromUtf8(error.what());
}

bool PublishAndSave(const TSettingsContext& context,
                    void (*save)(const TGlobalSet&, const std::string&), QWidget* dialog,
                    const TDialogErrorReporter& report) {
  // Running workers read the published copy: they see the old values or the new, never a mix.
  context.Store.Publish(context.Settings);
  try {
    save(context.Settings, context.SettingsPath);
  } catch (const EIniWriteError& error) {
    if (report) report(dialog, SaveErrorText(error));
    return false;
  }
  return true;
}

TWizardPager::TWizardPager(QDialog* dialog, const QString& captionStem, int pageCount)
    : dialog_(dialog), captionStem_(captionStem), pageCount_(pageCount) {
  auto* layout = new QVBoxLayout(dialog);
  stack_ = new QStackedWidget(dialog);
  stack_->setObjectName(QStringLiteral("Pages"));
  layout->addWidget(stack_);
  auto* rule = new QFrame(dialog);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  layout->addWidget(rule);

  Back = new QPushButton(QStringLiteral("上一步(&B)"), dialog);
  Back->setObjectName(QStringLiteral("BackButton"));
  Next = new QPushButton(QStringLiteral("下一步(&N)"), dialog);
  Next->setObjectName(QStringLiteral("NextButton"));
  Finish = new QPushButton(QStringLiteral("完成"), dialog);
  Finish->setObjectName(QStringLiteral("FinishButton"));
  Cancel = new QPushButton(QStringLiteral("取消"), dialog);
  Cancel->setObjectName(QStringLiteral("CancelButton"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Back);
  buttons->addWidget(Next);
  buttons->addWidget(Finish);
  buttons->addWidget(Cancel);
  layout->addLayout(buttons);

  QObject::connect(Next, &QPushButton::clicked, dialog, [this] {
    if (page_ < pageCount_) ShowPage(page_ + 1);
  });
  QObject::connect(Back, &QPushButton::clicked, dialog, [this] {
    if (page_ > 1) ShowPage(page_ - 1);
  });
  QObject::connect(Cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}

QVBoxLayout* TWizardPager::AddPage(const QString& heading) {
  auto* page = new QWidget(stack_);
  auto* body = new QVBoxLayout(page);
  auto* title = new QLabel(heading, page);
  title->setObjectName(QStringLiteral("Heading%1").arg(stack_->count() + 1));
  QFont font = title->font();
  font.setBold(true);
  title->setFont(font);
  title->setWordWrap(true);
  body->addWidget(title);
  stack_->addWidget(page);
  return body;
}

void TWizardPager::ShowPage(int page) {
  page_ = std::clamp(page, 1, pageCount_);
  stack_->setCurrentIndex(page_ - 1);
  const bool last = page_ == pageCount_;
  Back->setEnabled(page_ > 1);
  // "完成" appears before "下一步(&N)" goes, so a focus on the hidden button passes to it and
  // never on to "取消".
  Finish->setVisible(last);
  Finish->setEnabled(true);
  Next->setVisible(!last);
  Next->setEnabled(true);
  // Enter goes to whichever of the two stands in the place. Clearing both first makes the
  // dialog take the new one as its main default even when a click had moved the focus (and
  // with it the default) between the buttons; otherwise a hidden button would stay default.
  Next->setDefault(false);
  Finish->setDefault(false);
  (last ? Finish : Next)->setDefault(true);
  dialog_->setWindowTitle(
      (ChineseSteps ? QStringLiteral("%1(第%2步，共%3步)") : QStringLiteral("%1(%2 of %3)"))
          .arg(captionStem_)
          .arg(page_)
          .arg(pageCount_));
  if (OnShow) OnShow(page_);
}
