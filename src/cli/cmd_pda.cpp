// marlow-cli pda: waits for PDA boot loaders (virtual bus or real USB),
// downloads a boot image or a list to each, and tells how it went.

#include "cli/command_registry.h"
#include "cli/support_device_source.h"
#include "cli/support_output.h"
#include "cli/support_pda_progress.h"
#include "common/input_file.h"
#include "hotplug/device_watcher.h"
#include "hotplug/download_command.h"

#include <QCommandLineParser>
#include <QJsonObject>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <map>
#include <unistd.h>

namespace marlow::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Set by SIGINT; the session polls it between events.
std::atomic<bool> interrupted{false};

void OnPdaInterrupt(int) {
    interrupted = true;
}

struct PdaOptions {
    std::string file;
    pda::DownloadTarget target = pda::DownloadTarget::Ram;
    bool phone = false;
    std::string bus; // empty: --usb
    std::string busGroup;
    std::chrono::seconds wait{30};
    int devices = 1;
    PdaCliOutput output;
};

// Device sources report on their own threads; everything the watcher does
// happens here, on the command's thread, one event at a time.
class EventQueue {
public:
    void Post(std::function<void()> event) {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(event));
        }
        wake_.notify_one();
    }
    // Runs what is queued, waiting up to `wait` for the first event.
    void RunFor(std::chrono::milliseconds wait) {
        std::deque<std::function<void()>> ready;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, wait, [this] { return !events_.empty(); });
            ready.swap(events_);
        }
        for (auto& event : ready)
            event();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> events_;
};

class PdaSession : public hotplug::DeviceWatcherOwner {
public:
    explicit PdaSession(const PdaOptions& options)
        : options_(options), board_(isatty(fileno(stderr)) != 0), watcher_(*this) {}

    int Run(hotplug::DeviceSource& source);

    pda::PdaRunContext& ContextFor(const std::string& path) override {
        return HandsetFor(path).context;
    }
    pda::PdaPresentation& PresentationFor(const std::string& path) override {
        return *HandsetFor(path).out;
    }
    void MessageBox(std::string_view text) override { board_.Note(std::string(text)); }
    void SendDownloadCommand(const std::string& path) override {
        if (!hotplug::OperationDownload(watcher_, ContextFor(path), PresentationFor(path), &path))
            Finish(path, false, "the download could not be started");
    }

private:
    struct Handset {
        pda::PdaRunContext context;
        std::unique_ptr<CliPdaPresentation> out;
        bool finished = false;
        bool succeeded = false;
    };

    Handset& HandsetFor(const std::string& path);
    void Arrived(std::unique_ptr<pda::UsbTransport> transport);
    void Finish(const std::string& path, bool succeeded, const std::string& error);
    void ReportProblem(const std::string& text);
    int FinishedCount() const;
    void Release();

    const PdaOptions& options_;
    EventQueue queue_;
    PdaProgressBoard board_;
    std::mutex stdoutLock_;
    std::map<std::string, std::unique_ptr<Handset>> handsets_;
    std::vector<std::string> order_;
    int accepted_ = 0;
    hotplug::CDeviceWatcher watcher_;
};

PdaSession::Handset& PdaSession::HandsetFor(const std::string& path) {
    std::unique_ptr<Handset>& handset = handsets_[path];
    if (handset)
        return *handset;
    handset = std::make_unique<Handset>();
    handset->context.SetSettings({options_.file, options_.target, false, options_.phone});
    PdaCliOutput output = options_.output;
    output.streamTrace = options_.devices == 1;
    handset->out = std::make_unique<CliPdaPresentation>(
        path, output, board_, stdoutLock_, [this, path](const pda::PdaProgressEvent& event) {
            const bool ok = event.completed && !event.aborted;
            queue_.Post([this, path, ok, error = event.error] { Finish(path, ok, error); });
        });
    order_.push_back(path);
    return *handset;
}

