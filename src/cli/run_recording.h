#pragma once
// Recording a command's runs: the settings RunRecords, RunStore and
// StationId, --run-store over RunStore, the writer the command's runs share,
// RunRecords=required refusing a start, and the one way a command says that
// a run is not recorded (stderr, a "problem" line with --json, exit 5 when
// the job itself succeeded).

#include "common/result.h"
#include "records/record.h"
#include "records/run_writer.h"
#include "records/store_settings.h"

#include <QCommandLineOption>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>

namespace marlow::records {
class RunRecorder;
class RunWriter;
} // namespace marlow::records

namespace marlow::cli {

class OptionReader;

class CommandRecording {
public:
    // The recording the settings and --run-store ask for, or nothing with
    // *exitCode set when the command ends here: a RunRecords value that is
    // none of on, off and required (exit 2), or RunRecords=required with a
    // store that cannot record now (exit 3, before a handset is touched).
    static std::optional<CommandRecording> Open(const OptionReader& reader,
                                                const QCommandLineOption& runStore,
                                                const std::string& command, int* exitCode);

    bool On() const { return writer_ != nullptr; }
    // The writer the command's runs share; null when recording is off.
    std::shared_ptr<records::RunWriter> Writer() const { return writer_; }
    // The settings with --run-store applied (the store, the station's name).
    const records::RecordingSettings& Settings() const { return settings_; }

    // Begins one run's record (verdict running), the station and front end
    // filled in; nothing when recording is off. A run told by events feeds
    // it through a records::RecordingReceiver.
    std::unique_ptr<records::RunRecorder> Begin(records::RunFacts facts) const;

    // Waits, bounded, until the record's finish is durable. When it is not,
    // says once why (stderr; with --json also {"event":"problem",...}) and
    // turns a job that succeeded into kExitNotRecorded; `jobCode` otherwise.
    int Finished(const std::shared_future<Status>& finish, int jobCode, bool json) const;

private:
    records::RecordingSettings settings_;
    std::shared_ptr<records::RunWriter> writer_;
    std::string command_;
};

using records::kRecordFinishBound;

} // namespace marlow::cli
