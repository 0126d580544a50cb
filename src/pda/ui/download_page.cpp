#include "pda/ui/download_page.h"

#include "controls/dialog_service.h"
#include "pda/ui/file_extension_rule.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace marlow::pda::ui {

namespace {

struct ChooserRule {
    controls::FileChoice choice;
    QStringList extensions;
    QString refusal;
};

ChooserRule PdaChooser() {
    ChooserRule rule;
    rule.choice.caption = QStringLiteral("Open");
    rule.choice.defaultSuffix = QStringLiteral("bin");
    rule.choice.filters = {{QStringLiteral("BIN Files(*.bin)"), {"*.bin"}},
                           {QStringLiteral("LIST Files (*.lst)"), {"*.lst"}},
                           {QStringLiteral("All Files(*.*)"), {"*"}}};
    rule.extensions = {QStringLiteral(".bin"), QStringLiteral(".lst")};
    rule.refusal =
        QStringLiteral("Invalid File Extension!\r\n(Choose a Correct File(*.lst or *.bin)");
    return rule;
}

ChooserRule PhoneChooser() {
    ChooserRule rule;
    rule.choice.caption = QStringLiteral("Open");
    rule.choice.defaultSuffix = QStringLiteral("brx");
    rule.choice.filters = {{QStringLiteral("BRX Files(*.brx)"), {"*.brx"}},
                           {QStringLiteral("All Files(*.*)"), {"*"}}};
    rule.extensions = {QStringLiteral(".brx")};
    rule.refusal = QStringLiteral("Invalid File Extension!\r\n(Choose a Correct File(*.brx)");
    return rule;
}

// Asks again after every refused name until the operator picks a fitting one
// or cancels.
std::optional<QString> ChooseFile(QWidget* owner, const ChooserRule& rule) {
    for (;;) {
        std::optional<QString> chosen = controls::Dialogs().OpenFile(owner, rule.choice);
        if (!chosen || HasAllowedExtension(*chosen, rule.extensions))
            return chosen;
        controls::Dialogs().Message(owner, rule.refusal);
    }
}

// The group's title is the same for both rows, and "Phone" labels both a
// button and the option: each control gets a name of its own.
QPushButton* Button(const char* text, const char* name, const char* accessibleName,
                    QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(QString::fromLatin1(accessibleName));
    button->setAutoDefault(false);
    return button;
}

QLineEdit* PathEdit(const std::string& path, const char* name, const char* accessibleName,
                    QWidget* parent) {
    auto* edit = new QLineEdit(QString::fromStdString(path), parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setAccessibleName(QString::fromLatin1(accessibleName));
    // Room for a path as deep as a build tree's, so the sheet opens wide
    // enough to read what it will download.
    constexpr int kPathCharacters = 60;
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * kPathCharacters);
    return edit;
}

} // namespace

CDownloadPage::CDownloadPage(const SheetValues& values, SheetEnvironment environment,
                             QWidget* parent)
    : QWidget(parent), env_(std::move(environment)) {
    auto* files = new QGroupBox(QStringLiteral("Download File Open"), this);
    pdaPath_ = PathEdit(values.downloadPath, "pdaPath", "PDA download file", files);
    phonePath_ = PathEdit(values.phonePackagePath, "phonePath", "Phone package file", files);
    auto* pdaButton = Button("PDA", "pdaButton", "Choose the PDA download file", files);
    auto* phoneButton = Button("Phone", "phoneButton", "Choose the phone package file", files);
    phoneOption_ = new QCheckBox(QStringLiteral("Phone"), files);
    phoneOption_->setObjectName(QStringLiteral("phoneOption"));
    phoneOption_->setChecked((*env_.optionFlags & kOptionPhone) != 0);
    auto* grid = new QGridLayout(files);
    grid->addWidget(pdaButton, 0, 0);
    grid->addWidget(pdaPath_, 0, 1);
    grid->addWidget(phoneButton, 1, 0);
    grid->addWidget(phonePath_, 1, 1);
    grid->addWidget(phoneOption_, 2, 0, 1, 2);

    auto* target = new QGroupBox(QStringLiteral("Download To"), this);
    ram_ = new QRadioButton(QStringLiteral("RAM"), target);
    ram_->setObjectName(QStringLiteral("ram"));
    flash_ = new QRadioButton(QStringLiteral("FLASH"), target);
    flash_->setObjectName(QStringLiteral("flash"));
    (values.downloadTarget == DownloadTarget::Ram ? ram_ : flash_)->setChecked(true);
    auto* targetRow = new QHBoxLayout(target);
    targetRow->addWidget(ram_);
    targetRow->addWidget(flash_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(files);
    layout->addWidget(target);
    layout->addStretch();

    connect(pdaButton, &QPushButton::clicked, this, &CDownloadPage::OnPdaButton);
    connect(phoneButton, &QPushButton::clicked, this, &CDownloadPage::OnPhoneButton);
    // The state, not the click: a keyboard, a screen reader or a test robot
    // toggles the box without clicking it.
    connect(phoneOption_, &QCheckBox::toggled, this, &CDownloadPage::OnPhoneOptionToggled);
}

void CDownloadPage::OnPdaButton() {
    if (std::optional<QString> chosen = ChooseFile(this, PdaChooser()))
        pdaPath_->setText(*chosen);
}

void CDownloadPage::OnPhoneButton() {
    if (std::optional<QString> chosen = ChooseFile(this, PhoneChooser()))
        phonePath_->setText(*chosen);
}

void CDownloadPage::OnPhoneOptionToggled(bool checked) {
    if (checked)
        *env_.optionFlags |= kOptionPhone;
    else
        *env_.optionFlags &= ~kOptionPhone;
}

void CDownloadPage::Apply(SheetValues& values) const {
    values.downloadPath = pdaPath_->text().toStdString();
    values.phonePackagePath = phonePath_->text().toStdString();
    values.downloadTarget = ram_->isChecked() ? DownloadTarget::Ram : DownloadTarget::Flash;
}

} // namespace marlow::pda::ui
