#include "cli/run_recording.h"

#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/settings_store.h"
#include "cli/shared_options.h"
#include "common/printable_text.h"
#include "records/run_writer.h"
#include "records/sql_session.h"

#include <QJsonObject>

namespace marlow::cli {

namespace {

void TellNotRecorded(const std::string& command, const std::string& text, bool json) {
    Err(command + ": " + Printable(text) + "\n");
    if (json) {
        QJsonObject line;
        line["event"] = "problem";
        line["text"] = QString::fromStdString(text);
        OutJsonLine(line);
    }
}

} // namespace

std::optional<CommandRecording> CommandRecording::Open(const OptionReader& reader,
                                                       const QCommandLineOption& runStore,
                                                       const std::string& command, int* exitCode) {
    Result<records::RecordingSettings> settings =
        records::ReadRecordingSettings(UserSettingsStore());
    if (!settings) {
        Err(command + ": " + Printable(settings.Error()) + "\n");
        *exitCode = kExitUsage;
        return std::nullopt;
    }
    CommandRecording recording;
    recording.settings_ = std::move(*settings);
    recording.settings_.storePath = reader.RunStore(runStore);
    recording.command_ = command;
    if (recording.settings_.recording == records::Recording::Off)
        return recording;
    recording.writer_ = records::RunWriter::Start(
        {.storePath = recording.settings_.storePath, .stationId = recording.settings_.stationId});
    if (const Status may =
            records::MayStartRun(recording.settings_, recording.writer_.get(), kRecordFinishBound);
        !may) {
        Err(command + ": " + Printable(may.Error()) + "\n");
        *exitCode = kExitBadInput;
        return std::nullopt;
    }
    return recording;
}

std::unique_ptr<records::RunRecorder> CommandRecording::Begin(records::RunFacts facts) const {
    if (!writer_)
        return nullptr;
    // "marlow-cli stamp insert" records as "cli stamp insert".
    if (facts.frontEnd.empty())
        facts.frontEnd = "cli" + command_.substr(std::min(command_.find(' '), command_.size()));
    return writer_->Begin(std::move(facts));
}

int CommandRecording::Finished(const std::shared_future<Status>& finish, int jobCode,
                               bool json) const {
    std::string why;
    if (finish.wait_for(kRecordFinishBound) != std::future_status::ready)
        why = "This run is not recorded yet: the run store " + settings_.storePath +
              " did not take its record within " + std::to_string(kRecordFinishBound.count()) +
              " s; it is written when the store is free again";
    else if (const Status written = finish.get(); !written)
        why = records::NotRecordedText(Failure{written.Error()});
    if (why.empty())
        return jobCode;
    TellNotRecorded(command_, why, json);
    return jobCode == kExitOk ? kExitNotRecorded : jobCode;
}

} // namespace marlow::cli
