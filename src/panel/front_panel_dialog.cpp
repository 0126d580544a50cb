#include "panel/front_panel_dialog.h"

#include "app/app_settings.h"
#include "app/file_information.h"
#include "controls/animation_frames.h"
#include "controls/color_label.h"
#include "controls/color_ref.h"
#include "controls/dialog_service.h"
#include "controls/key_rule.h"
#include "controls/readout_label.h"
#include "panel/flash_animation.h"
#include "panel/front_panel_widget_view.h"
#include "panel/panel_skin.h"
#include "panel/path_label.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace marlow::panel {

namespace {

constexpr int kCounterCharHeight = 12;
const QColor kPassedColour(30, 130, 60);
const QColor kFailedColour(190, 30, 30);

std::string ProgramFolder(const std::string& given) {
    if (!given.empty())
        return given;
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QDir::separator())
        .toStdString();
}

// The list beside the program, or the one MARLOW_PANEL_LIST names.
std::string PanelListPath(const std::string& programFolder) {
    const QByteArray named = qgetenv("MARLOW_PANEL_LIST");
    if (!named.isEmpty())
        return named.toStdString();
    return ProgramFolder(programFolder) + kPanelListName;
}

} // namespace

CFrontPanelDlg::CFrontPanelDlg(app::CAppSettings& settings, PanelSetup setup, QWidget* parent)
    : QDialog(parent), settings_(settings), setup_(std::move(setup)),
      allDownLoad_(setup_.flags.g_AllDownLoad ? *setup_.flags.g_AllDownLoad : ownAllDownLoad_),
      downSelect_(setup_.flags.m_DownSelect ? *setup_.flags.m_DownSelect : ownDownSelect_),
      flashWriting_(setup_.flags.flashWriting ? *setup_.flags.flashWriting : ownFlashWriting_),
      view_(std::make_unique<FrontPanelWidgetView>(*this)) {
    if (!setup_.clock)
        ownClock_ = MakeQtPanelClock();
    clock_ = setup_.clock ? setup_.clock : ownClock_.get();
    clock_->SetTickHandler([this](PanelTimer timer) { OnTick(timer); });

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->setSizeConstraint(QLayout::SetFixedSize);
    column->addWidget(BuildFace());
    column->addWidget(BuildStationSetup());
    blink_ = new controls::CBlinkMessageDlg(this);
    twoLine_ = new controls::CTwoLineMessageDlg(this);
    connect(blink_, &controls::CBlinkMessageDlg::detectCancel, this, &CFrontPanelDlg::detectCancel);
    new controls::KeyRule(*this);
    Initialise();
}

CFrontPanelDlg::~CFrontPanelDlg() {
    clock_->SetTickHandler({});
}

// In the order the panel has always opened: settings first, then the
// selection, the list beside the program, the timer and the first words.
void CFrontPanelDlg::Initialise() {
    setWindowIcon(PanelWindowIcon());
    settings_.WriteUsbDownloader("0");
    settings_.LoadSaveSettings(app::SETTINGS_LOAD);
    app::AppSettings& values = settings_.Values();
    pdaPath_->SetPath(QString::fromStdString(values.downloadPath));
    phonePath_->SetPath(QString::fromStdString(values.phonePackagePath));
    ShowFileInformation();

    AllDone();
    if (setup_.flags.clearPhoneUsbWait)
        setup_.flags.clearPhoneUsbWait();
    pdaCheck_->setChecked(true);
    phoneCheck_->setChecked(false);

    values.downloadPath = PanelListPath(setup_.programFolder);
    pdaPath_->SetPath(QString::fromStdString(values.downloadPath));
    Log(QStringLiteral("Download list: ") + pdaPath_->text());

    animationFrame_ = 0;
    clock_->Start(PanelTimer::Refresh, kRefreshPeriod);
    SetStatus(QStringLiteral("Device Disconnected!"));
    SetPercent(QString());
    stop_->setEnabled(false);

    setWindowTitle(QString::fromLatin1(kPanelTitle));
    counter_->SetBold(true);
    counter_->SetCharHeight(kCounterCharHeight);
    counter_->SetForeColor(controls::FromColorRef(controls::kColorRefBlue));
}

