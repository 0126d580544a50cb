#include "gui/window_records.h"

#include "records/central.h"
#include "records/recording_receiver.h"
#include "records/run_inputs.h"
#include "records/run_writer.h"
#include "records/sql_session.h"
#include "records/stamp_record.h"

#include <QPointer>
#include <QSettings>

namespace marlow::gui {

namespace {

// What RunRecords=required waits for before a run starts: the store's busy
// time-out and a margin.
constexpr std::chrono::seconds kMayStartBound{10};

// A loader run's record: its events kept as they come, finished by the
// run's own end.
class LoaderRecord final : public uartloader::LoaderSink {
public:
    LoaderRecord(std::unique_ptr<records::RunRecorder> run,
                 std::function<void(const Status&)> durable)
        : receiver_(std::move(run)), durable_(std::move(durable)) {}
    void Post(const uartloader::LoaderEvent& event) override {
        receiver_.Post(event);
        if (std::holds_alternative<RunFinished>(event))
            receiver_.Finish(std::nullopt, durable_);
    }

private:
    records::RecordingReceiver receiver_;
    std::function<void(const Status&)> durable_;
};

} // namespace

WindowRecords::WindowRecords(const QSettings& store, std::string frontEnd, QObject* parent)
    : QObject(parent), frontEnd_(std::move(frontEnd)) {
    Result<records::RecordingSettings> settings = records::ReadRecordingSettings(store);
    if (settings) {
        settings_ = std::move(*settings);
    } else {
        // A mistyped value must never record less than was asked: the
        // strictest reading, with the reason for every refused start.
        settingsProblem_ = settings.Error();
        settings_.recording = records::Recording::Required;
        settings_.storePath = records::StorePathSetting(store);
    }
    if (settings_.recording != records::Recording::Off && settingsProblem_.empty())
        writer_ = records::RunWriter::Start(
            {.storePath = settings_.storePath, .stationId = settings_.stationId});
    const records::CentralSettings central = records::ReadCentralSettings(store);
    if (!central.dsn.empty()) {
        QPointer<WindowRecords> self(this);
        forwarder_ =
            records::Forwarder::Start({.storePath = settings_.storePath,
                                       .central = central,
                                       .statusChanged = [self](const records::ForwarderStatus&) {
                                           if (self)
                                               QMetaObject::invokeMethod(
                                                   self.data(),
                                                   [self] {
                                                       if (self)
                                                           emit self->forwarderChanged();
                                                   },
                                                   Qt::QueuedConnection);
                                       }});
    }
}

WindowRecords::~WindowRecords() {
    Stop();
}

Status WindowRecords::MayStartRun() const {
    if (!settingsProblem_.empty())
        return Failure{"No run starts: " + settingsProblem_};
    return records::MayStartRun(settings_, writer_.get(), kMayStartBound);
}

std::unique_ptr<records::RunRecorder> WindowRecords::Begin(records::RunFacts facts) const {
    if (!writer_)
        return nullptr;
    if (facts.frontEnd.empty())
        facts.frontEnd = frontEnd_;
    return writer_->Begin(std::move(facts));
}

std::function<void(const Status&)>
WindowRecords::Durable(std::function<void(const QString&)> shown) {
    QPointer<WindowRecords> self(this);
    return [self, shown = std::move(shown)](const Status& written) {
        const QString text =
            written ? QString()
                    : QString::fromStdString(records::NotRecordedText(Failure{written.Error()}));
        if (self)
            QMetaObject::invokeMethod(
                self.data(),
                [self, shown, text] {
                    if (self)
                        shown(text);
                },
                Qt::QueuedConnection);
    };
}

std::function<void(const std::string&, const std::string&, const Status&)>
WindowRecords::RecordStamp(const std::string& path,
                           std::function<void(const QString&)> notRecorded) {
    std::unique_ptr<records::RunRecorder> run = Begin({.kind = "stamp"});
    if (!run)
        return [](const std::string&, const std::string&, const Status&) {};
    auto record = std::make_shared<records::StampRecording>(std::move(run), path);
    return [this, record, notRecorded = std::move(notRecorded)](
               const std::string& model, const std::string& version, const Status& written) {
        record->Finish(model, version, written, Durable([notRecorded](const QString& text) {
                           if (!text.isEmpty())
                               notRecorded(text);
                       }));
    };
}

uartloader::ui::LoaderDialogOptions::RecordRun
WindowRecords::RecordLoaderRuns(std::function<void(const QString&)> notRecorded) {
    return
        [this, notRecorded = std::move(notRecorded)](const uartloader::UartLoaderSession& session)
            -> Result<std::unique_ptr<uartloader::LoaderSink>> {
            if (const Status may = MayStartRun(); !may)
                return Failure{may.Error()};
            std::unique_ptr<records::RunRecorder> run =
                Begin({.slot = session.Settings().port, .kind = "uart"});
            if (!run)
                return std::unique_ptr<uartloader::LoaderSink>();
            for (const records::InputFacts& input : records::InputsOfLoaderRun(session))
                run->Input(input);
            return std::unique_ptr<uartloader::LoaderSink>(std::make_unique<LoaderRecord>(
                std::move(run), Durable([notRecorded](const QString& text) {
                    if (!text.isEmpty())
                        notRecorded(text);
                })));
        };
}

void WindowRecords::BeginHandsetRun(std::unique_ptr<records::HandsetRecording>& run,
                                    std::string kind, bool pdaHalf, bool phoneHalf,
                                    std::function<void(const QString&)> notRecorded) {
    std::function<void(const Status&)> durable = Durable([notRecorded](const QString& text) {
        if (!text.isEmpty())
            notRecorded(text);
    });
    if (!run)
        run = std::make_unique<records::HandsetRecording>();
    run->Begin(Begin({.kind = std::move(kind)}), pdaHalf, phoneHalf,
               [durable](const std::string&, const Status& written) { durable(written); });
}

records::ForwarderStatus WindowRecords::ForwarderStatus() const {
    return forwarder_ ? forwarder_->Status() : records::ForwarderStatus{};
}

void WindowRecords::Stop() {
    if (forwarder_)
        forwarder_->Stop();
}

} // namespace marlow::gui
