#include "records/recording_receiver.h"

#include "records/run_writer.h"

namespace marlow::records {

RecordingReceiver::RecordingReceiver(std::unique_ptr<RunRecorder> recorder)
    : recorder_(std::move(recorder)), builder_(*recorder_) {}

// A receiver dropped before its run's end leaves the record interrupted
// (the recorder's own rule), never a verdict nobody saw.
RecordingReceiver::~RecordingReceiver() = default;

const std::string& RecordingReceiver::RunId() const {
    return recorder_->RunId();
}

void RecordingReceiver::Inputs(const std::vector<InputFacts>& inputs) {
    for (const InputFacts& input : inputs)
        recorder_->Input(input);
}

void RecordingReceiver::Handset(HandsetFacts handset) {
    recorder_->Handset(std::move(handset));
}

void RecordingReceiver::Post(const pda::PdaEvent& event) {
    builder_.Follow(event);
    // The serial number tells a handset apart when it comes back for a retest.
    if (const auto* connected = std::get_if<pda::DeviceConnected>(&event);
        connected != nullptr && !connected->serialNumber.empty())
        recorder_->SerialNumber(connected->serialNumber);
}

void RecordingReceiver::Post(const phone::PhoneRunEvent& event) {
    builder_.Follow(event);
}

void RecordingReceiver::Post(const uartloader::LoaderEvent& event) {
    builder_.Follow(event);
}

void RecordingReceiver::RunEnded(const RunFinished& whole, Half half) {
    builder_.RunEnded(whole, half);
}

std::shared_future<Status> RecordingReceiver::Finish(std::optional<RunEnding> given,
                                                     std::function<void(const Status&)> durable) {
    return builder_.Finish(std::move(given), std::move(durable));
}

} // namespace marlow::records