void CFrontPanelDlg::ShowFileInformation() {
    const app::FrontPanelFileInformation shown =
        app::ShowFileInformationOnPanel(app::ReadFileFacts(settings_.Values().downloadPath));
    if (shown.messageBox)
        Message(QString::fromStdString(*shown.messageBox));
    if (!shown.texts)
        return;
    fileSize_->setText(QString::fromStdString(shown.texts->size));
    fileTime_->setText(QString::fromStdString(shown.texts->dateTime));
    fileModel_->setText(QString::fromStdString(shown.texts->model));
    fileVersion_->setText(QString::fromStdString(shown.texts->version));
}

// --- layouts and displays

void CFrontPanelDlg::IdleLayout() {
    SetLayout(true);
}

void CFrontPanelDlg::RunLayout() {
    SetLayout(false);
}

void CFrontPanelDlg::SetLayout(bool idle) {
    for (QWidget* control : std::initializer_list<QWidget*>{downStart_, pdaOpen_, phoneOpen_,
                                                            mpToolSet_, pdaCheck_, phoneCheck_})
        control->setEnabled(idle);
    stop_->setEnabled(!idle);
    runLayout_ = !idle;
    (idle ? downStart_ : stop_)->setFocus();
}

void CFrontPanelDlg::EndRunDisplay() {
    IdleLayout();
    SetCounter(QString());
    pdaRunning_ = false;
}

void CFrontPanelDlg::AllDone() {
    allDownLoad_.store(true);
    downSelect_.store(0);
}

void CFrontPanelDlg::ShowConnected() {
    SetStatus(QStringLiteral("Device Connected!"));
    SetPercent(QString());
    EnableDownStart();
    SetProgress(0);
}

// A handset that leaves during a run has ended that run.
void CFrontPanelDlg::ShowDisconnected() {
    SetStatus(QStringLiteral("Device Disconnected!"),
              pdaRunning_ || runLayout_ ? StatusTone::Failed : StatusTone::Plain);
    SetPercent(QStringLiteral("Reconnect Device to Retry!"));
    SetProgress(0);
    EndRunDisplay();
}

void CFrontPanelDlg::ShowAborted() {
    SetStatus(QStringLiteral("Aborted Download!"), StatusTone::Failed);
    SetPercent(QStringLiteral("Reconnect Device to Retry!"));
    SetProgress(0);
    EndRunDisplay();
    if (setup_.flags.clearPhoneUsbWait)
        setup_.flags.clearPhoneUsbWait();
    clock_->Start(PanelTimer::Refresh, kRefreshPeriod);
}

void CFrontPanelDlg::ShowPdaSuccess() {
    SetStatus(QStringLiteral("Download Successfully!"), StatusTone::Passed);
    SetPercent(QStringLiteral("Bye!"));
    Log(QStringLiteral("Download Successfully!"));
    SetCurrentFile(QString());
    EndRunDisplay();
    AllDone();
}

void CFrontPanelDlg::ShowPhoneSuccess() {
    SetStatus(QStringLiteral("Phone Download Successfully!"), StatusTone::Passed);
    SetPercent(QStringLiteral("Bye!"));
    Log(QStringLiteral("Phone Download Successfully!"));
    SetCurrentFile(QString());
    EndRunDisplay();
    AllDone();
    clock_->Stop(PanelTimer::UsbWait);
    Message(QStringLiteral("PDA & Phone Download Successfully~!!"),
            QStringLiteral("Download Complete!!"));
    clock_->Start(PanelTimer::Refresh, kRefreshPeriod);
}

// The bar goes back to 0 with the failure: a full bar beside "Fail!" would
// read as half a success.
void CFrontPanelDlg::ShowPhoneFailure(const QString& label) {
    SetStatus(label, StatusTone::Failed);
    SetStatus(QStringLiteral("Phone Downloaded Fail!"), StatusTone::Failed);
    SetPercent(QStringLiteral("Retry!"));
    SetCurrentFile(QString());
    SetProgress(0);
    IdleLayout();
    SetCounter(QString());
    AllDone();
}

// The release can outlast a flash write (tens of seconds on a handset):
// the operator sees at once that the stop is under way and that pressing
// again does nothing more. The verdict comes once the handset has gone.
void CFrontPanelDlg::ShowStopping() {
    SetStatus(QStringLiteral("Stopping..."));
    SetPercent(QStringLiteral("Wait for the Device to Leave"));
    stop_->setEnabled(false);
    downStart_->setEnabled(false);
}

