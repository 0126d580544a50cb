#include "gui/run_history_dialog.h"

#include "controls/dialog_service.h"
#include "gui/window_records.h"
#include "records/record_text.h"
#include "records/run_queries.h"
#include "records/store.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace marlow::gui {

namespace {

// The newest records the table holds; older ones are for `marlow-cli runs`.
constexpr std::size_t kMostShown = 5000;

enum Column { Started, Took, Verdict, Slot, Serial, File, Kind, Station, RunId, ColumnCount };
constexpr const char* kHeadings[] = {"Started", "Took (s)", "Verdict", "Slot",  "Serial",
                                     "File",    "Kind",     "Station", "Run ID"};

// What a row keeps beside its texts: the record's place in the list, and
// the local day it started, for the date filter.
constexpr int kRecordRole = Qt::UserRole + 1;
constexpr int kDayRole = Qt::UserRole + 2;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QStandardItem* Item(const QString& text, const QVariant& sortKey = {}) {
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    if (sortKey.isValid())
        item->setData(sortKey, Qt::UserRole);
    return item;
}

QString LocalTime(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

QString RecordDetails(const records::RunRecord& run) {
    const records::RunFacts& f = run.facts;
    QString text = QStringLiteral("Run %1 (%2, %3) on %4, slot %5\nVerdict: %6\n")
                       .arg(Q(f.runId), Q(f.kind), Q(f.frontEnd), Q(f.stationId),
                            f.slot.empty() ? QStringLiteral("-") : Q(f.slot),
                            Q(records::EndingText(run.ending)));
    QStringList handset;
    for (const auto& [label, value] : {std::pair{"USB", &f.handset.usbPath},
                                       {"serial", &f.handset.serialNumber},
                                       {"modem port", &f.handset.modemPort}})
        if (!value->empty())
            handset << QString::fromUtf8(label) + QLatin1Char(' ') + Q(*value);
    if (!handset.isEmpty())
        text +=
            QStringLiteral("Handset: ") + handset.join(QStringLiteral(", ")) + QLatin1Char('\n');
    text += QStringLiteral("Steps:\n");
    if (run.steps.empty())
        text += QStringLiteral("  (none)\n");
    for (const records::StepFacts& step : run.steps) {
        const QString took =
            step.endedMs
                ? QString::number(static_cast<double>(*step.endedMs - step.startedMs) / 1000.0, 'f',
                                  1) +
                      QStringLiteral(" s")
                : QStringLiteral("-");
        text += QStringLiteral("  %1 %2: %3, %4")
                    .arg(Q(step.kind), Q(step.name), Q(step.outcome), took);
        if (step.bytes)
            text += QStringLiteral(", %1 bytes").arg(*step.bytes);
        if (step.retries > 0)
            text += QStringLiteral(", %1 retries").arg(step.retries);
        text += QLatin1Char('\n');
    }
    for (const records::InputFacts& input : run.inputs)
        text += QStringLiteral("File (%1): %2, %3 bytes, SHA-256 %4\n")
                    .arg(Q(input.role), Q(input.path),
                         input.size ? QString::number(*input.size) : QStringLiteral("?"),
                         input.sha256.empty() ? QStringLiteral("-") : Q(input.sha256));
    if (run.stamp)
        text += QStringLiteral("Stamp: %1, model %2, version %3, SHA-256 %4 -> %5\n")
                    .arg(Q(run.stamp->file), Q(run.stamp->model), Q(run.stamp->version),
                         Q(run.stamp->digestBefore), Q(run.stamp->digestAfter));
    return text;
}

// The rows whose verdict and day the filters let through.
class RunHistoryFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void Set(const QString& verdict, const QDate& from, const QDate& to) {
        verdict_ = verdict;
        from_ = from;
        to_ = to;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        const QAbstractItemModel* rows = sourceModel();
        const QDate day = rows->index(row, Started, parent).data(kDayRole).toDate();
        if (day < from_ || day > to_)
            return false;
        return verdict_.isEmpty() || rows->index(row, Verdict, parent).data() == verdict_;
    }

private:
    QString verdict_;
    QDate from_;
    QDate to_;
};

RunHistoryDialog::RunHistoryDialog(std::string storePath, WindowRecords* records, QWidget* parent)
    : QDialog(parent), storePath_(std::move(storePath)), records_(records) {
    setWindowTitle(QStringLiteral("Run History"));
    setAccessibleName(QStringLiteral("Run History"));
    resize(900, 600);

    verdict_ = new QComboBox(this);
    verdict_->setAccessibleName(QStringLiteral("Verdict filter"));
    verdict_->addItem(QStringLiteral("All verdicts"), QString());
    for (const records::RecordVerdict verdict :
         {records::RecordVerdict::Passed, records::RecordVerdict::Failed,
          records::RecordVerdict::Stopped, records::RecordVerdict::DeviceRemoved,
          records::RecordVerdict::Interrupted, records::RecordVerdict::Running})
        verdict_->addItem(QString::fromUtf8(records::NameOf(verdict)),
                          QString::fromUtf8(records::NameOf(verdict)));
    from_ = new QDateEdit(this);
    from_->setAccessibleName(QStringLiteral("Started on or after"));
    to_ = new QDateEdit(this);
    to_->setAccessibleName(QStringLiteral("Started on or before"));
    for (QDateEdit* date : {from_, to_}) {
        date->setCalendarPopup(true);
        date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    auto* filters = new QHBoxLayout;
    for (const auto& [label, field] : {std::pair<const char*, QWidget*>{"&Verdict:", verdict_},
                                       {"&From:", from_},
                                       {"&To:", to_}}) {
        auto* caption = new QLabel(QString::fromUtf8(label), this);
        caption->setBuddy(field);
        filters->addWidget(caption);
        filters->addWidget(field);
    }
    filters->addStretch();

    model_ = new QStandardItemModel(0, ColumnCount, this);
    for (int column = 0; column < ColumnCount; ++column)
        model_->setHeaderData(column, Qt::Horizontal, QString::fromUtf8(kHeadings[column]));
    filter_ = new RunHistoryFilter(this);
    filter_->setSourceModel(model_);
    filter_->setSortRole(Qt::UserRole);
    table_ = new QTableView(this);
    table_->setAccessibleName(QStringLiteral("Run records"));
    table_->setModel(filter_);
    table_->setSortingEnabled(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setTabKeyNavigation(false);
    table_->verticalHeader()->hide();
    table_->setCornerButtonEnabled(false);
    // The corner button exists even when it does nothing; it still has a name.
    for (QAbstractButton* corner : table_->findChildren<QAbstractButton*>())
        corner->setAccessibleName(QStringLiteral("Table corner"));
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setAccessibleName(QStringLiteral("Sort by column"));
    table_->sortByColumn(Started, Qt::DescendingOrder);

    details_ = new QPlainTextEdit(this);
    details_->setAccessibleName(QStringLiteral("Selected record's reason and steps"));
    details_->setReadOnly(true);
    details_->setTabChangesFocus(true);
    details_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(table_);
    split->addWidget(details_);

    state_ = new QLabel(this);
    state_->setAccessibleName(QStringLiteral("Run store"));
    state_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    forwarder_ = new QLabel(this);
    forwarder_->setAccessibleName(QStringLiteral("Central database"));
    forwarder_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setAccessibleName(QStringLiteral("Close"));
    auto* reload = buttons->addButton(QStringLiteral("&Refresh"), QDialogButtonBox::ActionRole);
    reload->setAccessibleName(QStringLiteral("Refresh"));
    export_ = buttons->addButton(QStringLiteral("&Export CSV..."), QDialogButtonBox::ActionRole);
    export_->setAccessibleName(QStringLiteral("Export CSV"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(reload, &QPushButton::clicked, this, &RunHistoryDialog::Reload);
    connect(export_, &QPushButton::clicked, this, &RunHistoryDialog::OnExport);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(split, 1);
    layout->addWidget(state_);
    layout->addWidget(forwarder_);
    layout->addWidget(buttons);

    const auto refilter = [this] {
        filter_->Set(verdict_->currentData().toString(), from_->date(), to_->date());
        ShowSelected();
    };
    connect(verdict_, &QComboBox::currentIndexChanged, this, refilter);
    connect(from_, &QDateEdit::dateChanged, this, refilter);
    connect(to_, &QDateEdit::dateChanged, this, refilter);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &RunHistoryDialog::ShowSelected);
    if (records_ != nullptr)
        connect(records_, &WindowRecords::forwarderChanged, this, &RunHistoryDialog::ShowForwarder);
    Reload();
    ShowForwarder();
}

RunHistoryDialog::~RunHistoryDialog() = default;

void RunHistoryDialog::Reload() {
    runs_.clear();
    model_->removeRows(0, model_->rowCount());
    store_.reset();
    Result<std::unique_ptr<records::RunStore>> store =
        records::RunStore::Open({.path = storePath_, .access = records::StoreAccess::Query});
    if (store)
        store_ = std::move(*store);
    Result<std::vector<records::RunRecord>> found =
        store_ ? records::FindRuns(store_->Session(), {}, records::Detail::Steps)
               : Result<std::vector<records::RunRecord>>(Failure{store.Error()});
    if (!found) {
        state_->setText(Q(found.Error()));
    } else {
        const std::size_t first = found->size() > kMostShown ? found->size() - kMostShown : 0;
        runs_.assign(std::make_move_iterator(found->begin() + static_cast<std::ptrdiff_t>(first)),
                     std::make_move_iterator(found->end()));
        state_->setText(QStringLiteral("%1 records from %2").arg(runs_.size()).arg(Q(storePath_)));
    }
    QDate oldest = QDate::currentDate();
    QDate newest = oldest;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const records::RunRecord& run = runs_[i];
        const std::int64_t started = run.facts.startedMs;
        const std::optional<std::int64_t>& ended = run.ending.endedMs;
        const QDate day = QDateTime::fromMSecsSinceEpoch(started).date();
        oldest = std::min(oldest, day);
        newest = std::max(newest, day);
        QStandardItem* first = Item(LocalTime(started), QVariant::fromValue<qint64>(started));
        first->setData(static_cast<qulonglong>(i), kRecordRole);
        first->setData(day, kDayRole);
        const double took = ended ? static_cast<double>(*ended - started) / 1000.0 : -1.0;
        const QString file =
            run.inputs.empty() ? QString() : QFileInfo(Q(run.inputs.front().path)).fileName();
        const QString verdict = QString::fromUtf8(records::NameOf(run.ending.verdict));
        model_->appendRow(
            {first, Item(ended ? QString::number(took, 'f', 1) : QString(), took),
             Item(verdict, verdict), Item(Q(run.facts.slot), Q(run.facts.slot)),
             Item(Q(run.facts.handset.serialNumber), Q(run.facts.handset.serialNumber)),
             Item(file, file), Item(Q(run.facts.kind), Q(run.facts.kind)),
             Item(Q(run.facts.stationId), Q(run.facts.stationId)),
             Item(Q(run.facts.runId), Q(run.facts.runId))});
    }
    const QSignalBlocker keepFrom(from_);
    const QSignalBlocker keepTo(to_);
    from_->setDate(oldest);
    to_->setDate(newest);
    filter_->Set(verdict_->currentData().toString(), from_->date(), to_->date());
    table_->resizeColumnsToContents();
    export_->setEnabled(!runs_.empty());
    ShowSelected();
}

std::vector<records::RunRecord> RunHistoryDialog::Shown() const {
    std::vector<records::RunRecord> shown;
    for (int row = 0; row < filter_->rowCount(); ++row)
        shown.push_back(runs_[filter_->index(row, Started).data(kRecordRole).toULongLong()]);
    return shown;
}

void RunHistoryDialog::ShowSelected() {
    const QModelIndex current = table_->selectionModel()->currentIndex();
    if (!current.isValid()) {
        details_->setPlainText(runs_.empty() ? QString()
                                             : QStringLiteral("Select a record to see its "
                                                              "reason and steps."));
        return;
    }
    const auto i = filter_->index(current.row(), Started).data(kRecordRole).toULongLong();
    // The record whole, its stamp too; the table's copy if the store has
    // gone since.
    const Result<records::RunRecord> whole =
        store_ ? records::LoadRun(store_->Session(), runs_[i].facts.runId)
               : Result<records::RunRecord>(Failure{});
    details_->setPlainText(RecordDetails(whole ? *whole : runs_[i]));
}

void RunHistoryDialog::ShowForwarder() {
    const bool forwarding = records_ != nullptr && records_->Forwarding();
    forwarder_->setVisible(forwarding);
    if (!forwarding)
        return;
    const records::ForwarderStatus status = records_->ForwarderStatus();
    QString text = QStringLiteral("Central database: %1 records waiting, %2 forwarded")
                       .arg(status.backlog)
                       .arg(status.forwarded);
    if (!status.lastError.empty())
        text += QStringLiteral("; last error: ") + Q(status.lastError);
    forwarder_->setText(text);
}

void RunHistoryDialog::OnExport() {
    const std::optional<QString> chosen = controls::Dialogs().SaveFile(
        this, {.caption = QStringLiteral("Export Run History"),
               .defaultSuffix = QStringLiteral("csv"),
               .initialName = QStringLiteral("runs.csv"),
               .filters = {{QStringLiteral("CSV Files (*.csv)"), {QStringLiteral("*.csv")}},
                           {QStringLiteral("All Files (*.*)"), {QStringLiteral("*")}}}});
    if (!chosen)
        return;
    QSaveFile file(*chosen);
    const std::string csv = records::RecordsCsv(Shown());
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) !=
            static_cast<qint64>(csv.size()) ||
        !file.commit())
        controls::Dialogs().Message(
            this, QStringLiteral("%1 could not be written: %2").arg(*chosen, file.errorString()));
}

} // namespace marlow::gui