void PdaSession::Arrived(std::unique_ptr<pda::UsbTransport> transport) {
    if (accepted_ >= options_.devices)
        return; // more handsets than asked for: leave them alone
    ++accepted_;
    const std::string path = transport->DevicePath();
    HandsetFor(path);
    watcher_.OnDeviceArrival(std::move(transport));
    if (watcher_.FindPipe(path) == nullptr)
        Finish(path, false, "the device could not be opened");
}

void PdaSession::Finish(const std::string& path, bool succeeded, const std::string& error) {
    Handset& handset = HandsetFor(path);
    if (handset.finished)
        return;
    handset.finished = true;
    handset.succeeded = succeeded;
    if (!succeeded && !error.empty())
        board_.Note(path + ": " + error);
}

// A device the bus refused or cut off, or a listener short of descriptors.
void PdaSession::ReportProblem(const std::string& text) {
    board_.Note(text);
    if (!options_.output.json)
        return;
    QJsonObject line;
    line["event"] = "problem";
    line["text"] = QString::fromStdString(text);
    std::lock_guard lock(stdoutLock_);
    OutJsonLine(line);
}

int PdaSession::FinishedCount() const {
    int count = 0;
    for (const auto& [path, handset] : handsets_)
        count += handset->finished ? 1 : 0;
    return count;
}

int PdaSession::Run(hotplug::DeviceSource& source) {
    hotplug::DeviceEvents events;
    events.arrived = [this](std::unique_ptr<pda::UsbTransport> transport) {
        auto shared = std::make_shared<std::unique_ptr<pda::UsbTransport>>(std::move(transport));
        queue_.Post([this, shared] { Arrived(std::move(*shared)); });
    };
    events.removed = [this](const std::string& path) {
        queue_.Post([this, path] { watcher_.OnDeviceRemoveComplete(path); });
    };
    events.problem = [this](const std::string& text) {
        queue_.Post([this, text] { ReportProblem(text); });
    };
    std::string error;
    if (!source.Start(std::move(events), &error)) {
        Err("marlow-cli pda: " + error + "\n");
        return kExitFailed;
    }
    const Clock::time_point deadline = Clock::now() + options_.wait;
    bool waitedInVain = false;
    while (!interrupted) {
        queue_.RunFor(std::chrono::milliseconds(100));
        const bool allRunsOver = FinishedCount() == accepted_;
        if (accepted_ == options_.devices && allRunsOver)
            break;
        if (Clock::now() >= deadline && allRunsOver) {
            waitedInVain = true;
            break;
        }
    }
    Release();
    source.Stop();
    board_.Close();
    // Several handsets' traces follow each other, each under its name.
    for (const std::string& path : order_) {
        if (options_.output.trace && options_.devices > 1) {
            std::lock_guard lock(stdoutLock_);
            Out((path == order_.front() ? "--- " : "\n--- ") + path + " ---\n");
        }
        handsets_[path]->out->FlushTrace();
    }
    if (interrupted) {
        Err("marlow-cli pda: stopped\n");
        return kExitStopped;
    }
    if (waitedInVain)
        Err("marlow-cli pda: " + std::to_string(accepted_) + " of " +
            std::to_string(options_.devices) + " handsets arrived within " +
            std::to_string(options_.wait.count()) + " s\n");
    int succeeded = 0;
    for (const auto& [path, handset] : handsets_)
        succeeded += handset->succeeded ? 1 : 0;
    return succeeded == options_.devices ? kExitOk : kExitFailed;
}

// Stops what still runs, tells each listed boot loader to leave and waits a
// little for it to go, as the main window does when it closes.
void PdaSession::Release() {
    watcher_.OnClose();
    const Clock::time_point until = Clock::now() + std::chrono::seconds(2);
    while (watcher_.DeviceCount() > 0 && Clock::now() < until)
        queue_.RunFor(std::chrono::milliseconds(50));
}

