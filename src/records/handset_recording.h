#pragma once
// A window's handset run recorded from the events the window already
// receives, as a RecordingReceiver beside its skin: the PDA half's, then the
// phone half's. The window begins it as its run starts, with the halves the
// operator chose, and tells it what it learns of the handset on the way; the
// record ends with the run's own end (the PDA half's, unless it passed and
// handed the handset over to its modem; the phone half's), or where the
// window ends the run by a decision of its own.

#include "common/result.h"
#include "pda/pda_events.h"
#include "phone/phone_events.h"
#include "phone/phone_ports.h"
#include "records/record.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace marlow::records {

class RecordingReceiver;
class RunRecorder;

// What a window offers its runs of the run store: whether a run may start
// now (RunRecords=required asks the store), and a record begun; nothing
// comes back when recording is off.
struct RunRecordStart {
    std::function<Status()> mayStart;
    std::function<std::unique_ptr<RunRecorder>(RunFacts)> begin;
};

// The handset as a modem port shows it: the port the run used, and the USB
// port it sits on where that is known (a port found by the search, not one
// given by hand).
HandsetFacts WithModemPort(HandsetFacts handset, const phone::ModemPort& port);

class HandsetRecording {
public:
    HandsetRecording();
    ~HandsetRecording();
    HandsetRecording(const HandsetRecording&) = delete;
    HandsetRecording& operator=(const HandsetRecording&) = delete;

    // Ends a record still open (as stopped: the operator moved on), then begins
    // this run's; `durable` hears, on the writer's thread, whether its
    // finish landed. A null recorder records nothing.
    void Begin(std::unique_ptr<RunRecorder> recorder, bool pdaHalf, bool phoneHalf,
               std::function<void(const std::string& runId, const Status&)> durable);
    bool Live() const { return receiver_ != nullptr; }

    void Inputs(const std::vector<InputFacts>& inputs);
    // The USB port path the handset sits on (a virtual bus device's path
    // where the bus has no ports): the record's slot.
    void Slot(const std::string& path);
    void ModemPort(const phone::ModemPort& port);

    void Post(const pda::PdaEvent& event);
    void Post(const phone::PhoneRunEvent& event);
    // The whole run's end, for a window that hears its run as one stream:
    // ends a record its halves' events have not ended; `half` ended it.
    void RunEnded(const RunFinished& whole, Half half);
    // Ends the record now: with the end the events told, or `given`.
    void End(std::optional<RunEnding> given = std::nullopt);

private:
    std::unique_ptr<RecordingReceiver> receiver_;
    bool pdaHalf_ = false;
    bool phoneHalf_ = false;
    bool slotKnown_ = false;
    bool handedOver_ = false;
    HandsetFacts handset_;
    std::function<void(const std::string&, const Status&)> durable_;
};

} // namespace marlow::records
