// "编辑": shows one row of the result list in eight fields, writes them back and steps to
// the previous or next row.

#include <QAction>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>

#include "core/result_table.h"
#include "ui/dialog_support.h"
#include "ui/dialogs.h"

struct TEditForm::TImpl {
  TImpl(TResultTable& t, int row, std::function<void(int)> select, bool applyOnStep)
      : Table(t), Row(row), SelectRow(std::move(select)), ApplyOnStep(applyOnStep) {}

  TResultTable& Table;
  int Row;
  std::function<void(int)> SelectRow;
  bool ApplyOnStep;
  bool WroteBack = false;
  std::function<void(int, const TResultRow&, const TResultRow&)> BeforeWriteBack;
  std::array<QLineEdit*, 7> Edits{};
  QPlainTextEdit* Memo = nullptr;
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;
  QPushButton* ApplyButton = nullptr;
  QAction* UpAction = nullptr;
  QAction* DownAction = nullptr;
  // The row as it came from the table and the texts its fields showed: a field left as shown
  // writes back its original bytes, so line breaks and bytes the display cannot show stay as
  // they were.
  TResultRow Original;
  std::array<QString, 8> ShownTexts;

  int RowCount() const { return static_cast<int>(Table.RowCount()); }
  bool RowValid() const { return Row >= 0 && Row < RowCount(); }

  void UpdateActions() {
    UpAction->setEnabled(Row >= 1);
    DownAction->setEnabled(Row < RowCount() - 1);
  }

  void ShowRow() {
    if (SelectRow) SelectRow(Row);
    TResultRow values;
    if (RowValid()) values = Table.Row(static_cast<std::size_t>(Row));
    for (std::size_t i = 0; i < Edits.size(); ++i) {
      Edits[i]->setText(QFromGbk(values[i]));
      ShownTexts[i] = Edits[i]->text();
    }
    Memo->setPlainText(QFromGbk(values[kColDescription]));
    ShownTexts[kColDescription] = Memo->toPlainText();
    Original = std::move(values);
    OkButton->setEnabled(true);
    CancelButton->setEnabled(true);
    // Filling the fields enabled it; a freshly shown row has nothing to apply.
    ApplyButton->setEnabled(false);
    UpdateActions();
  }

  void WriteBack() {
    if (!RowValid()) return;
    TResultRow values;
    auto take = [&](std::size_t i, const QString& text) {
      values[i] = text == ShownTexts[i] ? Original[i] : GbkFromQ(text);
    };
    for (std::size_t i = 0; i < Edits.size(); ++i) take(i, Edits[i]->text());
    take(kColDescription, Memo->toPlainText());
    Original = values;
    for (std::size_t i = 0; i < Edits.size(); ++i) ShownTexts[i] = Edits[i]->text();
    ShownTexts[kColDescription] = Memo->toPlainText();
    if (BeforeWriteBack) BeforeWriteBack(Row, Table.Row(static_cast<std::size_t>(Row)), values);
    Table.SetRow(static_cast<std::size_t>(Row), std::move(values));
    WroteBack = true;
  }

  // Shows another row; typed changes are applied first when so configured.
  void StepTo(int row) {
    if (ApplyOnStep && ApplyButton->isEnabled()) WriteBack();
    Row = row;
    ShowRow();
  }
};

