// "新建任务": asks for the name of a new task.

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/program_state.h"
#include "ui/dialog_support.h"
#include "ui/dialogs.h"

struct TNewSessionForm::TImpl {
  explicit TImpl(TProgramState& s) : State(s) {}
  TProgramState& State;
  QLineEdit* NameEdit = nullptr;
  QPushButton* OkButton = nullptr;
};

namespace {

// "新任务1" -> "新任务2"; any other name gives the first default name.
QString NextTaskName(const QString& current) {
  static const QString stem = QStringLiteral("新任务");
  bool ok = false;
  const int number = current.startsWith(stem) ? current.mid(stem.size()).toInt(&ok) : 0;
  return stem + QString::number(ok && number > 0 ? number + 1 : 1);
}

}  // namespace

TNewSessionForm::TNewSessionForm(TProgramState& state, QWidget* parent, bool proposeNextName)
    : QDialog(parent), impl_(std::make_unique<TImpl>(state)) {
  setWindowTitle(QStringLiteral("新建任务"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  impl_->NameEdit = new QLineEdit(
      proposeNextName ? NextTaskName(QFromGbk(state.TaskName)) : QStringLiteral("新任务1"), this);
  impl_->NameEdit->setObjectName(QStringLiteral("Edit1"));
  impl_->NameEdit->setMinimumWidth(260);
  form->addRow(QStringLiteral("名称："), impl_->NameEdit);
  layout->addLayout(form);

  auto* buttons = new QDialogButtonBox(this);
  impl_->OkButton = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
  impl_->OkButton->setObjectName(QStringLiteral("OkButton"));
  impl_->OkButton->setDefault(true);
  QPushButton* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("CancelButton"));
  layout->addWidget(buttons);

  connect(impl_->NameEdit, &QLineEdit::textChanged, this,
          [this](const QString& text) { impl_->OkButton->setEnabled(!TrimmedGbk(text).empty()); });
  connect(impl_->OkButton, &QPushButton::clicked, this, [this] {
    const std::string name = TrimmedGbk(impl_->NameEdit->text());
    if (name.empty()) return;  // Enter while the button is disabled
    impl_->State.TaskName = name;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  impl_->NameEdit->selectAll();
  impl_->NameEdit->setFocus();
}

TNewSessionForm::~TNewSessionForm() = default;
