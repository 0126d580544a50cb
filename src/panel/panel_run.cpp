#include "panel/panel_run.h"

#include "app/app_settings.h"
#include "common/input_file.h"
#include "common/path_rules.h"
#include "controls/color_ref.h"
#include "panel/front_panel_dialog.h"
#include "pda/download_plan_check.h"
#include "pda/list_file.h"
#include "phone/phone_package.h"
#include "records/run_inputs.h"

#include <filesystem>

namespace marlow::panel {

using handset::ONLY_PDA_DOWN;
using handset::ONLY_PHONE_DOWN;

namespace {

phone::PhoneEngineSetup PanelEngineSetup(PanelRunSetup& setup, phone::PhoneEventSink& out,
                                         phone::PhoneClock& clock, phone::OwnerThread& owner,
                                         std::function<bool()> selected) {
    phone::PhoneEngineSetup engine;
    engine.owner = phone::PhoneOwner::FrontPanel;
    engine.library = setup.library;
    engine.events = &out;
    engine.clock = &clock;
    engine.ownerThread = &owner;
    engine.ports = setup.ports;
    engine.phoneSelected = std::move(selected);
    return engine;
}

bool IsListPath(const std::string& path) {
    return ToLowerAscii(LastChars(path, 4)) == ".lst";
}

std::optional<std::filesystem::file_time_type> Modified(const std::string& path) {
    std::error_code error;
    const auto modified = std::filesystem::last_write_time(path, error);
    if (error)
        return std::nullopt;
    return modified;
}

} // namespace

PanelRun::PanelRun(CFrontPanelDlg& panel, app::CAppSettings& settings, PanelRunSetup setup)
    : panel_(panel), settings_(settings), setup_(std::move(setup)), context_(*setup_.context),
      handset_(*setup_.handset),
      pdaOutput_(*this, panel.View(), [this](const auto& event) { return OnPdaEvent(event); }),
      phoneOutput_(panel.View(), [this](const auto& event) { OnPhoneEvent(event); }),
      phoneClock_(panel.Clock(), setup_.pause), ownerThread_(&panel) {
    engine_ = std::make_unique<phone::PhoneEngine>(PanelEngineSetup(
        setup_, phoneOutput_, phoneClock_, ownerThread_, [this] { return PhoneRunSelected(); }));
    hotplug::DeviceWatcherOwner& owner = *this;
    watcher_ = std::make_unique<hotplug::CDeviceWatcher>(owner, setup_.timing);
    SyncRunSettings();
    connect(&panel_, &CFrontPanelDlg::downStartPressed, this, &PanelRun::OnButtonDownstart);
    connect(&panel_, &CFrontPanelDlg::stopPressed, this, &PanelRun::OnButtonCancel);
    connect(&panel_, &CFrontPanelDlg::ticked, this, &PanelRun::OnTick);
    connect(&panel_, &CFrontPanelDlg::detectCancel, this, &PanelRun::OnDetectCancel);
    connect(&panel_.TwoLine(), &QDialog::finished, this, [this] { usbWaitTimedOut_ = false; });
    panel_.SetReleaseForExit([this] { return ReleaseForExit(); });
}

// The downloads stop before the words they write have nowhere to go.
PanelRun::~PanelRun() {
    panel_.SetReleaseForExit({});
    StopWatchingModemPort();
    watcher_.reset();
    engine_.reset();
}

bool PanelRun::RunLive() const {
    return stopping_ || panel_.InRunLayout() || PhoneRunSelected() ||
           engine_->Inst().state != phone::stIdle;
}

void PanelRun::AllDone() {
    handset_.End();
}

// The panel downloads the list it names, to flash as the settings say; the
// watcher reads the front-panel mode from here when a device arrives.
void PanelRun::SyncRunSettings() {
    const app::AppSettings& values = settings_.Values();
    pda::PdaSettings pda;
    pda.downloadPath = values.downloadPath;
    pda.target = values.downloadTarget;
    pda.frontPanelMode = true;
    context_.SetSettings(handset_.PdaSettingsFor(pda));
}

// --- Down Start

void PanelRun::OnButtonDownstart() {
    if (RunLive()) {
        Log("Down Start refused: a run is under way");
        return;
    }
    const int selection = panel_.CheckedSelection();
    if (selection == 0) {
        handset_.m_DownSelect = 0;
        panel_.View().MessageBox("Error!\nPlease Select PDA or Phone!", "");
        return;
    }
    if (RefusesStart(selection) || RecordingRefusesStart()) {
        handset_.m_DownSelect = 0;
        return;
    }
    panel_.ClearVerdict();
    handset_.Begin(selection == (ONLY_PDA_DOWN | ONLY_PHONE_DOWN) ? handset::RunMode::Total
                   : selection == ONLY_PDA_DOWN                   ? handset::RunMode::PdaOnly
                                                                  : handset::RunMode::PhoneOnly);
    if (selection & ONLY_PDA_DOWN) {
        Log("OnButtonDownstart m_DownSelect = " + std::to_string(handset_.m_DownSelect));
        if (context_.deviceConnected)
            PdaStart();
        else
            BeginUsbWait();
    }
    // The selection, not m_DownSelect: a PDA download just started may
    // already have handed over and set it to the phone part.
    if (selection == ONLY_PHONE_DOWN && handset_.g_AllDownLoad)
        StartPhoneOnly();
}

// Before anything is flashed: a phone part that cannot run (no download
// library) or would flash files that are not this handset's is refused
// with its reason, rather than after the handset has gone over to its modem.
bool PanelRun::RefusesStart(int selection) {
    bool listHasPhoneGroup = false;
    bool listRead = false;
    const std::string& list = settings_.Values().downloadPath;
    if ((selection & ONLY_PDA_DOWN) && IsListPath(list)) {
        const pda::ListContents contents = pda::ReadListFile(list);
        listRead = contents.read.Ok();
        listHasPhoneGroup = listRead && contents.hasPhoneGroup;
    } else if (selection & ONLY_PDA_DOWN) {
        listRead = static_cast<bool>(InputFile::Open(list));
    }
    const bool phoneTicked = (selection & ONLY_PHONE_DOWN) != 0;
    if ((phoneTicked || listHasPhoneGroup) && PhoneLibraryMissing())
        return true;
    // A list the PDA start cannot read is its matter, with its own words.
    if (selection != (ONLY_PDA_DOWN | ONLY_PHONE_DOWN) || listHasPhoneGroup || !listRead)
        return false;
    const std::string& package = settings_.Values().phonePackagePath;
    if (heldPackage_ && heldPackage_->path == package &&
        heldPackage_->modified == Modified(package))
        return false;
    panel_.SetStatus(QStringLiteral("Phone File Open Error..."), StatusTone::Failed);
    panel_.SetPercent(QString());
    panel_.View().MessageBox(
        list + " names no phone files, and the phone files the panel holds were not read from "
               "the chosen phone package as it is now.\nRead the package with a phone-only "
               "Down Start first, or untick PHONE Path.",
        "");
    return true;
}

bool PanelRun::PhoneLibraryMissing() {
    if (setup_.phoneLibraryProblem.empty())
        return false;
    panel_.SetStatus(QStringLiteral("Phone Download Library Error!"), StatusTone::Failed);
    panel_.SetPercent(QStringLiteral("Install the Download Library"));
    panel_.View().MessageBox("The modem download library could not be loaded, so no phone "
                             "download can run:\n" +
                                 setup_.phoneLibraryProblem,
                             "");
    return true;
}

// A run's record begins with its handset: a wait that no handset ends
// leaves none.
void PanelRun::PdaStart() {
    BeginRecord(handset_.m_DownSelect);
    SyncRunSettings();
    const std::string& list = settings_.Values().downloadPath;
    if (!InputFile::Open(list)) {
        panel_.SetStatus(QStringLiteral("Selected File dosen't exist"), StatusTone::Failed);
        panel_.View().TwoLineMessage("Selected File dosen't exist", "Check selected file",
                                     controls::kColorRefRed);
        panel_.IdleLayout();
        EndRecord(records::RecordVerdict::Failed, records::ErrorClass::Input, records::Half::Pda,
                  "the list cannot be opened");
        return;
    }
    recording_.Slot(arrivedSlot_);
    // The whole list and its images, before the handset is touched: a bad
    // one is refused with the check's reason, not half-way through.
    const Result<pda::DownloadPlan> plan = pda::CheckDownloadPlan(list, {.wholeFiles = true});
    if (!plan) {
        panel_.View().MessageBox(plan.Error(), "");
        panel_.IdleLayout();
        recording_.Inputs({records::InputOf("list", list)});
        EndRecord(records::RecordVerdict::Failed, records::ErrorClass::Input, records::Half::Pda,
                  plan.Error());
        return;
    }
    if (recording_.Live())
        recording_.Inputs(records::InputsOfPlan(list, *plan));
    panel_.SetPdaRunning(true);
    if (!watcher_->StartPdaDownloads()) {
        panel_.SetPdaRunning(false);
        panel_.SetStatus(QStringLiteral("Aborted Download!"), StatusTone::Failed);
        panel_.IdleLayout();
        EndRecord(records::RecordVerdict::Failed, records::ErrorClass::Internal, records::Half::Pda,
                  "the PDA download could not be started");
        return;
    }
    panel_.RunLayout();
}

// --- the wait for the PDA device

void PanelRun::BeginUsbWait() {
    usbTicks_ = 0;
    panel_.Clock().Start(PanelTimer::UsbWait, kUsbWaitPeriod);
    controls::CBlinkMessageDlg& box = panel_.BlinkMessage();
    box.SetText(QStringLiteral("USB Connecting..."));
    box.SetTextColor(controls::FromColorRef(controls::kColorRefBlue));
    box.open();
}

void PanelRun::EndUsbWait() {
    usbTicks_ = 0;
    panel_.Clock().Stop(PanelTimer::UsbWait);
}

void PanelRun::OnUsbWaitTick() {
    if (++usbTicks_ < kUsbWaitTicks)
        return;
    EndUsbWait();
    panel_.BlinkMessage().CloseWait();
    usbWaitTimedOut_ = true;
    panel_.View().TwoLineMessage("USB Cable is not conntected! or", "Key is not Pressed!",
                                 controls::kColorRefRed);
}

// The operator gave up waiting: a planned phone part goes with it.
void PanelRun::OnDetectCancel() {
    Log("else if(message == DETECT_CANCEL)");
    handset_.DropPhoneHalf();
    EndUsbWait();
}

// The connected display is up; an open wait (or its red message) ends and
// the download starts. The red message of a phone port wait is the
// operator's to close: its aborted display follows.
void PanelRun::OnDeviceArrivedMessage() {
    if (usbWaitTimedOut_ && panel_.TwoLine().IsShown()) {
        panel_.TwoLine().CloseWait();
        PdaStart();
    } else if (panel_.BlinkMessage().IsShown()) {
        EndUsbWait();
        panel_.BlinkMessage().CloseWait();
        PdaStart();
    }
}

// --- the phone part

void PanelRun::StartPhoneOnly() {
    BeginRecord(ONLY_PHONE_DOWN);
    panel_.Clock().Stop(PanelTimer::Refresh);
    Log("OnButtonDownstart m_DownSelect = " + std::to_string(handset_.m_DownSelect));
    const std::string& path = settings_.Values().phonePackagePath;
    heldPackage_.reset();
    const phone::PackageLoadResult package = phone::LoadPhonePackage(path, engine_->Files());
    for (const Note& note : package.notes)
        if (note.kind == NoteKind::MessageBox)
            panel_.View().MessageBox(note.text, "");
    if (package.outcome == phone::PackageOutcome::Missing)
        panel_.View().TwoLineMessage("Selected Phone File dosen't exist",
                                     "Check selected Phone file", controls::kColorRefRed);
    if (package.existenceChecked)
        panel_.RunLayout();
    if (!package.Succeeded()) {
        // Nothing runs: back to idle, with the refresh (and its animation).
        panel_.SetStatus(QStringLiteral("Phone File Open Error..."), StatusTone::Failed);
        panel_.IdleLayout();
        AllDone();
        panel_.Clock().Start(PanelTimer::Refresh, kRefreshPeriod);
        recording_.Inputs({records::InputOf("package", path)});
        EndRecord(records::RecordVerdict::Failed, records::ErrorClass::Input, records::Half::Phone,
                  "the phone package cannot be read");
        return;
    }
    heldPackage_ = HeldPackage{path, Modified(path)};
    if (recording_.Live())
        recording_.Inputs(records::InputsOfPhoneFiles(engine_->Files(), path));
    engine_->BeginPanelPortWait();
}

// The refresh tick may have found the port already (it polls as soon as the
// hand-over selected the phone); a run under way is not started again.
void PanelRun::BeginPhonePart() {
    if (PhoneLibraryMissing()) {
        panel_.IdleLayout();
        panel_.SetPdaRunning(false);
        AllDone();
        EndRecord(records::RecordVerdict::Failed, records::ErrorClass::Internal,
                  records::Half::Phone, setup_.phoneLibraryProblem);
        return;
    }
    panel_.RunLayout();
    // A list with no phone group of its own flashes the package's files.
    if (heldPackage_)
        recording_.Inputs(records::InputsOfPhoneFiles(engine_->Files(), heldPackage_->path));
    if (engine_->Inst().state != phone::stIdle)
        return;
    Log("OnButtonDownstart m_DownSelect = " + std::to_string(handset_.m_DownSelect));
    handset_.StartPhoneHalf(*engine_);
}

void PanelRun::OnComplete() {
    Log("OnComplete()+");
    if (panel_.CloseAfterDown()) {
        Log("if(m_CheckClose.GetCheck() == 1)");
        recording_.End();
        panel_.EndPanel();
        return;
    }
    switch (handset_.PdaHandsetLeft()) {
    case handset::AfterPda::Done:
        panel_.ShowPdaSuccess();
        recording_.End();
        break;
    case handset::AfterPda::PhoneHalf:
        Log("else if((m_DownSelect &  ONLY_PHONE_DOWN) && (g_AllDownLoad  == TRUE))");
        BeginPhonePart();
        break;
    case handset::AfterPda::NotHandedOver:
        Log("Downloaded Error Retry!!");
        EndRecord(records::RecordVerdict::Failed, records::ErrorClass::Device, records::Half::Pda,
                  "the PDA download ended without handing over to the modem");
        break;
    }
    Log("OnComplete()-");
}

// The engine has shown its words; the panel ends the run around them.
void PanelRun::OnPhoneEnded(phone::PhoneRunEnd end) {
    switch (end) {
    case phone::PhoneRunEnd::Succeeded:
        EndUsbWait();
        panel_.IdleLayout();
        panel_.SetCounter(QString());
        panel_.SetPdaRunning(false);
        AllDone();
        panel_.View().RunEnded({Verdict::Passed, {}});
        panel_.Clock().Start(PanelTimer::Refresh, kRefreshPeriod);
        return;
    case phone::PhoneRunEnd::Failed:
        // The refresh comes back too, so a later PDA run animates again.
        panel_.ShowPhoneFailure(panel_.StatusText());
        panel_.Clock().Start(PanelTimer::Refresh, kRefreshPeriod);
        return;
    case phone::PhoneRunEnd::PortNotFound:
        handset_.m_DownSelect = 0;
        panel_.Clock().Stop(PanelTimer::Refresh);
        // The aborted display comes once the operator has closed the red
        // message, not behind it.
        if (panel_.TwoLine().IsShown())
            connect(
                &panel_.TwoLine(), &QDialog::finished, this, [this] { panel_.ShowAborted(); },
                Qt::SingleShotConnection);
        else
            panel_.ShowAborted();
        return;
    }
}

void PanelRun::OnPhoneEvent(const phone::PhoneRunEvent& event) {
    if (std::holds_alternative<phone::PortWaitEnded>(event)) {
        portTaken_ = true;
        WatchModemPort();
        recording_.ModemPort(engine_->Port());
    }
    recording_.Post(event);
    const auto* finished = std::get_if<RunFinished>(&event);
    if (finished != nullptr) {
        portTaken_ = false;
        StopWatchingModemPort();
    }
    const std::optional<phone::PhoneRunEnd> end = phoneEnds_.Follow(event);
    if (finished != nullptr && finished->verdict == Verdict::DeviceRemoved)
        ShowPhonePartRemoved();
    else if (end)
        OnPhoneEnded(*end);
}

bool PanelRun::OnPdaEvent(const pda::PdaEvent& event) {
    if (std::holds_alternative<pda::PhoneFileListed>(event)) {
        // The list names phone files: those the panel holds are no longer the
        // package's (the hand-over brings the list's).
        heldPackage_.reset();
    } else if (const auto* finished = std::get_if<RunFinished>(&event)) {
        OnPdaFinished(*finished);
    } else if (const auto* connected = std::get_if<pda::DeviceConnected>(&event);
               connected != nullptr && connected->opened && RunLive()) {
        // Not this run's handset: it waits for the next Down Start, and the
        // run's words stay.
        Log("Device Connected! (kept for the next run)");
        return false;
    }
    recording_.Post(event);
    return true;
}

// A PDA run that failed keeps its words; the status line turns red. Its
// end comes with the handset's removal. A stop's verdict is the aborted
// display, once the handset has gone.
void PanelRun::OnPdaFinished(const RunFinished& finished) {
    if (!stopping_ && finished.verdict != Verdict::Passed)
        panel_.View().RunEnded(finished);
}

// The hand-over's files join the panel's one set as the phone half is selected.
void PanelRun::OnPdaHalfEnded(const pda::PdaRunOutcome& outcome) {
    if (handset_.PdaHalfEnded(outcome))
        handset_.TakeHandedOverFiles(engine_->Files());
}

// --- Stop and close

void PanelRun::OnButtonCancel() {
    const int selection = handset_.m_DownSelect;
    if (selection & ONLY_PDA_DOWN) {
        Log("if(m_DownSelect &  ONLY_PDA_DOWN)");
        context_.flashWriting = false;
        stopping_ = true;
        panel_.ShowStopping();
        const bool released = watcher_->OnServiceDlgCancel();
        panel_.SetCounter(QString());
        if (!released)
            panel_.View().MessageBox("USB Unload Failed!\nRemove USB Cable!", "");
        // A download under way tells its own end once the handset has gone.
        if (!panel_.PdaRunning())
            EndRecord(records::RecordVerdict::Stopped, records::ErrorClass::OperatorStop,
                      records::Half::Pda);
    }
    // A stop reads the same in both parts: the engine's "Ready", then the
    // aborted display (which also brings the refresh back).
    if ((selection & ONLY_PHONE_DOWN) && handset_.g_AllDownLoad) {
        engine_->StopPanelRun();
        EndRecord(records::RecordVerdict::Stopped, records::ErrorClass::OperatorStop,
                  records::Half::Phone);
        Log("OnButtonCancel - OK!!");
        panel_.ShowAborted();
    }
    AllDone();
}

bool PanelRun::ReleaseForExit() {
    stopping_ = true;
    return watcher_->OnServiceDlgExit();
}

// --- timers

void PanelRun::OnTick(PanelTimer timer) {
    switch (timer) {
    case PanelTimer::UsbWait:
        return OnUsbWaitTick();
    case PanelTimer::Refresh:
        return engine_->OnTimer(phone::PhoneTimer::PortPoll);
    case PanelTimer::BootWatchdog:
        return engine_->OnTimer(phone::PhoneTimer::BootWatchdog);
    }
}

} // namespace marlow::panel
