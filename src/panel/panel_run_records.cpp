// The panel's runs in the run store: one record a handset, begun at Down
// Start and fed the events the panel already shows. Whether it landed is
// said in the panel's log: its last line for a run names the record, or
// says (with the status line) that the run is not recorded and why.

#include "panel/front_panel_dialog.h"
#include "panel/panel_run.h"
#include "records/run_writer.h"
#include "records/sql_session.h"

#include <QPointer>
#include <utility>

namespace marlow::panel {

using handset::ONLY_PDA_DOWN;
using handset::ONLY_PHONE_DOWN;

// RunRecords=required: no run starts that cannot be recorded, and the
// operator reads why.
bool PanelRun::RecordingRefusesStart() {
    if (!setup_.records.mayStart)
        return false;
    const Status may = setup_.records.mayStart();
    if (may)
        return false;
    const QString why = QString::fromStdString(may.Error());
    panel_.Log(why);
    panel_.SetStatus(why, StatusTone::Failed);
    return true;
}

void PanelRun::BeginRecord(int selection) {
    ShowHeldRecords();
    if (!setup_.records.begin)
        return;
    const bool pda = (selection & ONLY_PDA_DOWN) != 0;
    const bool phone = (selection & ONLY_PHONE_DOWN) != 0;
    QPointer<PanelRun> self(this);
    recording_.Begin(setup_.records.begin({.frontEnd = "front panel",
                                           .kind = pda && phone ? "total"
                                                   : pda        ? "pda"
                                                                : "phone"}),
                     pda, phone, [self](const std::string& runId, const Status& written) {
                         const QString notRecorded =
                             written ? QString()
                                     : QString::fromStdString(
                                           records::NotRecordedText(Failure{written.Error()}));
                         QMetaObject::invokeMethod(
                             self.data(),
                             [self, runId, notRecorded] {
                                 if (self)
                                     self->ShowRecorded(runId, notRecorded);
                             },
                             Qt::QueuedConnection);
                     });
}

void PanelRun::EndRecord(records::RecordVerdict verdict, records::ErrorClass errorClass,
                         records::Half half, std::string reason) {
    recording_.End(records::RunEnding{
        .verdict = verdict, .reason = std::move(reason), .errorClass = errorClass, .half = half});
}

// A run ends when its handset leaves: a record that lands before that is
// said after the words of the leaving.
void PanelRun::ShowRecorded(const std::string& runId, const QString& notRecorded) {
    const auto say = [this, runId, notRecorded] {
        if (notRecorded.isEmpty()) {
            panel_.Log(QStringLiteral("Run record: ") + QString::fromStdString(runId));
            return;
        }
        panel_.Log(notRecorded);
        // The verdict stays the status line's first words: a handset is
        // never passed or failed on a line that no longer says which.
        const QString verdict = panel_.StatusText();
        panel_.SetStatus(verdict.isEmpty() ? notRecorded
                                           : verdict + QStringLiteral(" ") + notRecorded,
                         panel_.Tone());
    };
    if (live_ && live_->onBus) {
        heldRecords_.push_back(say);
        return;
    }
    say();
}

void PanelRun::ShowHeldRecords() {
    for (const std::function<void()>& say : std::exchange(heldRecords_, {}))
        say();
}

} // namespace marlow::panel
