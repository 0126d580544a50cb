// The main window's handsets as runs: each handset on the window's device
// list downloads as a whole run of its own, with its own context and
// record; the watcher's reports for a handset reach its run, and what
// follows its leaving is that run's decision.

#include "gui/frame_devices.h"

#include "gui/frame_phone.h"
#include "gui/main_frame.h"
#include "gui/window_records.h"
#include "hotplug/download_command.h"
#include "pda/list_file.h"
#include "records/run_inputs.h"

namespace marlow::gui {

FrameDevices::Handset& FrameDevices::HandsetAt(const std::string& devicePath) {
    std::lock_guard lock(handsetsMutex_);
    std::unique_ptr<Handset>& handset = handsets_[devicePath];
    if (!handset)
        handset = std::make_unique<Handset>();
    return *handset;
}

WindowRun* FrameDevices::RunAt(const std::string& devicePath) {
    return HandsetAt(devicePath).run.get();
}

records::HandsetRecording* FrameDevices::RecordOf(const handset::WholeRun& whole) {
    std::lock_guard lock(handsetsMutex_);
    for (const auto& [path, handset] : handsets_)
        if (handset->run && handset->run->whole.get() == &whole)
            return handset->run->record.get();
    for (const auto& run : earlier_)
        if (run->whole.get() == &whole)
            return run->record.get();
    return nullptr;
}

// The bare command starts every listed handset that is not downloading,
// each as if it had just connected; with none, the command is the window's
// own, refused or traced as it always was.
void FrameDevices::OnOperationDownload(const std::string* onlyPath) {
    MarlowContext& context = frame_.Context();
    context.SyncRunSettings();
    if (onlyPath) {
        StartHandset(*onlyPath);
        return;
    }
    std::vector<std::string> idle;
    for (const std::string& path : watcher_->DevicePaths())
        if (!watcher_->DownloadRunning(path))
            idle.push_back(path);
    if (idle.empty()) {
        hotplug::OperationDownload(*watcher_, context.run, events_);
        return;
    }
    for (const std::string& path : idle)
        StartHandset(path);
}

// Each run starts without a hand-over and without an earlier list's phone
// group, so only what this run reads can start a phone download. It is
// recorded as the handset's own, its phone half with it when the list or
// the "Phone" option hands the handset over; its slot is the USB port path
// the handset sits on (the bus's device path where the bus has no ports).
// Another handset's run goes on untouched, and so does this handset's
// earlier run where it is in its phone half.
void FrameDevices::StartHandset(const std::string& devicePath) {
    MarlowContext& context = frame_.Context();
    Handset& handset = HandsetAt(devicePath);
    const pda::PdaSettings settings = context.run.Settings();
    const std::string path = settings.downloadPath;
    WindowRecords& records = frame_.Records();
    auto run = std::make_unique<WindowRun>(
        devicePath,
        [this, devicePath](const pda::PdaEvent& event) { events_.ShowFor(devicePath, event); },
        [this] { return frame_.Phone().Engine().Port(); });
    if (handset.context.deviceConnected) {
        if (const Status may = records.MayStartRun(); !may) {
            frame_.ShowNotRecorded(QString::fromStdString(may.Error()));
            return;
        }
        const bool phoneFollows = context.PhoneOption() || pda::ReadListFile(path).hasPhoneGroup;
        records.BeginHandsetRun(run->record, phoneFollows ? "total" : "pda", true, phoneFollows,
                                [this](const QString& text) { frame_.ShowNotRecorded(text); });
        const usb::CUsbPipe* pipe = watcher_->FindPipe(devicePath);
        run->record->Slot(pipe && !pipe->UsbPortPath().empty() ? pipe->UsbPortPath() : devicePath);
    }
    RetireRunOf(handset);
    {
        std::lock_guard lock(handsetsMutex_);
        handset.run = std::move(run);
    }
    WindowRun& started = *handset.run;
    records::HandsetRecording* record = started.record.get();
    started.whole = std::make_unique<handset::WholeRun>(handset::WholeRunSetup{
        .mode = context.PhoneOption() ? handset::RunMode::Total : handset::RunMode::PdaOnly,
        .pda = settings,
        .ownerThread = owner_.get(),
        .events = &started,
        .listedOn = watcher_.get(),
        .devicePath = devicePath,
        .planChecked =
            [record, path](const pda::DownloadPlan& plan) {
                record->Inputs(records::InputsOfPlan(path, plan));
            },
        .followHandOver = true,
        .phoneOwner = &frame_.Phone(),
    });
    started.whole->Start(nullptr);
}

// The handset's last run makes room: its download has ended (only an idle
// handset is started). One that still waits for its handset to leave is
// given up; one in its phone half goes on beside the new one. Runs whose
// end has been told go.
void FrameDevices::RetireRunOf(Handset& handset) {
    std::erase_if(earlier_, [](const auto& run) { return !run->Going(); });
    if (!handset.run)
        return;
    watcher_->JoinDownload(handset.run->devicePath);
    std::unique_ptr<WindowRun> last;
    {
        std::lock_guard lock(handsetsMutex_);
        last = std::move(handset.run);
    }
    if (!last->Going())
        return;
    if (!last->whole->InPhoneHalf())
        last->whole->Abandon({Verdict::Stopped, "the handset was downloaded to again"});
    earlier_.push_back(std::move(last));
}

// What follows the handset's leaving is its run's decision; a run whose
// download passed and that handed nothing over has already ended.
bool FrameDevices::HandsetLeft(const std::string& devicePath) {
    WindowRun* run = RunAt(devicePath);
    if (run == nullptr || !run->whole)
        return false;
    const std::optional<handset::RunFinished>& outcome = run->whole->Outcome();
    if (!outcome) {
        run->whole->Reports().Left(devicePath, {.completed = true, .passed = true});
        return false;
    }
    return outcome->finished.verdict == Verdict::Passed && outcome->half == handset::Half::Pda;
}

// Each handset downloads with a context of its own, so one handset's flags
// and plan never reach another's run. Until its download starts it follows
// the window's settings, which say how its arrival is shown.
pda::PdaRunContext& FrameDevices::ContextFor(const std::string& devicePath) {
    Handset& handset = HandsetAt(devicePath);
    if (handset.run && handset.run->Downloading())
        return handset.run->whole->Reports().ContextFor(devicePath);
    if (!watcher_->DownloadRunning(devicePath))
        handset.context.SetSettings(frame_.Context().run.Settings());
    return handset.context;
}

pda::PdaEventSink& FrameDevices::SinkFor(const std::string& devicePath) {
    Handset& handset = HandsetAt(devicePath);
    if (handset.run && handset.run->Downloading())
        return handset.run->whole->Reports().SinkFor(devicePath);
    return events_.For(devicePath);
}

// On the download thread: the run that started the download is the
// handset's run until the download has been joined.
void FrameDevices::PdaRunEnded(const std::string& devicePath, const pda::PdaRunOutcome& outcome) {
    std::lock_guard lock(handsetsMutex_);
    const auto found = handsets_.find(devicePath);
    if (found != handsets_.end() && found->second->run && found->second->run->whole)
        found->second->run->whole->Reports().PdaRunEnded(devicePath, outcome);
}

} // namespace marlow::gui
