#include "records/run_writer.h"

#include "records/outbox.h"
#include "records/process_identity.h"
#include "records/records_log.h"
#include "records/sql_session.h"
#include "records/store.h"
#include "records/store_settings.h"

#include <QDateTime>
#include <QUuid>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <pwd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace marlow::records {

namespace {

// Events are written in compressed chunks of about this much text, so a
// run that dies leaves most of its evidence behind.
constexpr std::size_t kEventChunk = 64 * 1024;
// What a run keeps in memory while its store cannot take it.
constexpr std::size_t kMostPendingEvents = 32 * 1024 * 1024;
// The pauses between tries of a finish that found the store locked.
constexpr std::chrono::milliseconds kFirstRetryPause{50};
constexpr std::chrono::milliseconds kLongestRetryPause{2000};

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QVariant OptionalNumber(const std::optional<std::int64_t>& number) {
    return number ? QVariant(static_cast<qlonglong>(*number))
                  : QVariant(QMetaType::fromType<qlonglong>());
}

// The user this process runs as.
std::string OperatorName() {
    if (const passwd* user = ::getpwuid(::geteuid()); user != nullptr && user->pw_name != nullptr)
        return user->pw_name;
    return qEnvironmentVariable("USER").toStdString();
}

} // namespace

// The writer's side of one record: what is known, and what of it is written.
struct RunRecorder::Log {
    RunFacts facts;
    bool rowWritten = false;
    bool handsetChanged = false;
    std::vector<InputFacts> inputs;
    std::size_t inputsWritten = 0;
    std::vector<StepFacts> steps;
    std::vector<bool> stepChanged;
    std::string events;
    int eventLines = 0;
    int chunksWritten = 0;
    std::int64_t droppedLines = 0;
    std::optional<StampFacts> stamp;
    bool stampChanged = false;
    std::optional<RunEnding> ending;
    std::promise<Status> durable;
    std::function<void(const Status&)> onDurable;
    bool listed = false; // among the writer's changed records
    bool done = false;
};

struct RunWriter::Core {
    explicit Core(WriterOptions writerOptions) : options(std::move(writerOptions)) {}

    void Post(std::function<void()> task) {
        {
            const std::lock_guard lock(mutex);
            tasks.push_back(std::move(task));
        }
        wake.notify_one();
    }

    // A finish that found the store locked, to be tried again.
    struct Retry {
        std::shared_ptr<RunRecorder::Log> log;
        std::chrono::steady_clock::time_point due;
        std::chrono::milliseconds pause;
        std::chrono::steady_clock::time_point lastTry;
    };

    void Loop();
    void Changed(const std::shared_ptr<RunRecorder::Log>& log);
    Result<const RunStore*> Store();
    Status Write(RunRecorder::Log& log, bool final);
    void Finish(const std::shared_ptr<RunRecorder::Log>& log);
    void RetryDue();
    static void Conclude(RunRecorder::Log& log, const Status& written);

    const WriterOptions options;
    const WriterIdentity identity = ThisWriter();
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    bool ending = false;
    std::thread thread;

    // The writer's thread only.
    std::unique_ptr<RunStore> store;
    std::vector<std::shared_ptr<RunRecorder::Log>> changed;
    // Answered once the batch they came in has been written.
    std::vector<std::shared_ptr<std::promise<void>>> settled;
    std::vector<Retry> retries;
};

void RunWriter::Core::Loop() {
    for (;;) {
        std::deque<std::function<void()>> batch;
        {
            std::unique_lock lock(mutex);
            // An ending writer with finishes still to try waits for them.
            const auto posted = [this] { return !tasks.empty() || (ending && retries.empty()); };
            if (retries.empty()) {
                wake.wait(lock, posted);
            } else {
                auto due = retries.front().due;
                for (const Retry& retry : retries)
                    due = std::min(due, retry.due);
                wake.wait_until(lock, due, posted);
            }
            if (tasks.empty() && ending && retries.empty())
                break;
            batch.swap(tasks);
        }
        for (const auto& task : batch)
            task();
        RetryDue();
        // One write per record for all that came together.
        for (const auto& log : changed) {
            log->listed = false;
            if (!log->done)
                (void)Write(*log, false);
        }
        changed.clear();
        for (const auto& promise : settled)
            promise->set_value();
        settled.clear();
    }
    store.reset();
}

