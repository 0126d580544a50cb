#include "uartloader/run_context.h"

namespace marlow::uartloader {

UartRunContext::UartRunContext(UartTransport& port, LoaderSink& sink,
                               const std::atomic<bool>& totalWriteMode, RunInputs inputs,
                               UartTimeouts timeouts)
    : port(port), inputs(std::move(inputs)), timeouts(timeouts), sink_(sink),
      totalWriteMode_(totalWriteMode) {}

void UartRunContext::Log(std::string text) {
    sink_.Post(LogAppended{std::move(text)});
}

void UartRunContext::ShowCurrentFile(std::string text) {
    sink_.Post(CurrentFileChanged{std::move(text)});
}

void UartRunContext::ShowMessageBox(std::string text) {
    sink_.Post(MessageBoxShown{std::move(text)});
}

void UartRunContext::Diagnose(std::string text) {
    sink_.Post(Diagnostic{std::move(text)});
}

int UartRunContext::ProgressBar(int requested) const {
    return totalWriteMode_.load() ? kTotalDownloadBar : requested;
}

void UartRunContext::SetProgress(int bar, int percent) {
    sink_.Post(ProgressChanged{bar, percent});
}

bool UartRunContext::Fail(std::string runMessage, const Failure& why) {
    message = std::move(runMessage);
    running = false;
    // The port stays open for the whole run: one that is no longer open
    // under a failing step was disconnected, and that is why it failed.
    stopped_ = stopped_ || !port.IsOpen();
    reason_ = why.text;
    if (!why.text.empty())
        Diagnose(why.text);
    return false;
}

void UartRunContext::FinishWithDoneMessage() {
    message = "\r\n";
    running = false;
    doneReceived_ = true;
}

RunFinished UartRunContext::Finish() {
    RunFinished finished{Verdict::Passed, {}};
    if (!doneReceived_)
        finished = {stopped_ ? Verdict::Stopped : Verdict::Failed, reason_};
    sink_.Post(finished);
    return finished;
}

} // namespace marlow::uartloader
