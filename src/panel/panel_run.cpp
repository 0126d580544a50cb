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

phone::PhoneEngineSetup PanelEngineSetup(const PanelRunSetup& setup, phone::PhoneClock& clock,
                                         phone::OwnerThread& owner) {
    phone::PhoneEngineSetup engine;
    engine.owner = phone::PhoneOwner::FrontPanel;
    engine.library = setup.library;
    engine.clock = &clock;
    engine.ownerThread = &owner;
    engine.ports = setup.ports;
    return engine;
}

handset::RunMode ModeOf(int selection) {
    return selection == (ONLY_PDA_DOWN | ONLY_PHONE_DOWN) ? handset::RunMode::Total
           : selection == ONLY_PDA_DOWN                   ? handset::RunMode::PdaOnly
                                                          : handset::RunMode::PhoneOnly;
}

bool IsListPath(const std::string& path) {
    return ToLowerAscii(LastChars(path, 4)) == ".lst";
}

bool ListHandsOver(const std::string& list) {
    if (!IsListPath(list))
        return false;
    const pda::ListContents contents = pda::ReadListFile(list);
    return contents.read.Ok() && contents.hasPhoneGroup;
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
      handset_(*setup_.handset), pdaOutput_(panel.View()), phoneOutput_(panel.View()),
      phoneClock_(panel.Clock(), setup_.pause), ownerThread_(&panel),
      phone_(PanelEngineSetup(setup_, phoneClock_, ownerThread_)) {
    context_.deviceConnected = false; // until a boot loader has opened
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
    held_.reset();
    live_.reset();
}

std::unique_ptr<PanelRun::Handset> PanelRun::MakeHandset(std::string devicePath, std::string slot,
                                                         handset::WholeRunSetup setup) {
    auto made = std::make_unique<Handset>(*this, std::move(devicePath), std::move(slot));
    setup.phone = &phone_;
    setup.ownerThread = &ownerThread_;
    setup.events = made.get();
    made->run = std::make_unique<handset::WholeRun>(std::move(setup));
    return made;
}

bool PanelRun::RunLive() const {
    return stopping_ || panel_.InRunLayout() || phonePart_ ||
           phone_.Engine().Inst().state != phone::stIdle;
}

void PanelRun::AllDone() {
    handset_.End();
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
    selection_ = selection;
    handset_.Begin(ModeOf(selection));
    if (selection & ONLY_PDA_DOWN) {
        Log("OnButtonDownstart m_DownSelect = " + std::to_string(handset_.m_DownSelect));
        if (held_ && held_->connected)
            PdaStart();
        else
            BeginUsbWait();
    }
    if (selection == ONLY_PHONE_DOWN)
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
        listHasPhoneGroup = ListHandsOver(list);
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
// leaves none. The handset waiting on the bus becomes the run on show.
void PanelRun::PdaStart() {
    const std::string& list = settings_.Values().downloadPath;
    // A list whose phone group hands the handset over makes the run a Total
    // one, whatever is ticked: so is it recorded.
    BeginRecord(ListHandsOver(list) ? ONLY_PDA_DOWN | ONLY_PHONE_DOWN
                                    : handset_.m_DownSelect.load());
    if (!InputFile::Open(list)) {
        panel_.SetStatus(QStringLiteral("Selected File dosen't exist"), StatusTone::Failed);
        panel_.View().TwoLineMessage("Selected File dosen't exist", "Check selected file",
                                     controls::kColorRefRed);
        panel_.IdleLayout();
        EndRecord(records::RecordVerdict::Failed, records::ErrorClass::Input, records::Half::Pda,
                  "the list cannot be opened");
        return;
    }
    recording_.Slot(held_->slot);
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
    live_ = std::move(held_);
    live_->started = true;
    const app::AppSettings& values = settings_.Values();
    // A list with a phone group hands the handset over to its modem, and
    // the phone part follows, whatever was ticked.
    live_->run->Go(plan->hasPhoneGroup ? handset::RunMode::Total : ModeOf(selection_),
                   {.downloadPath = values.downloadPath, .target = values.downloadTarget},
                   PhoneEngine().Files());
    if (!live_->finished)
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
    if (!held_ || !held_->connected)
        return;
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
    const phone::PackageLoadResult package = phone::LoadPhonePackage(path, PhoneEngine().Files());
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
        recording_.Inputs(records::InputsOfPhoneFiles(PhoneEngine().Files(), path));
    live_ = MakeHandset({}, {},
                        {.mode = handset::RunMode::PhoneOnly, .phoneFiles = PhoneEngine().Files()});
    live_->started = true;
    live_->onBus = false;
    phonePart_ = true;
    live_->run->Start(nullptr);
}

// --- Stop and close

// A stop reads the same in both parts: the aborted display (which also
// brings the refresh back); in the PDA part once the handset has gone.
void PanelRun::OnButtonCancel() {
    const bool running = live_ && live_->run && !live_->run->Finished();
    if (phonePart_) {
        if (running)
            live_->run->Abandon({Verdict::Stopped, ""});
        Log("OnButtonCancel - OK!!");
        panel_.ShowAborted();
    } else if (handset_.m_DownSelect & ONLY_PDA_DOWN) {
        Log("if(m_DownSelect &  ONLY_PDA_DOWN)");
        context_.flashWriting = false;
        panel_.ShowStopping();
        Log("case SERVICE_DLG_CANCEL:");
        panel_.SetCounter(QString());
        if (live_ && live_->onBus) {
            stopping_ = true;
            if (running)
                live_->run->Abandon({Verdict::Stopped, ""});
        } else {
            EndRecord(records::RecordVerdict::Stopped, records::ErrorClass::OperatorStop,
                      records::Half::Pda);
            panel_.ShowAborted();
        }
    }
    AllDone();
}

// The close waits for the run's handset to leave, as Stop does; the
// handsets waiting for the next run are told to leave too.
bool PanelRun::ReleaseForExit() {
    Log("case SERVICE_DLG_EXIT:");
    exiting_ = true;
    if (held_)
        held_->run->Abandon({Verdict::Stopped, ""});
    if (live_ && live_->run && !live_->run->Finished() && live_->onBus) {
        stopping_ = true;
        live_->run->Abandon({Verdict::Stopped, ""});
        return true;
    }
    if (live_ && live_->run && !live_->run->Finished())
        live_->run->Abandon({Verdict::Stopped, ""});
    if (setup_.stopWatch)
        setup_.stopWatch();
    panel_.EndPanel();
    return true;
}

// --- timers

void PanelRun::OnTick(PanelTimer timer) {
    switch (timer) {
    case PanelTimer::UsbWait:
        return OnUsbWaitTick();
    case PanelTimer::Refresh:
        return PhoneEngine().OnTimer(phone::PhoneTimer::PortPoll);
    case PanelTimer::BootWatchdog:
        return PhoneEngine().OnTimer(phone::PhoneTimer::BootWatchdog);
    }
}

} // namespace marlow::panel