void RunWriter::Core::Changed(const std::shared_ptr<RunRecorder::Log>& log) {
    if (!log->listed) {
        log->listed = true;
        changed.push_back(log);
    }
}

Result<const RunStore*> RunWriter::Core::Store() {
    if (!store) {
        Result<std::unique_ptr<RunStore>> opened = RunStore::Open({.path = options.storePath,
                                                                   .access = StoreAccess::Record,
                                                                   .busyWait = options.busyWait});
        if (!opened)
            return Failure{opened.Error()};
        store = std::move(*opened);
    }
    return store.get();
}

Status RunWriter::Core::Write(RunRecorder::Log& log, bool final) {
    const bool chunkDue = log.events.size() >= kEventChunk || (final && !log.events.empty());
    std::size_t changedSteps = 0;
    for (const bool stepChanged : log.stepChanged)
        changedSteps += stepChanged ? 1 : 0;
    if (!final && log.rowWritten && !log.handsetChanged && log.inputsWritten == log.inputs.size() &&
        changedSteps == 0 && !chunkDue && !log.stampChanged)
        return {};
    const Result<const RunStore*> opened = Store();
    if (!opened)
        return Failure{opened.Error()};
    const SqlSession& session = (*opened)->Session();
    const RunFacts& facts = log.facts;
    const QString runId = Text(facts.runId);
    const Status written = session.InTransaction([&]() -> Status {
        if (!log.rowWritten) {
            if (Status done = session.Exec(
                    QStringLiteral(
                        "INSERT INTO runs (run_id, station_id, slot, front_end, operator, "
                        "marlow_version, kind, usb_path, serial_number, modem_port, started_ms, "
                        "ended_ms, verdict, reason, error_class, failed_half, writer_host, "
                        "writer_pid, writer_start) VALUES "
                        "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, NULL, ?, '', '', '', ?, ?, ?)"),
                    {runId, Text(facts.stationId), Text(facts.slot), Text(facts.frontEnd),
                     Text(facts.operatorName), Text(facts.marlowVersion), Text(facts.kind),
                     Text(facts.handset.usbPath), Text(facts.handset.serialNumber),
                     Text(facts.handset.modemPort), static_cast<qlonglong>(facts.startedMs),
                     QString::fromUtf8(NameOf(RecordVerdict::Running)), Text(identity.host),
                     static_cast<qlonglong>(identity.pid), Text(identity.start)});
                !done)
                return done;
        } else if (log.handsetChanged) {
            if (Status done = session.Exec(
                    QStringLiteral("UPDATE runs SET slot = ?, usb_path = ?, serial_number = ?, "
                                   "modem_port = ? WHERE run_id = ?"),
                    {Text(facts.slot), Text(facts.handset.usbPath),
                     Text(facts.handset.serialNumber), Text(facts.handset.modemPort), runId});
                !done)
                return done;
        }
        for (std::size_t i = log.inputsWritten; i < log.inputs.size(); ++i) {
            const InputFacts& input = log.inputs[i];
            if (Status done = session.Exec(
                    QStringLiteral("INSERT INTO run_inputs (run_id, position, role, path, size, "
                                   "sha256, model, version, source) "
                                   "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                    {runId, static_cast<int>(i), Text(input.role), Text(input.path),
                     OptionalNumber(input.size), Text(input.sha256), Text(input.model),
                     Text(input.version), Text(input.source)});
                !done)
                return done;
        }
        for (std::size_t i = 0; i < log.steps.size(); ++i) {
            if (!log.stepChanged[i])
                continue;
            const StepFacts& step = log.steps[i];
            if (Status done = session.Exec(
                    QStringLiteral(
                        "INSERT INTO run_steps (run_id, position, kind, name, started_ms, "
                        "ended_ms, bytes, retries, outcome) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) "
                        "ON CONFLICT (run_id, position) DO UPDATE SET ended_ms = "
                        "excluded.ended_ms, bytes = excluded.bytes, retries = excluded.retries, "
                        "outcome = excluded.outcome"),
                    {runId, static_cast<int>(i), Text(step.kind), Text(step.name),
                     static_cast<qlonglong>(step.startedMs), OptionalNumber(step.endedMs),
                     OptionalNumber(step.bytes), step.retries, Text(step.outcome)});
                !done)
                return done;
        }
        if (chunkDue) {
            const QByteArray packed = qCompress(QByteArray::fromRawData(
                log.events.data(), static_cast<qsizetype>(log.events.size())));
            if (Status done = session.Exec(
                    QStringLiteral("INSERT INTO run_events (run_id, chunk, line_count, lines) "
                                   "VALUES (?, ?, ?, ?)"),
                    {runId, log.chunksWritten, log.eventLines, packed});
                !done)
                return done;
        }
        if (log.stampChanged && log.stamp) {
            if (Status done = session.Exec(
                    QStringLiteral("INSERT INTO run_stamps (run_id, file, digest_before, "
                                   "digest_after, model, version) VALUES (?, ?, ?, ?, ?, ?)"),
                    {runId, Text(log.stamp->file), Text(log.stamp->digestBefore),
                     Text(log.stamp->digestAfter), Text(log.stamp->model),
                     Text(log.stamp->version)});
                !done)
                return done;
        }
        if (final && log.ending) {
            const RunEnding& ending = *log.ending;
            if (Status done = session.Exec(
                    QStringLiteral("UPDATE runs SET verdict = ?, reason = ?, error_class = ?, "
                                   "failed_half = ?, ended_ms = ? WHERE run_id = ?"),
                    {QString::fromUtf8(NameOf(ending.verdict)), Text(ending.reason),
                     QString::fromUtf8(NameOf(ending.errorClass)),
                     QString::fromUtf8(NameOf(ending.half)), OptionalNumber(ending.endedMs),
                     runId});
                !done)
                return done;
            if (Status done = QueueForCentral(session, runId); !done)
                return done;
        }
        return {};
    });
    if (!written) {
        qCDebug(lcRecords).noquote() << "run" << runId << "not written:" << Text(written.Error());
        // A failed write may have been a connection gone bad: open afresh next time.
        store.reset();
        return written;
    }
    log.rowWritten = true;
    log.handsetChanged = false;
    log.inputsWritten = log.inputs.size();
    log.stepChanged.assign(log.steps.size(), false);
    log.stampChanged = false;
    if (chunkDue) {
        log.events.clear();
        log.eventLines = 0;
        ++log.chunksWritten;
    }
    return {};
}

