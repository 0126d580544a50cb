#include "stamp/ui/model_version_dialog.h"

#include "controls/dialog_service.h"
#include "stamp/stamp_operations.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace marlow::stamp::ui {

namespace {

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

// The two groups repeat their labels, so a screen reader gets a name that
// says which of the two fields it is on.
QLineEdit* Edit(const char* name, const char* accessibleName, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setAccessibleName(QString::fromLatin1(accessibleName));
    return edit;
}

std::string Latin1(const QLineEdit* edit, int maxLength) {
    return edit->text().left(maxLength).toLatin1().toStdString();
}

} // namespace

CModelVersionDlg::CModelVersionDlg(std::function<void()> onClose, QWidget* parent)
    : QDialog(parent), onClose_(std::move(onClose)) {
    setWindowTitle(QStringLiteral("Model & Version Setting"));
    setFont(QFont(QStringLiteral("Microsoft Sans Serif"), 9));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildSourceGroup());
    layout->addWidget(BuildInsertGroup());
    auto* lower = new QHBoxLayout;
    lower->addWidget(BuildRunGroup());
    lower->addWidget(BuildVerificationGroup());
    layout->addLayout(lower);

    close_ = Button("CLOSE", "closeButton", this);
    close_->setDefault(true);
    connect(close_, &QPushButton::clicked, this, &CModelVersionDlg::OnCloseButton);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch();
    closeRow->addWidget(close_);
    layout->addLayout(closeRow);
}

QWidget* CModelVersionDlg::BuildSourceGroup() {
    auto* group = new QGroupBox(QStringLiteral("Source file"), this);
    path_ = Edit("pathEdit", "Source file", group);
    path_->setMaxLength(259);
    auto* open = Button("File open", "fileOpenButton", group);
    connect(open, &QPushButton::clicked, this, &CModelVersionDlg::OnFileOpen);
    auto* row = new QHBoxLayout(group);
    row->addWidget(path_, 1);
    row->addWidget(open);
    return group;
}

QWidget* CModelVersionDlg::BuildInsertGroup() {
    auto* group = new QGroupBox(QStringLiteral("Insert Image Info."), this);
    model_ = Edit("modelEdit", "MODEL Name to insert", group);
    model_->setMaxLength(static_cast<int>(kMaxModelLength));
    version_ = Edit("versionEdit", "Version to insert", group);
    version_->setMaxLength(static_cast<int>(kMaxVersionLength));
    connect(model_, &QLineEdit::textChanged, this, [this] { CheckField(model_, true); });
    connect(version_, &QLineEdit::textChanged, this, [this] { CheckField(version_, false); });

    auto* form = new QFormLayout(group);
    form->addRow(new QLabel(QStringLiteral("Enter the MODEL Name"), group));
    form->addRow(QStringLiteral("MODEL Name"), model_);
    form->addRow(new QLabel(QStringLiteral("Enter the Version"), group));
    form->addRow(QStringLiteral("Version"), version_);
    return group;
}

QWidget* CModelVersionDlg::BuildRunGroup() {
    auto* group = new QGroupBox(QStringLiteral("Run"), this);
    auto* insert = Button("INSERT", "insertButton", group);
    auto* verify = Button("VERIFY", "verifyButton", group);
    connect(insert, &QPushButton::clicked, this, &CModelVersionDlg::OnInsert);
    connect(verify, &QPushButton::clicked, this, &CModelVersionDlg::OnVerify);
    auto* column = new QVBoxLayout(group);
    column->addWidget(insert);
    column->addWidget(verify);
    return group;
}

QWidget* CModelVersionDlg::BuildVerificationGroup() {
    auto* group = new QGroupBox(QStringLiteral("Verification"), this);
    foundModel_ = Edit("foundModel", "Verified MODEL Name", group);
    foundVersion_ = Edit("foundVersion", "Verified Version", group);
    foundModel_->setReadOnly(true);
    foundVersion_->setReadOnly(true);
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("MODEL Name"), foundModel_);
    form->addRow(QStringLiteral("Version"), foundVersion_);
    return group;
}

void CModelVersionDlg::OnFileOpen() {
    controls::FileChoice choice;
    choice.caption = QStringLiteral("Open");
    choice.defaultSuffix = QStringLiteral("nb0");
    choice.filters = {
        {QStringLiteral("Image Files (*.nb0, *.bin)"), {"*.nb0", "*.bin"}},
        {QStringLiteral("List Files (*.lst)"), {"*.lst"}},
        {QStringLiteral("All Files (*.*)"), {"*"}},
    };
    const std::optional<QString> chosen = controls::Dialogs().OpenFile(this, choice);
    path_->setText(chosen.value_or(QString()));
}

// The stamp is written only when both fields pass the typing check: a bad
// character would leave a tail that no reader takes for a stamp.
void CModelVersionDlg::OnInsert() {
    if (!CheckField(model_, true) || !CheckField(version_, false))
        return;
    const std::string path = path_->text().toStdString();
    const std::string model = Latin1(model_, kMaxModelLength);
    const std::string version = Latin1(version_, kMaxVersionLength);
    const InsertFinished recorded = recordInsert_ ? recordInsert_(path) : InsertFinished();
    const TrailerWrite written = InsertStamp(path, model, version);
    if (recorded)
        recorded(model, version,
                 written.status == TrailerStatus::Ok ? Status{} : Status{Failure{written.error}});
    if (written.status != TrailerStatus::Ok)
        controls::Dialogs().Message(this, QString::fromStdString(written.error));
}

void CModelVersionDlg::OnVerify() {
    const Result<Stamp> found = VerifyStamp(path_->text().toStdString());
    if (!found) {
        controls::Dialogs().Message(this, QString::fromStdString(found.Error()));
        return;
    }
    foundModel_->setText(QString::fromLatin1(found->model));
    foundVersion_->setText(QString::fromLatin1(found->version));
}

void CModelVersionDlg::OnCloseButton() {
    if (onClose_)
        onClose_();
    accept();
}

// The bad character stays for the operator to replace; it is only selected
// so that typing over it replaces exactly that one.
bool CModelVersionDlg::CheckField(QLineEdit* edit, bool model) {
    const std::string text = edit->text().toLatin1().toStdString();
    const std::optional<TypingProblem> problem =
        CheckTyping(model ? StampField::Model : StampField::Version, text);
    if (!problem)
        return true;
    controls::Dialogs().Message(this, QString::fromLatin1(problem->message));
    edit->setFocus();
    edit->setSelection(static_cast<int>(problem->index), 1);
    return false;
}

} // namespace marlow::stamp::ui
