#include "panel/panel_run.h"

#include "app/app_settings.h"
#include "common/input_file.h"
#include "controls/color_ref.h"
#include "panel/front_panel_dialog.h"
#include "phone/phone_package.h"

namespace marlow::panel {

using pda::ONLY_PDA_DOWN;
using pda::ONLY_PHONE_DOWN;

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
    engine.allDownLoad = &setup.context->g_AllDownLoad;
    return engine;
}

} // namespace

PanelRun::PanelRun(CFrontPanelDlg& panel, app::CAppSettings& settings, PanelRunSetup setup)
    : panel_(panel), settings_(settings), setup_(std::move(setup)), context_(*setup_.context),
      pdaOutput_(*this, panel.View(), [this](const auto& event) { OnPdaFinished(event); }),
      phoneOutput_(panel.View(), [this](phone::PhoneRunEnd end) { OnPhoneEnded(end); }),
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
    panel_.SetReleaseForExit([this] { return ReleaseForExit(); });
}

// The downloads stop before the words they write have nowhere to go.
PanelRun::~PanelRun() {
    panel_.SetReleaseForExit({});
    watcher_.reset();
    engine_.reset();
}

bool PanelRun::PhoneRunSelected() const {
    return (context_.m_DownSelect & ONLY_PHONE_DOWN) != 0 && context_.g_AllDownLoad;
}

// The panel downloads the list it names, to flash as the settings say; the
// watcher reads the front-panel mode from here when a device arrives.
void PanelRun::SyncRunSettings() {
    const app::AppSettings& values = settings_.Values();
    pda::PdaSettings pda;
    pda.downloadPath = values.downloadPath;
    pda.target = values.downloadTarget == app::kDownloadToRam ? pda::DownloadTarget::Ram
                                                              : pda::DownloadTarget::Flash;
    pda.frontPanelMode = true;
    context_.SetSettings(pda);
}

// --- Down Start

void PanelRun::OnButtonDownstart() {
    const int selection = panel_.CheckedSelection();
    context_.m_DownSelect = selection;
    if (selection == 0) {
        panel_.View().MessageBox("Error!\nPlease Select PDA or Phone!", "");
        return;
    }
    if (selection & ONLY_PDA_DOWN) {
        if (selection == (ONLY_PDA_DOWN | ONLY_PHONE_DOWN)) {
            context_.m_DownSelect = ONLY_PDA_DOWN;
            context_.g_AllDownLoad = false; // a phone part is to follow
        }
        Log("OnButtonDownstart m_DownSelect = " + std::to_string(context_.m_DownSelect));
        if (context_.deviceConnected)
            PdaStart();
        else
            BeginUsbWait();
    }
    if ((context_.m_DownSelect & ONLY_PHONE_DOWN) && context_.g_AllDownLoad)
        StartPhoneOnly();
}