void RunWriter::Core::Finish(const std::shared_ptr<RunRecorder::Log>& log) {
    if (log->droppedLines > 0) {
        log->events +=
            "{\"event\":\"events-dropped\",\"count\":" + std::to_string(log->droppedLines) + "}\n";
        ++log->eventLines;
    }
    const Status written = Write(*log, true);
    log->done = true;
    if (!written && IsLockedFailure(Failure{written.Error()}) &&
        options.lockedRetries.count() > 0) {
        const auto now = std::chrono::steady_clock::now();
        retries.push_back({.log = log,
                           .due = now + kFirstRetryPause,
                           .pause = kFirstRetryPause,
                           .lastTry = now + options.lockedRetries});
        return;
    }
    Conclude(*log, written);
}

void RunWriter::Core::RetryDue() {
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(retries, [&](Retry& retry) {
        if (retry.due > now)
            return false;
        const Status written = Write(*retry.log, true);
        if (written || !IsLockedFailure(Failure{written.Error()}) || retry.due >= retry.lastTry) {
            Conclude(*retry.log, written);
            return true;
        }
        qCDebug(lcRecords).noquote() << "run" << Text(retry.log->facts.runId)
                                     << "finish tried again in" << retry.pause.count() << "ms";
        retry.pause = std::min(retry.pause * 2, kLongestRetryPause);
        retry.due = std::min(std::chrono::steady_clock::now() + retry.pause, retry.lastTry);
        return false;
    });
}

