#include "records/handset_recording.h"

#include "records/recording_receiver.h"
#include "records/run_writer.h"

namespace marlow::records {

HandsetFacts WithModemPort(HandsetFacts handset, const phone::ModemPort& port) {
    handset.modemPort = port.path;
    if (handset.usbPath.empty())
        handset.usbPath = port.usbPortPath;
    return handset;
}

HandsetRecording::HandsetRecording() = default;

// A run the window left behind (it closed, or began another) was stopped
// by its operator, whatever its first half told.
HandsetRecording::~HandsetRecording() {
    End(RunEnding{.verdict = RecordVerdict::Stopped,
                  .reason = "the window closed before the run ended",
                  .errorClass = ErrorClass::OperatorStop});
}

void HandsetRecording::Begin(std::unique_ptr<RunRecorder> recorder, bool pdaHalf, bool phoneHalf,
                             std::function<void(const std::string&, const Status&)> durable) {
    End(RunEnding{.verdict = RecordVerdict::Stopped,
                  .reason = "another run began before this one ended",
                  .errorClass = ErrorClass::OperatorStop});
    handset_ = {};
    slotKnown_ = false;
    handedOver_ = false;
    pdaHalf_ = pdaHalf;
    phoneHalf_ = phoneHalf;
    durable_ = std::move(durable);
    if (recorder)
        receiver_ = std::make_unique<RecordingReceiver>(std::move(recorder));
}

void HandsetRecording::Inputs(const std::vector<InputFacts>& inputs) {
    if (receiver_)
        receiver_->Inputs(inputs);
}

void HandsetRecording::Slot(const std::string& path) {
    if (!receiver_ || path.empty())
        return;
    slotKnown_ = true;
    receiver_->Recorder().Slot(path);
    handset_.usbPath = path;
    receiver_->Handset(handset_);
}

// A phone-only run knows its handset by its modem alone: the modem's USB
// port is its slot, or the port itself where the port sits on none known.
void HandsetRecording::ModemPort(const phone::ModemPort& port) {
    if (!receiver_)
        return;
    if (!slotKnown_) {
        slotKnown_ = true;
        receiver_->Recorder().Slot(port.usbPortPath.empty() ? port.path : port.usbPortPath);
    }
    handset_ = WithModemPort(handset_, port);
    receiver_->Handset(handset_);
}

void HandsetRecording::Post(const pda::PdaEvent& event) {
    if (!receiver_)
        return;
    receiver_->Post(event);
    if (std::holds_alternative<pda::PhoneDownNext>(event))
        handedOver_ = true;
    // The run goes on to its phone half only after a PDA half that passed
    // and handed the handset over.
    if (const auto* finished = std::get_if<RunFinished>(&event);
        finished != nullptr &&
        (!phoneHalf_ || !handedOver_ || finished->verdict != Verdict::Passed)) {
        if (phoneHalf_)
            receiver_->RunEnded(*finished);
        End();
    }
}

void HandsetRecording::Post(const phone::PhoneRunEvent& event) {
    if (!receiver_)
        return;
    receiver_->Post(event);
    if (const auto* finished = std::get_if<RunFinished>(&event)) {
        if (pdaHalf_)
            receiver_->RunEnded(*finished);
        End();
    }
}

void HandsetRecording::RunEnded(const RunFinished& whole, Half half) {
    if (!receiver_)
        return;
    receiver_->RunEnded(whole, half);
    End();
}

void HandsetRecording::End(std::optional<RunEnding> given) {
    if (!receiver_)
        return;
    std::unique_ptr<RecordingReceiver> receiver = std::move(receiver_);
    const std::string runId = receiver->RunId();
    std::function<void(const std::string&, const Status&)> durable = std::move(durable_);
    receiver->Finish(std::move(given), [runId, durable](const Status& written) {
        if (durable)
            durable(runId, written);
    });
}

} // namespace marlow::records
