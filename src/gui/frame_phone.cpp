#include "gui/frame_phone.h"

#include "gui/frame_devices.h"
#include "gui/main_frame.h"
#include "gui/program_phone.h"
#include "gui/window_records.h"
#include "records/run_inputs.h"
#include "records/run_writer.h"

#include <algorithm>

namespace marlow::gui {

namespace {

using namespace std::chrono_literals;

bool NamesAnyFile(const phone::PhoneFileSet& files) {
    return std::any_of(files.roles.begin(), files.roles.end(),
                       [](const phone::PhoneFileEntry& entry) { return !entry.path.empty(); });
}

std::optional<phone::PhoneFileRole> MissingRole(const phone::PhoneFileSet& files) {
    for (std::size_t i = 0; i < phone::kPhoneRoleCount; ++i)
        if (files.roles[i].path.empty())
            return static_cast<phone::PhoneFileRole>(i);
    return std::nullopt;
}

} // namespace

FramePhone::FramePhone(CMainFrame& frame) : frame_(frame), events_(frame.Context(), frame, *this) {
    MarlowContext& context = frame.Context();
    ProgramPhone made = MakeProgramPhone(context.store, phone::kMainWindowPortList);
    library_ = std::move(made.library);
    libraryProblem_ = std::move(made.libraryProblem);
    portSource_ = std::move(made.portSource);
    ports_ = std::move(made.ports);
    owner_ = std::make_unique<phone::QtOwnerThread>(&frame);
    clock_ = std::make_unique<phone::QtPhoneClock>([this](phone::PhoneTimer t) { OnTick(t); });
    statusTick_.setInterval(1s);
    QObject::connect(&statusTick_, &QTimer::timeout, [this] { RefreshStatus(); });

    phone::PhoneEngineSetup setup;
    setup.owner = phone::PhoneOwner::MainWindow;
    setup.library = library_.get();
    setup.events = &events_;
    setup.clock = clock_.get();
    setup.ownerThread = owner_.get();
    setup.ports = ports_.get();
    setup.phoneSelected = [this] { return Selected(); };
    engine_ = std::make_unique<phone::PhoneEngine>(setup);
    // The run on the engine hears each event before the window shows it.
    events_.recordEvents = [this](const phone::PhoneRunEvent& event) {
        if (run_ != nullptr)
            run_->PhoneHeard(event);
    };
}

FramePhone::~FramePhone() {
    statusTick_.stop();
    own_.reset();
    engine_.reset();
}

bool FramePhone::Selected() const {
    return frame_.Context().PhoneOption() || handOverRun_;
}

// Phone Download Start: a phone-only run of its own, recorded when the
// "Phone" option lets it touch a handset.
void FramePhone::Start() {
    WindowRecords& records = frame_.Records();
    if (const Status may = records.MayStartRun(); !may) {
        frame_.ShowNotRecorded(QString::fromStdString(may.Error()));
        return;
    }
    FollowRun(nullptr);
    own_ = std::make_unique<WindowRun>(std::string(), nullptr, [this] { return engine_->Port(); });
    if (frame_.Context().PhoneOption())
        records.BeginHandsetRun(own_->record, "phone", false, true,
                                [this](const QString& text) { frame_.ShowNotRecorded(text); });
    own_->whole = std::make_unique<handset::WholeRun>(
        handset::WholeRunSetup{.mode = handset::RunMode::PhoneOnly,
                               .ownerThread = owner_.get(),
                               .events = own_.get(),
                               .phoneOwner = this});
    own_->whole->Start(nullptr);
}

// Refused unless the "Phone" option is ticked: no handset is touched then.
void FramePhone::StartOwnRun(handset::WholeRun& run) {
    FollowRun(&run);
    handOverRun_ = false;
    heldMessage_.clear();
    const std::string& package = frame_.Context().settings.Values().phonePackagePath;
    const bool started = engine_->StartMainWindowRun(package, phone::PhoneStart::Command);
    own_->record->Inputs(
        started ? records::InputsOfPhoneFiles(engine_->Files(), package)
                : std::vector<records::InputFacts>{records::InputOf("package", package)});
    Began(started);
}

// A handset's run handed it over: the window's debug window says so, and
// its phone half follows (or waits for the engine).
void FramePhone::BeginPhoneHalf(handset::WholeRun& run, const phone::PhoneFileSet& handedOver,
                                const std::string& usbPortPath) {
    if (own_ && &run == own_->whole.get())
        return StartOwnRun(run);
    MarlowContext& context = frame_.Context();
    context.Print(context.debugMessage, "\n PDA Download Completed!! \n");
    context.Print(context.debugMessage, "\n -- Phone Download Start!! -- \n");
    StartAfterPdaDownload({.run = &run, .files = handedOver, .usbPortPath = usbPortPath});
    frame_.UpdateCommandStates();
}

void FramePhone::StopPhoneHalf(handset::WholeRun& run, const RunFinished& why) {
    if (run_ == &run) {
        // The run gives the verdict: the engine's own end goes nowhere.
        run_ = nullptr;
        engine_->CancelMainWindowRun(why.verdict, why.reason);
        handOverRun_ = false;
        RefreshStatus();
        StartNextHandedOver();
        return;
    }
    PhoneHalfGone(run);
}

void FramePhone::PhoneHalfGone(handset::WholeRun& run) {
    if (run_ == &run)
        run_ = nullptr;
    std::erase_if(waiting_, [&run](const HandedOver& waiting) { return waiting.run == &run; });
}

// The handset has already left for its modem download: not starting it
// would pass a half-flashed handset, so a list's phone group starts it
// whether or not the "Phone" option is ticked.
void FramePhone::StartAfterPdaDownload(HandedOver handedOver) {
    if (handOverRun_ && Running()) {
        waiting_.push_back(std::move(handedOver));
        return;
    }
    FollowRun(handedOver.run);
    const phone::PhoneFileSet& group = handedOver.files;
    const std::string& usbPortPath = handedOver.usbPortPath;
    handOverRun_ = true;
    heldMessage_.clear();
    if (!NamesAnyFile(group)) {
        const std::string& package = frame_.Context().settings.Values().phonePackagePath;
        const bool started =
            engine_->StartMainWindowRun(package, phone::PhoneStart::AfterPdaDownload, usbPortPath);
        if (records::HandsetRecording* record =
                started && run_ != nullptr ? frame_.Devices().RecordOf(*run_) : nullptr)
            record->Inputs(records::InputsOfPhoneFiles(engine_->Files(), package));
        Began(started);
        return;
    }
    if (const std::optional<phone::PhoneFileRole> missing = MissingRole(group)) {
        RefuseIncompleteGroup(*missing);
        return;
    }
    Began(engine_->StartMainWindowRun(group, phone::PhoneStart::AfterPdaDownload, usbPortPath));
}

void FramePhone::FollowRun(handset::WholeRun* run) {
    if (run_ != nullptr && run_ != run)
        std::exchange(run_, nullptr)
            ->PhoneHeard(RunFinished{Verdict::Stopped, "another phone download began"});
    run_ = run;
}

void FramePhone::NotBegun(const std::string& reason) {
    if (run_ != nullptr)
        std::exchange(run_, nullptr)->PhoneNotBegun(reason);
}

// Posted: the run that ended is still telling of its end.
void FramePhone::StartNextHandedOver() {
    if (waiting_.empty())
        return;
    QMetaObject::invokeMethod(
        &frame_,
        [this] {
            if (waiting_.empty() || Running())
                return;
            HandedOver next = std::move(waiting_.front());
            waiting_.pop_front();
            StartAfterPdaDownload(std::move(next));
            frame_.UpdateCommandStates();
        },
        Qt::QueuedConnection);
}

void FramePhone::RefuseIncompleteGroup(phone::PhoneFileRole missing) {
    handOverRun_ = false;
    NotBegun(std::string("the list's phone group names no ") + phone::PhoneFileRoleName(missing));
    MarlowContext& context = frame_.Context();
    context.Print(context.deviceState, "\n Phone File Open Error... \n");
    const QString role = QString::fromLatin1(phone::PhoneFileRoleName(missing));
    frame_.SetStatusText(QStringLiteral("Phone Downloaded Fail! The list's phone group has no ") +
                         role + '.');
    frame_.ShowMessage(QStringLiteral("Phone Downloaded Fail!\nThe list's phone group names no ") +
                           role +
                           QStringLiteral(": add it to the list, then download the list again."),
                       QString());
}

void FramePhone::Began(bool started) {
    if (started)
        status_.Started();
    else
        NotBegun("the phone download did not start");
    RefreshStatus();
}

void FramePhone::Cancel() {
    engine_->CancelMainWindowRun();
    // An engine with nothing unfinished says no end of its own.
    if (run_ != nullptr)
        std::exchange(run_, nullptr)->PhoneHeard(RunFinished{Verdict::Stopped, ""});
    handOverRun_ = false;
    heldMessage_.clear();
    status_.Cancelled();
    RefreshStatus();
    StartNextHandedOver();
}

bool FramePhone::Running() const {
    return engine_ && engine_->PhoneRunning();
}

void FramePhone::RefreshStatus() {
    if (engine_)
        status_.Follow(engine_->Inst().state);
    const std::string text = status_.StatusText();
    if (!text.empty())
        frame_.SetStatusText(QString::fromStdString(text));
    if (!status_.Counting())
        statusTick_.stop();
    else if (!statusTick_.isActive())
        statusTick_.start();
}

// The port wait only goes on while the operator still wants the phone.
void FramePhone::OnTick(phone::PhoneTimer timer) {
    if (Selected())
        engine_->OnTimer(timer);
}

void FramePhone::StepSeen() {
    RefreshStatus();
}

bool FramePhone::HoldMessage(const QString& text) {
    if (!status_.Running())
        return false;
    heldMessage_ += (heldMessage_.isEmpty() ? QString() : QStringLiteral("\n")) + text;
    return true;
}

// One verdict per run: the status bar says how it ended and, when it did
// not succeed, one box says why and what to do next.
void FramePhone::RunEnded(phone::PhoneRunEnd end) {
    status_.Ended(end);
    if (end == phone::PhoneRunEnd::Succeeded)
        handOverRun_ = false;
    RefreshStatus();
    frame_.UpdateCommandStates();
    const QString held = std::exchange(heldMessage_, QString());
    if (const std::optional<std::string> advice = status_.FailureAdvice())
        frame_.ShowMessage(held.isEmpty() ? QString::fromStdString(*advice)
                                          : held + "\n\n" + QString::fromStdString(*advice),
                           QString());
    StartNextHandedOver();
}

} // namespace marlow::gui