void RunWriter::Core::Conclude(RunRecorder::Log& log, const Status& written) {
    if (log.onDurable)
        log.onDurable(written);
    log.durable.set_value(written);
}

RunWriter::RunWriter(WriterOptions options) : core_(std::make_unique<Core>(std::move(options))) {
    core_->thread = std::thread([core = core_.get()] { core->Loop(); });
}

std::shared_ptr<RunWriter> RunWriter::Start(WriterOptions options) {
    if (!options.clock)
        options.clock = [] { return QDateTime::currentMSecsSinceEpoch(); };
    return std::shared_ptr<RunWriter>(new RunWriter(std::move(options)));
}

RunWriter::~RunWriter() {
    {
        const std::lock_guard lock(core_->mutex);
        core_->ending = true;
    }
    core_->wake.notify_one();
    core_->thread.join();
}

std::int64_t RunWriter::Now() const {
    return core_->options.clock();
}

const std::string& RunWriter::StorePath() const {
    return core_->options.storePath;
}

Status RunWriter::CanRecord(std::chrono::milliseconds bound) {
    auto answer = std::make_shared<std::promise<Status>>();
    std::future<Status> answered = answer->get_future();
    core_->Post([core = core_.get(), answer] {
        const Result<const RunStore*> opened = core->Store();
        answer->set_value(opened ? (*opened)->ProbeWrite() : Status{Failure{opened.Error()}});
    });
    if (answered.wait_for(bound) != std::future_status::ready)
        return Failure{"the run store " + core_->options.storePath + " did not answer within " +
                       std::to_string(bound.count()) + " ms"};
    return answered.get();
}

bool RunWriter::Settle(std::chrono::milliseconds bound) {
    auto promise = std::make_shared<std::promise<void>>();
    std::future<void> settled = promise->get_future();
    core_->Post([core = core_.get(), promise] { core->settled.push_back(promise); });
    return settled.wait_for(bound) == std::future_status::ready;
}

std::unique_ptr<RunRecorder> RunWriter::Begin(RunFacts facts) {
    if (facts.runId.empty())
        facts.runId = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    if (facts.startedMs == 0)
        facts.startedMs = Now();
    if (facts.stationId.empty())
        facts.stationId = core_->options.stationId;
    if (facts.stationId.empty())
        facts.stationId = DefaultStationId();
    if (facts.operatorName.empty())
        facts.operatorName = OperatorName();
    if (facts.marlowVersion.empty())
        facts.marlowVersion = MARLOW_VERSION;
    auto log = std::make_shared<RunRecorder::Log>();
    log->facts = facts;
    std::unique_ptr<RunRecorder> recorder(new RunRecorder(shared_from_this(), log, facts.runId));
    recorder->Post([](RunRecorder::Log&) {});
    return recorder;
}

Status MayStartRun(const RecordingSettings& settings, RunWriter* writer,
                   std::chrono::milliseconds bound) {
    if (settings.recording != Recording::Required)
        return {};
    const Status can = writer != nullptr
                           ? writer->CanRecord(bound)
                           : Status{Failure{"no run store is open at " + settings.storePath}};
    if (can)
        return {};
    return Failure{"No run starts: the setting RunRecords is required, and " + can.Error()};
}

RunRecorder::RunRecorder(std::shared_ptr<RunWriter> writer, std::shared_ptr<Log> log,
                         std::string runId)
    : writer_(std::move(writer)), log_(std::move(log)), runId_(std::move(runId)) {}

