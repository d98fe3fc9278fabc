// Placeholder bodies until the dialogs are built.
#include "ui/dialogs.h"

struct TNewSessionForm::TImpl {};
TNewSessionForm::TNewSessionForm(TProgramState&, QWidget* parent) : QDialog(parent) {}
TNewSessionForm::~TNewSessionForm() = default;
struct TEditForm::TImpl {};
TEditForm::TEditForm(TResultTable&, int, std::function<void(int)>, QWidget* parent)
    : QDialog(parent) {}
TEditForm::~TEditForm() = default;
struct TOptionForm::TImpl {};
TOptionForm::TOptionForm(TSettingsContext, QWidget* parent) : QDialog(parent) {}
TOptionForm::~TOptionForm() = default;
struct TSettingWizardForm::TImpl {};
TSettingWizardForm::TSettingWizardForm(TSettingsContext, QWidget* parent) : QDialog(parent) {}
TSettingWizardForm::~TSettingWizardForm() = default;
struct TSearchContentWizardForm::TImpl {};
TSearchContentWizardForm::TSearchContentWizardForm(TSettingsContext, TRunView&, QWidget* parent)
    : QDialog(parent) {}
TSearchContentWizardForm::~TSearchContentWizardForm() = default;
struct TSearchPointWebWizardForm::TImpl {};
TSearchPointWebWizardForm::TSearchPointWebWizardForm(TSettingsContext, TRunView&, QWidget* parent)
    : QDialog(parent) {}
TSearchPointWebWizardForm::~TSearchPointWebWizardForm() = default;
TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {}