TEditForm::TEditForm(TResultTable& table, int row, std::function<void(int)> selectRow,
                     QWidget* parent, bool applyOnStep)
    : QDialog(parent),
      impl_(std::make_unique<TImpl>(table, row, std::move(selectRow), applyOnStep)) {
  setWindowTitle(QStringLiteral("编辑"));
  auto* layout = new QVBoxLayout(this);
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName(QStringLiteral("PageControl1"));
  auto* page = new QWidget(tabs);
  auto* form = new QFormLayout(page);
  static const char* const kLabels[] = {"名称：", "网址：", "电邮：", "电话：",
                                        "传真：", "地址：", "邮编："};
  for (std::size_t i = 0; i < impl_->Edits.size(); ++i) {
    auto* edit = new QLineEdit(page);
    edit->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
    edit->setMinimumWidth(360);
    form->addRow(QString::fromUtf8(kLabels[i]), edit);
    impl_->Edits[i] = edit;
  }
  impl_->Memo = new QPlainTextEdit(page);
  impl_->Memo->setObjectName(QStringLiteral("Memo1"));
  impl_->Memo->setMinimumHeight(90);
  form->addRow(QStringLiteral("介绍："), impl_->Memo);
  tabs->addTab(page, QStringLiteral("公司详细信息"));
  layout->addWidget(tabs);

  impl_->UpAction = new QAction(QStringLiteral("上一条"), this);
  impl_->UpAction->setObjectName(QStringLiteral("UpAction"));
  impl_->DownAction = new QAction(QStringLiteral("下一条"), this);
  impl_->DownAction->setObjectName(QStringLiteral("DownAction"));
  auto* upButton = new QToolButton(this);
  upButton->setDefaultAction(impl_->UpAction);
  upButton->setArrowType(Qt::UpArrow);
  auto* downButton = new QToolButton(this);
  downButton->setDefaultAction(impl_->DownAction);
  downButton->setArrowType(Qt::DownArrow);

  impl_->OkButton = new QPushButton(QStringLiteral("确定(&O)"), this);
  impl_->OkButton->setObjectName(QStringLiteral("OkButton"));
  impl_->OkButton->setDefault(true);
  impl_->CancelButton = new QPushButton(QStringLiteral("取消(&C)"), this);
  impl_->CancelButton->setObjectName(QStringLiteral("CancelButton"));
  impl_->ApplyButton = new QPushButton(QStringLiteral("应用(&A)"), this);
  impl_->ApplyButton->setObjectName(QStringLiteral("ApplyButton"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(upButton);
  buttons->addWidget(downButton);
  buttons->addStretch();
  buttons->addWidget(impl_->OkButton);
  buttons->addWidget(impl_->CancelButton);
  buttons->addWidget(impl_->ApplyButton);
  layout->addLayout(buttons);

  auto enableApply = [this] { impl_->ApplyButton->setEnabled(true); };
  for (QLineEdit* edit : impl_->Edits) connect(edit, &QLineEdit::textChanged, this, enableApply);
  // The description counts as an edit too, so it can be applied on its own.
  connect(impl_->Memo, &QPlainTextEdit::textChanged, this, enableApply);

  connect(impl_->ApplyButton, &QPushButton::clicked, this, [this] {
    impl_->ApplyButton->setEnabled(false);
    impl_->WriteBack();
  });
  connect(impl_->OkButton, &QPushButton::clicked, this, [this] {
    impl_->WriteBack();
    accept();
  });
  connect(impl_->CancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(impl_->UpAction, &QAction::triggered, this, [this] {
    if (impl_->Row > 0) impl_->StepTo(impl_->Row - 1);
  });
  connect(impl_->DownAction, &QAction::triggered, this, [this] {
    if (impl_->Row < impl_->RowCount() - 1) impl_->StepTo(impl_->Row + 1);
  });
  // Rows may still arrive while a run goes; keep the step actions current.
  auto* updateTimer = new QTimer(this);
  updateTimer->setInterval(500);
  connect(updateTimer, &QTimer::timeout, this, [this] { impl_->UpdateActions(); });
  updateTimer->start();

  impl_->ShowRow();
}

TEditForm::~TEditForm() = default;

int TEditForm::RowIndex() const {
  return impl_->Row;
}

bool TEditForm::WroteBack() const {
  return impl_->WroteBack;
}

void TEditForm::SetBeforeWriteBack(
    std::function<void(int, const TResultRow&, const TResultRow&)> hook) {
  impl_->BeforeWriteBack = std::move(hook);
}
