// "关于": the program's name and version.

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialogs.h"

namespace {
// The version comes from the build (project version).
constexpr const char* kProgramVersion = VELTRA_VERSION;
}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("关于"));
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(QStringLiteral("Veltra企业名录采集系统"), this);
  name->setObjectName(QStringLiteral("ProductName"));
  QFont font = name->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.3);
  name->setFont(font);
  name->setAlignment(Qt::AlignCenter);
  auto* version =
      new QLabel(QStringLiteral("版本 %1").arg(QString::fromLatin1(kProgramVersion)), this);
  version->setObjectName(QStringLiteral("Version"));
  version->setAlignment(Qt::AlignCenter);
  layout->addWidget(name);
  layout->addWidget(version);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("OkButton"));
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  setMinimumWidth(300);
}
