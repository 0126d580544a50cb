// marlow-cli total: the front panel's Total run. The PDA list goes to the
// handset's boot loader; its end hands the handset over to the modem; then
// the modem's port is waited for and the list's phone files are downloaded.

#include "cli/command_registry.h"
#include "cli/support_device_source.h"
#include "cli/support_output.h"
#include "cli/support_phone_loop.h"
#include "cli/support_phone_setup.h"
#include "cli/support_total_display.h"
#include "common/input_file.h"
#include "hotplug/device_watcher.h"
#include "phone/phone_engine.h"

#include <QCommandLineParser>

namespace marlow::cli {
namespace {

using namespace std::chrono_literals;
using pda::ONLY_PDA_DOWN;
using pda::ONLY_PHONE_DOWN;

struct TotalOptions {
    std::string list;
    pda::DownloadTarget target = pda::DownloadTarget::Flash;
    std::string bus; // empty: --usb
    std::string busGroup;
    std::chrono::seconds wait{31};
    QString library;
    QString port;
    QString pattern;
    PhoneCliOutput output;
};

enum class Outcome { Running, Succeeded, Failed, Stopped };

class TotalSession : public hotplug::DeviceWatcherOwner {
public:
    TotalSession(const TotalOptions& options, phone::PhoneLibrary& library,
                 phone::PhonePortLocator& ports);
    int Run(hotplug::DeviceSource& source, const InterruptFlag& interrupt);

    pda::PdaRunContext& ContextFor(const std::string&) override { return context_; }
    pda::PdaPresentation& PresentationFor(const std::string&) override { return display_; }
    void MessageBox(std::string_view text) override { display_.MessageBox(text, ""); }
    void Log(std::string_view text) override { display_.Log(text); }
    void PanelDeviceArrived() override;
    void PdaDownloadDone(bool mainWindowMode) override;
    void PanelDisconnectedDisplay() override;
    void PanelAbortedDisplay() override;

private:
    bool PhoneRunSelected() const;
    void StartPda();
    void OnComplete();
    void Stop();
    void End(Outcome outcome, const std::string& why);
    void CheckPhone();
    void Release();

