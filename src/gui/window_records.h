#pragma once
// What a window keeps of the run store for as long as it is open: the writer
// its runs record through (the settings RunRecords, RunStore and
// StationId), and, when CentralDatabase is set, the forwarder that keeps the
// central database level with the station's store. The main window and the
// front panel each keep one and stop it when they close.

#include "common/result.h"
#include "records/forwarder.h"
#include "records/handset_recording.h"
#include "records/record.h"
#include "records/store_settings.h"
#include "uartloader/ui/uart_loader_dialog.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QSettings;

namespace marlow::records {
class RunRecorder;
class RunWriter;
} // namespace marlow::records

namespace marlow::gui {

class WindowRecords : public QObject {
    Q_OBJECT
public:
    // `frontEnd` names the window in each record ("main window").
    WindowRecords(const QSettings& store, std::string frontEnd, QObject* parent = nullptr);
    ~WindowRecords() override;

    const std::string& StorePath() const { return settings_.storePath; }
    // The setting StationId; empty: the writer names the host.
    const std::string& StationId() const { return settings_.stationId; }
    // Whether the settings let a run start now (RunRecords=required asks
    // the store); the refusal's text otherwise.
    Status MayStartRun() const;
    // The writer the window's runs share; null when recording is off.
    std::shared_ptr<records::RunWriter> Writer() const { return writer_; }
    // Begins a run's record; nothing when recording is off.
    std::unique_ptr<records::RunRecorder> Begin(records::RunFacts facts) const;
    // A finish's answer brought to this object's thread: `shown` is called
    // there with nothing when the record is durable, else with the text
    // that says this run is not recorded and why.
    std::function<void(const Status&)> Durable(std::function<void(const QString&)> shown);

    // A Stamp INSERT's record, begun before the file is written; what it
    // returns finishes it with the model, the version and the write's
    // outcome. Nothing is recorded when recording is off.
    std::function<void(const std::string&, const std::string&, const Status&)>
    RecordStamp(const std::string& path, std::function<void(const QString&)> notRecorded);

    // The UART loader dialog's runs, each recorded from its events with the
    // port as its slot; a start refused when records are required and
    // cannot be made. `notRecorded` hears, on this thread, why a run's
    // record did not land.
    uartloader::ui::LoaderDialogOptions::RecordRun
    RecordLoaderRuns(std::function<void(const QString&)> notRecorded);

    // A handset's run (PDA, phone, or both): `run`'s record begun afresh
    // for `kind` with the halves chosen (one still open there ends as
    // stopped), fed by its owner with the run's events. One per handset, so
    // several run side by side. `notRecorded` hears, on this thread, why a
    // record did not land.
    void BeginHandsetRun(std::unique_ptr<records::HandsetRecording>& run, std::string kind,
                         bool pdaHalf, bool phoneHalf,
                         std::function<void(const QString&)> notRecorded);

    bool Forwarding() const { return forwarder_ != nullptr; }
    records::ForwarderStatus ForwarderStatus() const;
    // Ends the forwarder's thread; the window is closing.
    void Stop();

signals:
    // The forwarder's backlog or last error changed (on this object's thread).
    void forwarderChanged();

private:
    records::RecordingSettings settings_;
    std::string settingsProblem_;
    std::string frontEnd_;
    std::shared_ptr<records::RunWriter> writer_;
    std::unique_ptr<records::Forwarder> forwarder_;
};

} // namespace marlow::gui
