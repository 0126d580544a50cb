#pragma once
// The UART loader dialog without its widgets: the fields, the write mode,
// the STM list, "Connect" / "Disconnect", the run log with "Save Log", and
// ".mfl" settings. The GUI dialog and marlow-cli both drive one of these.
//
// "Connect" starts a worker thread that owns the port from open to close:
// it opens the port, runs UartBootSequence and closes the port again.
// "Disconnect" from any other thread only asks the port to close; the worker
// notices at once, fails its current step, and releases the port itself.
// A new "Connect" first waits for an earlier worker to finish, so an old run
// can never close a newer run's port, and destroying the session stops and
// waits for the worker.
//
// Every text and value goes to the sink as typed events, in order; each
// run's last is its RunFinished, also when its port did not open.

#include "uartloader/loader_events.h"
#include "uartloader/loader_settings.h"
#include "uartloader/run_context.h"
#include "uartloader/stm_list.h"
#include "uartloader/uart_transport.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class QThread;

namespace marlow::uartloader {

class UartLoaderSession {
public:
    // Called on the worker thread, which then owns what it returns.
    using TransportFactory = std::function<std::unique_ptr<UartTransport>(const std::string&)>;
    static std::unique_ptr<UartTransport> MakeSerialPort(const std::string& portName);

    // `sink` must outlive the session.
    explicit UartLoaderSession(LoaderSink& sink, TransportFactory factory = MakeSerialPort);
    ~UartLoaderSession();
    UartLoaderSession(const UartLoaderSession&) = delete;
    UartLoaderSession& operator=(const UartLoaderSession&) = delete;

    // The dialog's fields and its port. Read by "Connect" and "Save Settings".
    LoaderSettings& Settings() { return settings_; }
    const LoaderSettings& Settings() const { return settings_; }

    // The write mode; the dialog opens in "Total Write". A transfer reads it
    // when it starts, so it may change during a run.
    void SetTotalWriteMode(bool totalWrite) { totalWriteMode_.store(totalWrite); }
    bool TotalWriteMode() const { return totalWriteMode_.load(); }

    // A "..." button of rows 0 to 7 was pressed (chosen file or not).
    void ClearListInvalid() { listInvalid_ = false; }
    // The row-8 "..." button with a chosen list file: fills the list tables,
    // shows its message boxes, and sets or clears the list-invalid flag.
    StmReadResult ReadStmList(const std::string& listPath);
    bool ListInvalid() const { return listInvalid_; }
    const StmList& List() const { return list_; }

    // Time-outs of later runs (tests shorten the long ones).
    void SetTimeouts(const UartTimeouts& timeouts) { timeouts_ = timeouts; }

    // Returns whether the port opened; the run then goes on by itself.
    bool Connect();
    // Any thread.
    void Disconnect();
    bool IsConnected() const { return connected_.load(); }
    // Blocks until the current run's worker has ended (its RunFinished
    // posted); returns at once when none started.
    void WaitForRunEnd();

    std::string LogText() const;
    bool SaveLog(const std::string& path);
    bool SaveSettings(const std::string& path);
    bool LoadSettings(const std::string& path);

private:
    struct ActiveRun;
    class OrderedSink final : public LoaderSink {
    public:
        explicit OrderedSink(LoaderSink& target) : target_(target) {}
        void Post(const LoaderEvent& event) override;
        std::string LogText() const;

    private:
        mutable std::mutex mutex_;
        LoaderSink& target_;
        std::string logText_;
    };

    void RunWorker(const std::shared_ptr<ActiveRun>& run, RunInputs inputs,
                   const UartTimeouts& timeouts, const std::function<void(bool)>& reportOpened);
    std::string PortName() const; // what a run opens
    void FinishDisconnect(const std::string& portName);
    void JoinWorker();
    void ShowNotes(const Notes& notes);

    OrderedSink sink_;
    TransportFactory factory_;
    LoaderSettings settings_ = LoaderSettings::Defaults();
    std::atomic<bool> totalWriteMode_{true};
    bool listInvalid_ = false;
    StmList list_;
    UartTimeouts timeouts_;

    std::atomic<bool> connected_{false};
    std::mutex runMutex_; // guards activeRun_ and what it points to
    std::shared_ptr<ActiveRun> activeRun_;
    std::unique_ptr<QThread> worker_;
};

} // namespace marlow::uartloader
