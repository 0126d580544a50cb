#pragma once
// Recording runs without making them wait: each run posts what happens to
// the writer, whose own thread owns the store's connection and writes. A
// record is written when its run begins (verdict `running`), grows as steps
// and files come, and is finished in one transaction when the run ends.
//
// When the store fails (read-only, full, locked beyond the busy time-out,
// damaged) the run goes on: what could not be written stays in memory and
// goes with the next write, so a store that recovers still gets the whole
// record; a finish that cannot be written says so, once, with the reason.
// A finish that found the store locked is tried again, with growing pauses,
// for a while: several programs writing at once on a loaded disk can hold
// the lock longer than the busy time-out, and that must not lose a record.
// Its future stays unanswered meanwhile, so a front end's bounded wait may
// give up first ("not recorded yet") while the record still lands.
//
// How front ends learn that a finish is durable before they show the
// verdict: marlow-cli waits for the finish's future (bounded by the busy
// time-out and a margin); the windows (main window, front panel) pass a
// callback to Finish and show the verdict when it is called, posted to their
// own thread.

#include "common/result.h"
#include "records/record.h"

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>

namespace marlow::records {

class RunRecorder;
struct RecordingSettings;

// How long a front end waits for a record's finish before it says the run is
// not recorded yet: the store's busy time-out and a margin.
inline constexpr std::chrono::seconds kRecordFinishBound{15};

struct WriterOptions {
    std::string storePath{};
    // The station each record names unless its facts do (the setting
    // StationId); the host name when empty.
    std::string stationId{};
    std::chrono::milliseconds busyWait{5000};
    // How long a finish that found the store locked is tried again.
    std::chrono::milliseconds lockedRetries{60000};
    // UTC milliseconds since 1970; the system clock unless a test sets one.
    std::function<std::int64_t()> clock{};
};

class RunWriter : public std::enable_shared_from_this<RunWriter> {
public:
    static std::shared_ptr<RunWriter> Start(WriterOptions options);
    // Writes everything posted (a locked finish tried again until its
    // retries run out), then ends the thread. Recorders keep their writer
    // alive, so this runs after the last of them is gone.
    ~RunWriter();
    RunWriter(const RunWriter&) = delete;
    RunWriter& operator=(const RunWriter&) = delete;

    // Whether a run could be recorded now, for `RunRecords=required`: the
    // store opens, takes a write lock and has room. Waits at most `bound`.
    Status CanRecord(std::chrono::milliseconds bound);

    // Waits at most `bound` until everything posted before this call has
    // been written (or has failed); false when the bound passed first. For
    // a program about to end, and for tests.
    bool Settle(std::chrono::milliseconds bound);

    // Begins a record with verdict `running`; returns at once. Facts left
    // empty are filled in: a new run id, the start time, the writer's
    // station, the user this process runs as, Marlow's version.
    std::unique_ptr<RunRecorder> Begin(RunFacts facts);

    std::int64_t Now() const;
    const std::string& StorePath() const;

    struct Core;

private:
    explicit RunWriter(WriterOptions options);
    std::unique_ptr<Core> core_;
    friend class RunRecorder;
};

// Whether a run may start: always, unless the settings make records
// mandatory (`RunRecords=required`) and the store cannot record now (or no
// writer could be started); then why not, for the front end to show. Every
// front end asks this before it touches a handset.
Status MayStartRun(const RecordingSettings& settings, RunWriter* writer,
                   std::chrono::milliseconds bound);

// One run's record. Calls come from whichever thread runs the run, one at a
// time; each only posts to the writer.
class RunRecorder {
public:
    ~RunRecorder(); // an unfinished record ends as interrupted
    RunRecorder(const RunRecorder&) = delete;
    RunRecorder& operator=(const RunRecorder&) = delete;

    const std::string& RunId() const { return runId_; }
    std::int64_t Now() const { return writer_->Now(); }

    // The handset as learnt so far; a serial number learnt before stays
    // where these facts have none.
    void Handset(HandsetFacts handset);
    // The handset's serial number, as its boot loader opened.
    void SerialNumber(std::string serialNumber);
    // The port the handset sits on, learnt after the record began (a window
    // begins it at Down Start, before the handset has come).
    void Slot(std::string slot);
    void Input(InputFacts input);
    // A step begins now; returns its number for StepEnded.
    int StepStarted(std::string kind, std::string name);
    void StepEnded(int step, std::string outcome, std::optional<std::int64_t> bytes = {},
                   int retries = 0);
    // One line of the run's event stream (a JSON object, no line break).
    void Event(std::string jsonLine);
    void Stamp(StampFacts stamp);

    // Ends the record: the verdict with everything not yet written, in one
    // transaction. The future (and `durable`, on the writer's thread) tells
    // when it is on the disk, or why it is not. The first call counts.
    std::shared_future<Status> Finish(RunEnding ending,
                                      std::function<void(const Status&)> durable = {});

    struct Log;

private:
    friend class RunWriter;
    RunRecorder(std::shared_ptr<RunWriter> writer, std::shared_ptr<Log> log, std::string runId);
    void Post(std::function<void(Log&)> change);

    std::shared_ptr<RunWriter> writer_;
    std::shared_ptr<Log> log_;
    std::string runId_{};
    int nextStep_ = 0;
    std::optional<std::shared_future<Status>> finished_;
};

} // namespace marlow::records
