#pragma once
// The state of one UART run: its port, where its texts go, what it works
// from, and how it is going. One object per "Connect"; nothing global.

#include "common/result.h"
#include "uartloader/loader_events.h"
#include "uartloader/run_inputs.h"
#include "uartloader/uart_transport.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

namespace marlow::uartloader {

struct UartTimeouts {
    std::chrono::milliseconds firstBytes{60000}; // the boot ROM's first 20 bytes
    std::chrono::milliseconds request{4000};     // each request code
    std::chrono::milliseconds sizeEcho{500};     // the boot flasher's size echo
    std::chrono::milliseconds reply{100};        // everything else
};

class UartRunContext {
public:
    UartRunContext(UartTransport& port, LoaderSink& sink, const std::atomic<bool>& totalWriteMode,
                   RunInputs inputs, UartTimeouts timeouts = {});

    UartTransport& port;
    const RunInputs inputs;
    const UartTimeouts timeouts;

    // The owner's "Disconnect", called once at the end of the run.
    std::function<void()> disconnect;

    // The run's message: the last log text of the run.
    std::string message;
    bool running = true;

    void Log(std::string text);
    void ShowCurrentFile(std::string text);
    void ShowMessageBox(std::string text);
    void Diagnose(std::string text);

    // The bar a transfer drives: bar 8 in "Total Write" mode, read now.
    int ProgressBar(int requested) const;
    void SetProgress(int bar, int percent);

    // Ends the run with `runMessage`; `why` goes to the diagnostics. Returns
    // false so that steps can `return run.Fail(...)`.
    bool Fail(std::string runMessage, const Failure& why);
    template <typename T> bool Fail(std::string runMessage, const Result<T>& why) {
        return Fail(std::move(runMessage), Failure{why.Error()});
    }
    void FinishWithDoneMessage();

    // Tells how the run ended, as its last event, and returns it.
    RunFinished Finish();

private:
    LoaderSink& sink_;
    const std::atomic<bool>& totalWriteMode_;
    bool doneReceived_ = false;
    bool stopped_ = false;
    std::string reason_; // what the failing step said
};

} // namespace marlow::uartloader
