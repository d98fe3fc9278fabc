// "团队任务": connection, task name and a test of the database before joining.

#include "ui/team_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "store/team_task.h"

namespace {

bool Has(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

QString TeamProblemText(const std::string& problem) {
  if (problem.empty()) return QStringLiteral("连接成功：这个数据库可以存放团队任务。");
  QString head;
  if (Has(problem, "password authentication failed") || Has(problem, "no password supplied"))
    head = QStringLiteral(
        "密码错误：服务器不接受这个用户的密码。"
        "密码可写在地址中，也可用 PGPASSWORD 或 ~/.pgpass 提供。");
  else if (Has(problem, "another program"))
    head = QStringLiteral("不是本程序的数据库：其中已有别的程序的表，请为团队建一个空数据库。");
  else if (Has(problem, "newer than this program"))
    head = QStringLiteral("数据库中团队表的版本比本程序新，请先升级本程序。");
  else if (Has(problem, "does not exist"))
    head = QStringLiteral("服务器上没有这个数据库或用户，请检查地址。");
  else if (Has(problem, "invalid connection option") || Has(problem, "invalid URI") ||
           Has(problem, "missing \"=\"") || Has(problem, "invalid integer value"))
    head = QStringLiteral("连接地址写法有误，例如 postgresql://用户@主机/数据库。");
  else if (Has(problem, "cannot connect"))
    head = QStringLiteral("无法连接数据库服务器：请检查主机、端口和网络。");
  else
    head = QStringLiteral("无法使用这个数据库。");
  return head + QStringLiteral("\n详情：") + QString::fromStdString(problem);
}

struct TTeamDialog::TImpl {
  QLineEdit* ConnectionEdit = nullptr;
  QLineEdit* NameEdit = nullptr;
  QPushButton* TestButton = nullptr;
  QPushButton* OkButton = nullptr;
  QLabel* TestResult = nullptr;
  TJoin Join;

  std::string Connection() const { return ConnectionEdit->text().trimmed().toStdString(); }
  std::string Name() const { return NameEdit->text().trimmed().toStdString(); }
  void Refresh() {
    TestButton->setEnabled(!Connection().empty());
    OkButton->setEnabled(!Connection().empty() && !Name().empty());
  }
};

TTeamDialog::TTeamDialog(const QString& connection, const QString& taskName, TJoin join,
                         QWidget* parent)
    : QDialog(parent), impl_(std::make_unique<TImpl>()) {
  impl_->Join = std::move(join);
  setWindowTitle(QStringLiteral("团队任务"));
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(QStringLiteral("几台电脑通过同一个 PostgreSQL 数据库合作完成一个任务："
                                          "第一台按本窗口的关键词或网址建立任务，其余的加入。"),
                           this);
  intro->setWordWrap(true);
  layout->addWidget(intro);

  auto* form = new QFormLayout;
  impl_->ConnectionEdit = new QLineEdit(connection, this);
  impl_->ConnectionEdit->setObjectName(QStringLiteral("ConnectionEdit"));
  impl_->ConnectionEdit->setPlaceholderText(QStringLiteral("postgresql://用户@主机:5432/数据库"));
  impl_->ConnectionEdit->setMinimumWidth(380);
  form->addRow(QStringLiteral("数据库连接："), impl_->ConnectionEdit);
  impl_->NameEdit = new QLineEdit(taskName, this);
  impl_->NameEdit->setObjectName(QStringLiteral("TaskNameEdit"));
  form->addRow(QStringLiteral("任务名称："), impl_->NameEdit);
  layout->addLayout(form);

  auto* note = new QLabel(QStringLiteral("密码可写在地址中，或用 PGPASSWORD、~/.pgpass 提供；"
                                         "它不会显示、记入日志或保存。"),
                          this);
  note->setWordWrap(true);
  layout->addWidget(note);

  auto* testRow = new QHBoxLayout;
  impl_->TestButton = new QPushButton(QStringLiteral("测试连接"), this);
  impl_->TestButton->setObjectName(QStringLiteral("TestButton"));
  testRow->addWidget(impl_->TestButton);
  testRow->addStretch(1);
  layout->addLayout(testRow);
  impl_->TestResult = new QLabel(this);
  impl_->TestResult->setObjectName(QStringLiteral("TestResult"));
  impl_->TestResult->setWordWrap(true);
  impl_->TestResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(impl_->TestResult);

  auto* buttons = new QDialogButtonBox(this);
  impl_->OkButton = buttons->addButton(QStringLiteral("加入"), QDialogButtonBox::AcceptRole);
  impl_->OkButton->setObjectName(QStringLiteral("OkButton"));
  impl_->OkButton->setDefault(true);
  QPushButton* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("CancelButton"));
  layout->addWidget(buttons);

  for (QLineEdit* edit : {impl_->ConnectionEdit, impl_->NameEdit})
    connect(edit, &QLineEdit::textChanged, this, [this] {
      impl_->Refresh();
      impl_->TestResult->clear();
    });
  connect(impl_->TestButton, &QPushButton::clicked, this, [this] {
    if (impl_->Connection().empty()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string problem = TestTeamDatabase(impl_->Connection());
    QApplication::restoreOverrideCursor();
    impl_->TestResult->setText(TeamProblemText(problem));
    impl_->TestResult->setStyleSheet(problem.empty() ? QStringLiteral("color: #1a7f37;")
                                                     : QStringLiteral("color: #b42318;"));
  });
  connect(impl_->OkButton, &QPushButton::clicked, this, [this] {
    if (impl_->Connection().empty() || impl_->Name().empty()) return;
    if (impl_->Join && impl_->Join(impl_->Connection(), impl_->Name())) accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  impl_->Refresh();
  (connection.isEmpty() ? impl_->ConnectionEdit : impl_->NameEdit)->setFocus();
}

TTeamDialog::~TTeamDialog() = default;

QString TTeamDialog::TestText() const {
  return impl_->TestResult->text();
}
