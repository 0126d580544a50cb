#pragma once
// A run's record kept by one more receiver of its events, as the skins keep
// their views: the PDA half's events, the phone half's, and for a run of
// both the whole run's end, in the order the run tells them. Front ends plug
// it in beside their skin and never decide steps themselves; what becomes a
// step is the RecordBuilder's business.
//
// A Total run's stream is the PDA half (ending in its own RunFinished: it
// handed over), then the phone half (ending in its own), then the whole
// run's RunFinished, told through RunEnded: its verdict and reason are the
// record's, while which half failed it and why come from the halves.

#include "pda/pda_events.h"
#include "phone/phone_events.h"
#include "records/record_builder.h"
#include "uartloader/loader_events.h"

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

namespace marlow::records {

class RunRecorder;

class RecordingReceiver : public pda::PdaEventSink,
                          public phone::PhoneEventSink,
                          public uartloader::LoaderSink {
public:
    explicit RecordingReceiver(std::unique_ptr<RunRecorder> recorder);
    ~RecordingReceiver() override;
    RecordingReceiver(const RecordingReceiver&) = delete;
    RecordingReceiver& operator=(const RecordingReceiver&) = delete;

    const std::string& RunId() const;
    RunRecorder& Recorder() { return *recorder_; }

    // The files the run uses (see run_inputs.h) and the handset as it is
    // learnt; both may come at any time before the end.
    void Inputs(const std::vector<InputFacts>& inputs);
    void Handset(HandsetFacts handset);

    void Post(const pda::PdaEvent& event) override;
    void Post(const phone::PhoneRunEvent& event) override;
    void Post(const uartloader::LoaderEvent& event) override;
    // The whole run's end, after its halves'.
    void RunEnded(const RunFinished& whole, Half half = Half::None);

    // Finishes the record with the end the events told (or `given`, where
    // the front end knows better); `durable` is called on the writer's
    // thread when the record is on the disk or has failed.
    std::shared_future<Status> Finish(std::optional<RunEnding> given = std::nullopt,
                                      std::function<void(const Status&)> durable = {});

private:
    std::unique_ptr<RunRecorder> recorder_;
    RecordBuilder builder_;
};

} // namespace marlow::records