RunRecorder::~RunRecorder() {
    if (!finished_)
        Finish({.verdict = RecordVerdict::Interrupted,
                .reason = "the run ended without a verdict",
                .errorClass = ErrorClass::Internal,
                .endedMs = Now()});
}

void RunRecorder::Post(std::function<void(Log&)> change) {
    RunWriter::Core* core = writer_->core_.get();
    core->Post([core, log = log_, change = std::move(change)] {
        if (log->done)
            return;
        change(*log);
        core->Changed(log);
    });
}

void RunRecorder::Handset(HandsetFacts handset) {
    Post([handset = std::move(handset)](Log& log) {
        std::string serialNumber = std::move(log.facts.handset.serialNumber);
        log.facts.handset = handset;
        if (log.facts.handset.serialNumber.empty())
            log.facts.handset.serialNumber = std::move(serialNumber);
        log.handsetChanged = true;
    });
}

void RunRecorder::SerialNumber(std::string serialNumber) {
    Post([serialNumber = std::move(serialNumber)](Log& log) {
        log.facts.handset.serialNumber = serialNumber;
        log.handsetChanged = true;
    });
}

void RunRecorder::Slot(std::string slot) {
    Post([slot = std::move(slot)](Log& log) {
        log.facts.slot = slot;
        log.handsetChanged = true;
    });
}

void RunRecorder::Input(InputFacts input) {
    Post([input = std::move(input)](Log& log) { log.inputs.push_back(input); });
}

int RunRecorder::StepStarted(std::string kind, std::string name) {
    const int step = nextStep_++;
    Post([step, at = Now(), kind = std::move(kind), name = std::move(name)](Log& log) {
        log.steps.resize(std::max<std::size_t>(log.steps.size(), step + 1));
        log.stepChanged.resize(log.steps.size());
        log.steps[step] =
            StepFacts{.kind = kind, .name = name, .startedMs = at, .outcome = "running"};
        log.stepChanged[step] = true;
    });
    return step;
}

void RunRecorder::StepEnded(int step, std::string outcome, std::optional<std::int64_t> bytes,
                            int retries) {
    Post([step, at = Now(), outcome = std::move(outcome), bytes, retries](Log& log) {
        if (step < 0 || static_cast<std::size_t>(step) >= log.steps.size())
            return;
        StepFacts& facts = log.steps[step];
        facts.endedMs = at;
        facts.outcome = outcome;
        facts.bytes = bytes;
        facts.retries = retries;
        log.stepChanged[step] = true;
    });
}

void RunRecorder::Event(std::string jsonLine) {
    RunWriter::Core* core = writer_->core_.get();
    // Not through Post: a line alone does not make the record changed until
    // a chunk is full.
    core->Post([core, log = log_, line = std::move(jsonLine)] {
        if (log->done)
            return;
        if (log->events.size() + line.size() >= kMostPendingEvents) {
            ++log->droppedLines;
            return;
        }
        log->events += line;
        log->events += '\n';
        ++log->eventLines;
        if (log->events.size() >= kEventChunk)
            core->Changed(log);
    });
}

void RunRecorder::Stamp(StampFacts stamp) {
    Post([stamp = std::move(stamp)](Log& log) {
        log.stamp = stamp;
        log.stampChanged = true;
    });
}

std::shared_future<Status> RunRecorder::Finish(RunEnding ending,
                                               std::function<void(const Status&)> durable) {
    if (finished_)
        return *finished_;
    if (!ending.endedMs)
        ending.endedMs = Now();
    finished_ = log_->durable.get_future().share();
    RunWriter::Core* core = writer_->core_.get();
    core->Post([core, log = log_, ending = std::move(ending), durable = std::move(durable)] {
        log->ending = ending;
        log->onDurable = durable;
        core->Finish(log);
    });
    return *finished_;
}

} // namespace marlow::records