void PanelRun::PdaStart() {
    context_.cancelled = false;
    SyncRunSettings();
    const std::string& list = settings_.Values().downloadPath;
    if (!InputFile::Open(list)) {
        panel_.SetStatus(QStringLiteral("Selected File dosen't exist"), StatusTone::Failed);
        panel_.View().TwoLineMessage("Selected File dosen't exist", "Check selected file",
                                     controls::kColorRefRed);
        panel_.IdleLayout();
        return;
    }
    phoneFilesFromList_ = true;
    panel_.SetPdaRunning(true);
    if (!watcher_->StartPdaDownloads()) {
        panel_.SetPdaRunning(false);
        panel_.SetStatus(QStringLiteral("Aborted Download!"), StatusTone::Failed);
        panel_.IdleLayout();
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
    panel_.View().TwoLineMessage("USB Cable is not conntected! or", "Key is not Pressed!",
                                 controls::kColorRefRed);
}

// The operator gave up waiting: a planned phone part goes with it.
void PanelRun::OnDetectCancel() {
    Log("else if(message == DETECT_CANCEL)");
    context_.g_AllDownLoad = true;
    EndUsbWait();
}

// The connected display is up; an open wait (or its red message) ends and
// the download starts.
void PanelRun::OnDeviceArrivedMessage() {
    if (panel_.TwoLine().IsShown()) {
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
    panel_.Clock().Stop(PanelTimer::Refresh);
    Log("OnButtonDownstart m_DownSelect = " + std::to_string(context_.m_DownSelect));
    phoneFilesFromList_ = false;
    const phone::PackageLoadResult package =
        phone::LoadPhonePackage(settings_.Values().phonePackagePath, engine_->Files());
    for (const Note& note : package.notes)
        if (note.kind == NoteKind::MessageBox)
            panel_.View().MessageBox(note.text, "");
    if (package.existenceChecked)
        panel_.RunLayout();
    if (!package.Succeeded()) {
        // Nothing runs: back to idle, with the refresh (and its animation).
        panel_.SetStatus(QStringLiteral("Phone File Open Error..."), StatusTone::Failed);
        panel_.IdleLayout();
        context_.g_AllDownLoad = true;
        context_.m_DownSelect = 0;
        panel_.Clock().Start(PanelTimer::Refresh, kRefreshPeriod);
        return;
    }
    engine_->BeginPanelPortWait();
}

// The refresh tick may have found the port already (it polls as soon as the
// hand-over selected the phone); a run under way is not started again.
void PanelRun::BeginPhonePart() {
    if (phoneFilesFromList_ && engine_->Inst().state == phone::stIdle)
        engine_->Files() = context_.PhoneFiles();
    panel_.RunLayout();
    if (engine_->Inst().state != phone::stIdle)
        return;
    Log("OnButtonDownstart m_DownSelect = " + std::to_string(context_.m_DownSelect));
    engine_->BeginPanelPortWait();
}

void PanelRun::OnComplete() {
    Log("OnComplete()+");
    if (panel_.CloseAfterDown()) {
        Log("if(m_CheckClose.GetCheck() == 1)");
        panel_.EndPanel();
        return;
    }
    if ((context_.m_DownSelect & ONLY_PDA_DOWN) && context_.g_AllDownLoad) {
        panel_.ShowPdaSuccess();
    } else if (PhoneRunSelected()) {
        Log("else if((m_DownSelect &  ONLY_PHONE_DOWN) && (g_AllDownLoad  == TRUE))");
        BeginPhonePart();
    } else {
        Log("Downloaded Error Retry!!");
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
        context_.g_AllDownLoad = true;
        context_.m_DownSelect = 0;
        panel_.View().RunEnded({Verdict::Passed, {}});
        panel_.Clock().Start(PanelTimer::Refresh, kRefreshPeriod);
        return;
    case phone::PhoneRunEnd::Failed:
        // The refresh comes back too, so a later PDA run animates again.
        panel_.ShowPhoneFailure(panel_.StatusText());
        panel_.Clock().Start(PanelTimer::Refresh, kRefreshPeriod);
        return;
    case phone::PhoneRunEnd::PortNotFound:
        context_.m_DownSelect = 0;
        panel_.Clock().Stop(PanelTimer::Refresh);
        panel_.ShowAborted();
        return;
    }
}

// A PDA run that failed keeps its words; the status line turns red. Its
// end comes with the handset's removal.
void PanelRun::OnPdaFinished(const RunFinished& finished) {
    if (finished.verdict != Verdict::Passed)
        panel_.View().RunEnded(finished);
}

// --- Stop and close

void PanelRun::OnButtonCancel() {
    const int selection = context_.m_DownSelect;
    if (selection & ONLY_PDA_DOWN) {
        Log("if(m_DownSelect &  ONLY_PDA_DOWN)");
        context_.cancelled = true;
        context_.flashWriting = false;
        const bool released = watcher_->OnServiceDlgCancel();
        panel_.SetCounter(QString());
        if (!released)
            panel_.View().MessageBox("USB Unload Failed!\nRemove USB Cable!", "");
    }
    if ((selection & ONLY_PHONE_DOWN) && context_.g_AllDownLoad) {
        engine_->StopPanelRun();
        panel_.IdleLayout();
        panel_.SetCounter(QString());
        Log("OnButtonCancel - OK!!");
        panel_.View().RunEnded({Verdict::Stopped, "the operator stopped the phone download"});
        panel_.Clock().Start(PanelTimer::Refresh, kRefreshPeriod);
    }
    context_.g_AllDownLoad = true;
    context_.m_DownSelect = 0;
}

bool PanelRun::ReleaseForExit() {
    return watcher_->OnServiceDlgExit();
}

// --- timers

void PanelRun::OnTick(PanelTimer timer) {
    switch (timer) {
    case PanelTimer::UsbWait:
        return OnUsbWaitTick();
    case PanelTimer::Refresh:
        if (PhoneRunSelected() && phoneFilesFromList_ && engine_->Inst().state == phone::stIdle)
            engine_->Files() = context_.PhoneFiles();
        return engine_->OnTimer(phone::PhoneTimer::PortPoll);
    case PanelTimer::BootWatchdog:
        return engine_->OnTimer(phone::PhoneTimer::BootWatchdog);
    }
}

} // namespace marlow::panel
