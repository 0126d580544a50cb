#pragma once
// File > "Run History…": the station's last records in a table (sortable by
// any column, narrowed by verdict and by the days they started), the
// selected record's reason and steps below it, export of what the table
// shows to CSV, and, when the station forwards to a central database, how
// many records wait and the last error. Everything is reachable by keyboard
// and named for a screen reader.

#include "common/result.h"
#include "records/record.h"

#include <QDialog>

#include <memory>
#include <vector>

class QComboBox;
class QDateEdit;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace marlow::records {
class RunStore;
} // namespace marlow::records

namespace marlow::gui {

class RunHistoryFilter;
class WindowRecords;

// A record as the pane under the table shows it (and the station window a
// slot's last run): how it ended, then its steps, files and stamp.
QString RecordDetails(const records::RunRecord& run);

class RunHistoryDialog : public QDialog {
    Q_OBJECT
public:
    // The store at `storePath`; `records` (may be null) tells the
    // forwarder's state.
    RunHistoryDialog(std::string storePath, WindowRecords* records, QWidget* parent = nullptr);
    ~RunHistoryDialog() override;

    // Reads the store again; the table keeps its sort and filters.
    void Reload();
    // The records the table shows now, in its order.
    std::vector<records::RunRecord> Shown() const;
    // Writes them to a file the operator chooses.
    void OnExport();

    QTableView* Table() const { return table_; }
    QComboBox* VerdictFilter() const { return verdict_; }
    QDateEdit* FromDate() const { return from_; }
    QDateEdit* ToDate() const { return to_; }
    QPlainTextEdit* Details() const { return details_; }
    QLabel* StoreState() const { return state_; }
    QLabel* ForwarderState() const { return forwarder_; }

private:
    void ShowSelected();
    void ShowForwarder();

    std::string storePath_;
    WindowRecords* records_;
    std::unique_ptr<records::RunStore> store_;
    std::vector<records::RunRecord> runs_;
    QStandardItemModel* model_ = nullptr;
    RunHistoryFilter* filter_ = nullptr;
    QTableView* table_ = nullptr;
    QComboBox* verdict_ = nullptr;
    QDateEdit* from_ = nullptr;
    QDateEdit* to_ = nullptr;
    QPlainTextEdit* details_ = nullptr;
    QLabel* state_ = nullptr;
    QLabel* forwarder_ = nullptr;
    QPushButton* export_ = nullptr;
};

} // namespace marlow::gui