void CFrontPanelDlg::ClearVerdict() {
    SetStatus(QString());
    SetPercent(QString());
    SetCurrentFile(QString());
    SetCounter(QString());
    SetProgress(0);
}

int CFrontPanelDlg::CheckedSelection() const {
    return (pdaCheck_->isChecked() ? 1 : 0) | (phoneCheck_->isChecked() ? 2 : 0);
}

bool CFrontPanelDlg::CloseAfterDown() const {
    return closeAfter_->isChecked();
}

void CFrontPanelDlg::EndPanel() {
    done(0);
}

// During a PDA run the panel stays until the owner has released the handset
// and it has gone; the owner then ends it.
void CFrontPanelDlg::reject() {
    if (!pdaRunning_) {
        QDialog::reject();
        return;
    }
    clock_->Stop(PanelTimer::Refresh);
    ShowStopping();
    if (setup_.releaseForExit && !setup_.releaseForExit())
        Message(QStringLiteral("USB Unload Failed!\nRemove USB Cable!"));
    AllDone();
}

// --- a run's words

void CFrontPanelDlg::SetStatus(const QString& text, StatusTone tone) {
    tone_ = tone;
    switch (tone) {
    case StatusTone::Plain:
        status_->SetBackColor(palette().color(QPalette::Base));
        status_->SetForeColor(palette().color(QPalette::Text));
        break;
    case StatusTone::Passed:
        status_->SetBackColor(kPassedColour);
        status_->SetForeColor(Qt::white);
        break;
    case StatusTone::Failed:
        status_->SetBackColor(kFailedColour);
        status_->SetForeColor(Qt::white);
        break;
    }
    controls::SetReadout(*status_, text);
}

QString CFrontPanelDlg::StatusText() const {
    return status_->text();
}

void CFrontPanelDlg::SetPercent(const QString& text) {
    controls::SetReadout(*percent_, text);
}

void CFrontPanelDlg::SetCurrentFile(const QString& text) {
    controls::SetReadout(*currentFile_, text);
}

void CFrontPanelDlg::SetCounter(const QString& text) {
    controls::SetReadout(*counter_, text);
}

void CFrontPanelDlg::SetProgressRange(int low, int high) {
    progress_->setRange(low, high);
}

void CFrontPanelDlg::SetProgress(int position) {
    progress_->setValue(position);
}

void CFrontPanelDlg::EnableStop() {
    stop_->setEnabled(true);
}

void CFrontPanelDlg::EnableDownStart() {
    if (runLayout_)
        return;
    downStart_->setEnabled(true);
    pdaOpen_->setEnabled(true);
    downStart_->setFocus();
}

void CFrontPanelDlg::Log(const QString& text) {
    log_->addItem(text);
    log_->setCurrentRow(log_->count() - 1);
}

void CFrontPanelDlg::ClearLog() {
    log_->clear();
}

void CFrontPanelDlg::Message(const QString& text, const QString& caption) {
    if (caption.isEmpty())
        controls::Dialogs().Message(this, text);
    else
        controls::Dialogs().Message(this, text, caption);
}

void CFrontPanelDlg::TwoLineMessage(const QString& first, const QString& second,
                                    const QColor& colour) {
    twoLine_->SetTexts(first, second);
    twoLine_->SetTextColor(colour);
    twoLine_->open();
}

FrontPanelView& CFrontPanelDlg::View() {
    return *view_;
}

// --- timers

// Every window timer's tick first animates (or clears) the flash write.
void CFrontPanelDlg::OnTick(PanelTimer timer) {
    if (timer != PanelTimer::UsbWait)
        AnimateFlashWrite();
    emit ticked(timer);
}

void CFrontPanelDlg::AnimateFlashWrite() {
    if (!flashWriting_.load()) {
        animation_->Clear();
        return;
    }
    animation_->ShowFrame(animationFrame_);
    animationFrame_ = (animationFrame_ + 1) % controls::kAnimationFrameCount;
}

std::optional<int> CFrontPanelDlg::ShownAnimationFrame() const {
    return animation_->Frame();
}

// --- station set-up

void CFrontPanelDlg::ShowStationSetup(bool shown) {
    setupToggle_->setChecked(shown);
    setupToggle_->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
    setupPane_->setVisible(shown);
}

bool CFrontPanelDlg::StationSetupShown() const {
    return !setupPane_->isHidden();
}

} // namespace marlow::panel