    const TotalOptions& options_;
    PhoneCliLoop loop_;
    TotalDisplay display_;
    pda::PdaRunContext context_;
    phone::PhoneEngine engine_;
    hotplug::CDeviceWatcher watcher_;
    bool deviceSeen_ = false;
    bool phoneHalfBegun_ = false;
    bool stopping_ = false;
    Outcome outcome_ = Outcome::Running;
};

TotalSession::TotalSession(const TotalOptions& options, phone::PhoneLibrary& library,
                           phone::PhonePortLocator& ports)
    : options_(options),
      display_(options.output, {[this](const pda::PdaProgressEvent& event) {
                   if (!event.completed)
                       loop_.Post([this, event] { End(Outcome::Failed, event.error); });
               }}),
      context_(pda::PdaSettings{options.list, options.target, true, false}), engine_([&] {
          phone::PhoneEngineSetup setup;
          setup.owner = phone::PhoneOwner::FrontPanel;
          setup.library = &library;
          setup.presentation = &display_;
          setup.clock = &loop_;
          setup.ownerThread = &loop_;
          setup.ports = &ports;
          setup.phoneSelected = [this] { return PhoneRunSelected(); };
          setup.allDownLoad = &context_.g_AllDownLoad;
          return setup;
      }()),
      watcher_(*this) {
    loop_.SetTickHandler([this](phone::PhoneTimer timer) { engine_.OnTimer(timer); });
}

bool TotalSession::PhoneRunSelected() const {
    return (context_.m_DownSelect & ONLY_PHONE_DOWN) != 0 && context_.g_AllDownLoad;
}

void TotalSession::PanelDeviceArrived() {
    deviceSeen_ = true;
    // The panel answers the arrival first and starts the download after.
    loop_.Post([this] { StartPda(); });
}

void TotalSession::StartPda() {
    context_.cancelled = false;
    if (!InputFile::Open(options_.list)) {
        display_.MessageBox("Selected File dosen't exist\nCheck selected file", "");
        End(Outcome::Failed, "the list cannot be opened");
        return;
    }
    if (!watcher_.StartPdaDownloads())
        End(Outcome::Failed, "the PDA download could not be started");
}

void TotalSession::PdaDownloadDone(bool) {
    loop_.Post([this] { OnComplete(); });
}

void TotalSession::OnComplete() {
    display_.Log("OnComplete()+");
    if ((context_.m_DownSelect & ONLY_PDA_DOWN) && context_.g_AllDownLoad) {
        display_.PanelStatus("Download Successfully!");
        display_.Log("Download Successfully!");
        End(Outcome::Failed, "the list handed nothing over to the modem");
    } else if (PhoneRunSelected()) {
        display_.Log("else if((m_DownSelect &  ONLY_PHONE_DOWN) && (g_AllDownLoad  == TRUE))");
        engine_.Files() = context_.PhoneFiles();
        phoneHalfBegun_ = true;
        display_.BeginPhoneHalf();
        display_.Log("OnButtonDownstart m_DownSelect = " + std::to_string(context_.m_DownSelect));
        engine_.BeginPanelPortWait();
    } else {
        display_.Log("Downloaded Error Retry!!");
        End(Outcome::Failed, "the PDA download ended without handing over to the modem");
    }
    display_.Log("OnComplete()-");
}

void TotalSession::PanelDisconnectedDisplay() {
    display_.PanelStatus("Device Disconnected!");
    display_.PanelPercent("Reconnect Device to Retry!");
    if (!stopping_)
        End(Outcome::Failed, "the handset left before its download was complete");
}

void TotalSession::PanelAbortedDisplay() {
    display_.PanelStatus("Aborted Download!");
    display_.PanelPercent("Reconnect Device to Retry!");
    End(stopping_ ? Outcome::Stopped : Outcome::Failed, "");
}

// The panel's Stop, for whichever half is running.
void TotalSession::Stop() {
    stopping_ = true;
    if (PhoneRunSelected()) {
        engine_.StopPanelRun();
        display_.Log("OnButtonCancel - OK!!");
        End(Outcome::Stopped, "");
    } else if (context_.m_DownSelect & ONLY_PDA_DOWN) {
        display_.Log("if(m_DownSelect &  ONLY_PDA_DOWN)");
        context_.cancelled = true;
        context_.flashWriting = false;
        if (!watcher_.OnServiceDlgCancel() || watcher_.DeviceCount() == 0)
            End(Outcome::Stopped, "");
    } else {
        End(Outcome::Stopped, "");
    }
    context_.g_AllDownLoad = true;
    context_.m_DownSelect = 0;
}

void TotalSession::End(Outcome outcome, const std::string& why) {
    if (outcome_ != Outcome::Running)
        return;
    outcome_ = outcome;
    if (!why.empty())
        display_.Note("total: " + why);
}

void TotalSession::CheckPhone() {
    if (!phoneHalfBegun_)
        return;
    if (const std::optional<phone::PhoneRunEnd> ended = display_.PhoneEnded()) {
        End(*ended == phone::PhoneRunEnd::Succeeded ? Outcome::Succeeded : Outcome::Failed,
            *ended == phone::PhoneRunEnd::PortNotFound ? "the modem's port did not appear" : "");
        return;
    }
    const bool waitingOrRunning =
        loop_.TimerRunning(phone::PhoneTimer::PortPoll) || engine_.Inst().state != phone::stIdle;
    // The panel would wait for its operator's Stop; a command has nobody to wait for.
    if (PhoneRunSelected() && !waitingOrRunning)
        End(Outcome::Failed, "the modem port could not be opened");
}

int TotalSession::Run(hotplug::DeviceSource& source, const InterruptFlag& interrupt) {
    // Down Start with PDA and PHONE ticked: the PDA half first, a phone half to follow.
    context_.m_DownSelect = ONLY_PDA_DOWN;
    context_.g_AllDownLoad = false;
    hotplug::DeviceEvents events;
    events.arrived = [this](std::unique_ptr<pda::UsbTransport> transport) {
        auto shared = std::make_shared<std::unique_ptr<pda::UsbTransport>>(std::move(transport));
        loop_.Post([this, shared] {
            if (deviceSeen_)
                return; // one handset per Total run
            watcher_.OnDeviceArrival(std::move(*shared));
        });
    };
    events.removed = [this](const std::string& path) {
        loop_.Post([this, path] { watcher_.OnDeviceRemoveComplete(path); });
    };
    events.problem = [this](const std::string& text) {
        loop_.Post([this, text] { display_.Problem(text); });
    };
    std::string error;
    if (!source.Start(std::move(events), &error)) {
        display_.Note("total: " + error);
        return kExitFailed;
    }
    const auto deadline = std::chrono::steady_clock::now() + options_.wait;
    while (outcome_ == Outcome::Running) {
        if (interrupt.Raised() && !stopping_)
            Stop();
        loop_.RunOnce(100ms);
        if (!deviceSeen_ && std::chrono::steady_clock::now() >= deadline) {
            display_.MessageBox("USB Cable is not conntected! or\nKey is not Pressed!", "");
            End(Outcome::Failed, "no handset arrived");
        }
        if (outcome_ == Outcome::Running)
            CheckPhone();
    }
    Release();
    source.Stop();
    display_.Close();
    switch (outcome_) {
    case Outcome::Succeeded:
        return kExitOk;
    case Outcome::Stopped:
        return kExitStopped;
    default:
        break;
    }
    return kExitFailed;
}

// Stops what still runs and lets a handset still on the bus go.
void TotalSession::Release() {
    if (engine_.Inst().state != phone::stIdle)
        engine_.StopPanelRun();
    watcher_.OnClose();
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (watcher_.DeviceCount() > 0 && std::chrono::steady_clock::now() < until)
        loop_.RunOnce(50ms);
}

bool ParseOptions(const QStringList& args, TotalOptions& options, int* exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "The front panel's Total run: downloads a list (.lst) to the handset's PDA boot "
        "loader, hands the handset over to the modem, waits for the modem's port and "
        "downloads the list's phone files through the download library. stdout: --trace "
        "(the panel's log) or --json only; progress and messages go to stderr. Exit code 0 "
        "only when both halves succeeded.");
    const QCommandLineOption list("list", "The list to download.", "FILE.lst");
    const QCommandLineOption target("target", "flash (default) or ram.", "flash|ram", "flash");
    const QCommandLineOption bus("bus", "Wait for the handset on this virtual bus socket.",
                                 "SOCKET");
    const QCommandLineOption busGroup(
        "bus-group", "Let this group use the --bus socket too (default: only this user).", "NAME");
    const QCommandLineOption usb("usb", "Use a real handset on USB (ids from PdaUsbIds).");
    const QCommandLineOption wait("wait", "Seconds to wait for the handset (default 31).",
                                  "SECONDS", "31");
    const QCommandLineOption library("library", "The download library to load.", "PATH");
    const QCommandLineOption port("port", "The modem's port, instead of looking for it.", "PATH");
    const QCommandLineOption pattern("port-pattern", "How a found port number becomes its name.",
                                     "PATTERN");
    const QCommandLineOption trace("trace", "Print the panel's log.");
    const QCommandLineOption json("json", "Print one JSON object per event.");
    parser.addOptions(
        {list, target, bus, busGroup, usb, wait, library, port, pattern, trace, json});
    if (!ParseArguments(parser, args, exitCode))
        return false;
    *exitCode = kExitUsage;
    const std::string name = args.value(0).toStdString();
    options.list = parser.value(list).toStdString();
    if (options.list.empty()) {
        Err(name + ": --list is required (see --help)\n");
        return false;
    }
    const QString targetText = parser.value(target).toLower();
    if (targetText != "ram" && targetText != "flash") {
        Err(name + ": --target is flash or ram\n");
        return false;
    }
    options.target = targetText == "ram" ? pda::DownloadTarget::Ram : pda::DownloadTarget::Flash;
    if (parser.isSet(bus) == parser.isSet(usb)) {
        Err(name + ": give either --bus SOCKET or --usb\n");
        return false;
    }
    if (parser.isSet(port) && parser.isSet(pattern)) {
        Err(name + ": give --port or --port-pattern, not both\n");
        return false;
    }
    if (parser.isSet(trace) && parser.isSet(json)) {
        Err(name + ": give --trace or --json, not both\n");
        return false;
    }
    bool numberOk = false;
    const int seconds = parser.value(wait).toInt(&numberOk);
    if (!numberOk || seconds < 0) {
        Err(name + ": --wait takes a number of seconds\n");
        return false;
    }
    options.wait = std::chrono::seconds(seconds);
    options.bus = parser.value(bus).toStdString();
    options.busGroup = parser.value(busGroup).toStdString();
    options.library = parser.value(library);
    options.port = parser.value(port);
    options.pattern = parser.value(pattern);
    options.output.trace = parser.isSet(trace);
    options.output.json = parser.isSet(json);
    return true;
}

int RunTotal(const QStringList& args) {
    TotalOptions options;
    int exitCode = kExitOk;
    if (!ParseOptions(args, options, &exitCode))
        return exitCode;
    const std::string name = args.value(0).toStdString();
    std::string why;
    if (!InputFile::Open(options.list, &why)) {
        Err(name + ": cannot open " + options.list + " (" + why + ")\n");
        return kExitBadInput;
    }
    std::string error;
    std::unique_ptr<phone::VendorLibrary> library = LoadPhoneLibrary(options.library, &error);
    if (!library) {
        Err(name + ": " + error + "\n");
        return kExitFailed;
    }
    std::unique_ptr<hotplug::DeviceSource> source =
        MakePdaDeviceSource(options.bus, options.busGroup, &error);
    if (!source) {
        Err(name + ": PdaUsbIds: " + error + "\n");
        return kExitUsage;
    }
    PhoneCliPorts ports = MakePhonePorts(options.port, options.pattern, phone::kFrontPanelPortList);
    const InterruptFlag interrupt;
    TotalSession session(options, *library, *ports.locator);
    return session.Run(*source, interrupt);
}

CommandRegistrar reg({"total", "the Total run: a PDA list, then the phone, on one handset",
                      RunTotal});

} // namespace
} // namespace marlow::cli
