#include "uartloader/loader_session.h"

#include "common/path_rules.h"
#include "uartloader/log_file.h"
#include "uartloader/port_names.h"
#include "uartloader/uart_boot_sequence.h"
#include "uartloader/uart_port.h"

#include <QThread>
#include <future>

namespace marlow::uartloader {

// One "Connect": what "Disconnect" needs to reach the worker's port.
// Guarded by the session's runMutex_.
struct UartLoaderSession::ActiveRun {
    std::string portName;
    UartTransport* transport = nullptr; // set while the worker holds it open
    bool stopRequested = false;
};

void UartLoaderSession::OrderedSink::Post(const LoaderEvent& event) {
    std::lock_guard lock(mutex_);
    if (std::holds_alternative<LogCleared>(event))
        logText_.clear();
    else if (const auto* appended = std::get_if<LogAppended>(&event))
        logText_ += appended->text;
    target_.Post(event);
}

std::string UartLoaderSession::OrderedSink::LogText() const {
    std::lock_guard lock(mutex_);
    return logText_;
}

std::unique_ptr<UartTransport> UartLoaderSession::MakeSerialPort(const std::string& portName) {
    return std::make_unique<CUartPort>(portName);
}

UartLoaderSession::UartLoaderSession(LoaderSink& sink, TransportFactory factory)
    : sink_(sink), factory_(std::move(factory)) {}

UartLoaderSession::~UartLoaderSession() {
    if (connected_.load()) {
        Disconnect();
    } else {
        std::lock_guard lock(runMutex_);
        if (activeRun_) {
            activeRun_->stopRequested = true;
            if (activeRun_->transport != nullptr)
                activeRun_->transport->RequestClose();
        }
    }
    JoinWorker();
}

std::string UartLoaderSession::PortName() const {
    return settings_.port.empty() ? kNoPortGiven : settings_.port;
}

StmReadResult UartLoaderSession::ReadStmList(const std::string& listPath) {
    listInvalid_ = false;
    settings_.rows[kFileRoleCount - 1].path = listPath;
    StmReadResult result = uartloader::ReadStmList(listPath, list_);
    listInvalid_ = result.listInvalid;
    ShowNotes(result.notes);
    return result;
}

bool UartLoaderSession::Connect() {
    if (connected_.load())
        return true;
    JoinWorker();

    sink_.Post(LogCleared{});
    for (int bar = 0; bar < kProgressBarCount; ++bar)
        sink_.Post(ProgressChanged{bar, 0});

    auto run = std::make_shared<ActiveRun>();
    run->portName = PortName();
    {
        std::lock_guard lock(runMutex_);
        activeRun_ = run;
    }
    RunInputs inputs = ChooseRunInputs(settings_, list_, totalWriteMode_.load(), listInvalid_);
    const UartTimeouts timeouts = timeouts_;
    auto opened = std::make_shared<std::promise<bool>>();
    std::future<bool> openResult = opened->get_future();

    worker_.reset(QThread::create([this, run, inputs, timeouts, opened] {
        RunWorker(run, inputs, timeouts, [&opened](bool ok) { opened->set_value(ok); });
    }));
    worker_->start();
    return openResult.get();
}

void UartLoaderSession::RunWorker(const std::shared_ptr<ActiveRun>& run, RunInputs inputs,
                                  const UartTimeouts& timeouts,
                                  const std::function<void(bool)>& reportOpened) {
    std::unique_ptr<UartTransport> port = factory_(run->portName);
    const Result<PortOpened> opened =
        port ? port->Open(kLoaderLineSettings) : Failure{run->portName + ": no such port"};
    if (!opened) {
        sink_.Post(Diagnostic{opened.Error()});
        sink_.Post(LogAppended{"Failed to connect.\r\n"});
        sink_.Post(RunFinished{Verdict::Failed, opened.Error()});
        reportOpened(false);
        return;
    }
    if (!opened->warning.empty())
        sink_.Post(Diagnostic{opened->warning});
    {
        std::lock_guard lock(runMutex_);
        run->transport = port.get();
        if (run->stopRequested)
            port->RequestClose();
    }
    connected_.store(true);
    sink_.Post(ConnectEnabled{false});
    sink_.Post(LogAppended{"Connected to " + run->portName + " port.\r\n"});
    reportOpened(true);

    UartRunContext context(*port, sink_, totalWriteMode_, std::move(inputs), timeouts);
    context.disconnect = [&] {
        {
            std::lock_guard lock(runMutex_);
            run->transport = nullptr;
        }
        port->Close();
        FinishDisconnect(run->portName);
    };
    UartBootSequence(context);
}

void UartLoaderSession::Disconnect() {
    std::string portName = PortName();
    {
        std::lock_guard lock(runMutex_);
        if (activeRun_) {
            portName = activeRun_->portName;
            activeRun_->stopRequested = true;
        }
    }
    // The disconnect lines come first: the run's own failure, which the
    // close below causes, follows them in the log.
    FinishDisconnect(portName);
    std::lock_guard lock(runMutex_);
    if (activeRun_ && activeRun_->transport != nullptr)
        activeRun_->transport->RequestClose();
}

void UartLoaderSession::FinishDisconnect(const std::string& portName) {
    sink_.Post(ProgressChanged{kTotalDownloadBar, 0});
    connected_.store(false);
    sink_.Post(ConnectEnabled{true});
    sink_.Post(LogAppended{portName + " port is disconnected.\r\n"});
}

void UartLoaderSession::WaitForRunEnd() {
    if (worker_)
        worker_->wait();
}

void UartLoaderSession::JoinWorker() {
    WaitForRunEnd();
    worker_.reset();
}

std::string UartLoaderSession::LogText() const {
    return sink_.LogText();
}

bool UartLoaderSession::SaveLog(const std::string& path) {
    const std::string name = FileNamePart(path);
    std::string why;
    switch (SaveLogFile(path, LogText(), &why)) {
    case LogSave::Saved:
        return true;
    case LogSave::CannotCreate:
        sink_.Post(MessageBoxShown{"Failed to create file " + name});
        break;
    case LogSave::CannotWrite:
        sink_.Post(MessageBoxShown{"Failed to write file " + name});
        break;
    }
    sink_.Post(Diagnostic{path + ": " + why});
    return false;
}

bool UartLoaderSession::SaveSettings(const std::string& path) {
    const Status written = WriteMflFile(path, settings_);
    if (!written)
        sink_.Post(MessageBoxShown{written.Error()});
    return written.Ok();
}

bool UartLoaderSession::LoadSettings(const std::string& path) {
    Result<MflContents> read = ReadMflFile(path, settings_);
    if (!read) {
        sink_.Post(MessageBoxShown{read.Error()});
        return false;
    }
    settings_ = std::move(read->settings);
    ShowNotes(read->notes);
    return true;
}

void UartLoaderSession::ShowNotes(const Notes& notes) {
    // The loader's trace window is its log.
    for (const Note& note : notes) {
        if (note.kind == NoteKind::MessageBox)
            sink_.Post(MessageBoxShown{note.text});
        else
            sink_.Post(LogAppended{note.text});
    }
}

} // namespace marlow::uartloader