bool ParseOptions(const QStringList& args, PdaOptions& options, int* exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Waits for PDA boot loaders and downloads a boot image (.bin) or a list (.lst) to "
        "each, as the main window does. stdout: --trace and --json output only; progress "
        "and messages go to stderr. Exit code 0 only when every handset succeeded.");
    const QCommandLineOption file("file", "Boot image or list to download.", "FILE");
    const QCommandLineOption target("target", "ram (default) or flash.", "ram|flash", "ram");
    const QCommandLineOption phone("phone", "A phone download follows: end with PHONE_DOWN_CMD.");
    const QCommandLineOption bus("bus", "Listen for handsets on this virtual bus socket.",
                                 "SOCKET");
    const QCommandLineOption busGroup(
        "bus-group", "Let this group use the --bus socket too (default: only this user).", "NAME");
    const QCommandLineOption usb("usb", "Use real handsets on USB (ids from PdaUsbIds).");
    const QCommandLineOption wait("wait", "Seconds to wait for the handsets (default 30).",
                                  "SECONDS", "30");
    const QCommandLineOption trace("trace", "Print the Device State Window text.");
    const QCommandLineOption json("json", "Print one JSON object per event.");
    const QCommandLineOption devices("devices", "Serve N handsets at once (default 1).", "N", "1");
    parser.addOptions({file, target, phone, bus, busGroup, usb, wait, trace, json, devices});
    if (!ParseArguments(parser, args, exitCode))
        return false;

    *exitCode = kExitUsage;
    const std::string name = args.value(0).toStdString();
    options.file = parser.value(file).toStdString();
    if (options.file.empty()) {
        Err(name + ": --file is required (see --help)\n");
        return false;
    }
    const QString targetText = parser.value(target).toLower();
    if (targetText != "ram" && targetText != "flash") {
        Err(name + ": --target is ram or flash\n");
        return false;
    }
    options.target = targetText == "flash" ? pda::DownloadTarget::Flash : pda::DownloadTarget::Ram;
    if (parser.isSet(bus) == parser.isSet(usb)) {
        Err(name + ": give either --bus SOCKET or --usb\n");
        return false;
    }
    options.bus = parser.value(bus).toStdString();
    options.busGroup = parser.value(busGroup).toStdString();
    bool numberOk = false;
    const int seconds = parser.value(wait).toInt(&numberOk);
    if (!numberOk || seconds < 0) {
        Err(name + ": --wait takes a number of seconds\n");
        return false;
    }
    options.wait = std::chrono::seconds(seconds);
    options.devices = parser.value(devices).toInt(&numberOk);
    if (!numberOk || options.devices < 1) {
        Err(name + ": --devices takes a number from 1 on\n");
        return false;
    }
    options.phone = parser.isSet(phone);
    options.output.trace = parser.isSet(trace);
    options.output.json = parser.isSet(json);
    return true;
}

int RunPda(const QStringList& args) {
    PdaOptions options;
    int exitCode = kExitOk;
    if (!ParseOptions(args, options, &exitCode))
        return exitCode;
    std::string why;
    if (!InputFile::Open(options.file, &why)) {
        Err("marlow-cli pda: cannot open " + options.file + " (" + why + ")\n");
        return kExitBadInput;
    }
    std::string error;
    std::unique_ptr<hotplug::DeviceSource> source =
        MakePdaDeviceSource(options.bus, options.busGroup, &error);
    if (!source) {
        Err("marlow-cli pda: PdaUsbIds: " + error + "\n");
        return kExitUsage;
    }
    interrupted = false;
    struct sigaction action {};
    action.sa_handler = OnPdaInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGINT, &action, &previous);
    int result = kExitFailed;
    {
        PdaSession session(options);
        result = session.Run(*source);
    }
    sigaction(SIGINT, &previous, nullptr);
    return result;
}

CommandRegistrar reg({"pda", "download a boot image or list to PDA boot loaders", RunPda});

} // namespace
} // namespace marlow::cli
