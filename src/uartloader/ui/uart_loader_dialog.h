#pragma once
// `CUartLoaderDlg`: the modal "ST Uart Flash Loader" dialog. The operator
// picks a port and connects, which starts the boot-and-flash run at once;
// picks the images and addresses in one of two write modes; watches the
// log, the bars and the current file; saves the log; saves and loads the
// dialog's fields as ".mfl" settings files.
//
// The dialog is the widgets only: the fields, the run, the log text and the
// files belong to a UartLoaderSession. The session's events reach the
// widgets through a queue to this thread; the worker never touches a widget.
// Whichever way the dialog ends (Close, Escape, the window's close box), a
// running worker is disconnected and has ended before the dialog returns.

#include "common/result.h"
#include "uartloader/loader_session.h"
#include "uartloader/ui/loader_event_queue.h"
#include "uartloader/ui/loader_file_rows.h"

#include <QDialog>
#include <QTextCursor>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSettings;

namespace marlow::uartloader::ui {

struct LoaderDialogOptions {
    // The store that keeps "Recent Files/Settings"; null: none is kept.
    QSettings* store = nullptr;
    UartLoaderSession::TransportFactory transports = UartLoaderSession::MakeSerialPort;
    // The wait between disconnecting and closing; tests answer at once.
    std::function<void(std::chrono::milliseconds)> pause;
    // Each run's record, asked for as "Connect" starts a run with the
    // session's fields: the sink it gives hears the run's events in order
    // on the thread that posts them, its last the run's RunFinished, and
    // finishes the record then. A failure refuses the start (its text in a
    // message box); nothing: the run is not recorded.
    using RecordRun =
        std::function<Result<std::unique_ptr<LoaderSink>>(const UartLoaderSession& session)>;
    RecordRun recordRun;
};

class CUartLoaderDlg : public QDialog {
    Q_OBJECT
public:
    explicit CUartLoaderDlg(QWidget* parent = nullptr, LoaderDialogOptions options = {});
    ~CUartLoaderDlg() override;

    // The dialog's buttons, under their historic handler names.
    void OnConnect();
    void OnDisconnect();
    void OnSaveSettings();
    void OnLoadSettings();
    void OnSaveLog();
    void OnBrowse(std::size_t row);

    void SetWriteMode(bool totalWrite);

    // Every ending of the dialog comes here.
    void done(int result) override;

    const UartLoaderSession& Session() const { return session_; }
    // How the last run ended, once its RunFinished has been shown; none
    // while a run is under way or before the first.
    const std::optional<RunFinished>& RunEnd() const { return runEnd_; }

private:
    QWidget* BuildConnectGroup();
    QWidget* BuildLog();
    QWidget* BuildPartitionGroup();
    enum class ColumnHeads { Shown, Left };
    QWidget* BuildRowGroup(const char* title, std::size_t firstRow, std::size_t lastRow,
                           ColumnHeads heads, QWidget* parent);
    QLayout* BuildBottomRow();
    void ChooseStmList();
    void TakeFields();
    void ShowFields();
    void RememberSettingsFile(const QString& path);
    void Show(const LoaderEvent& event);
    void AppendToLog(const std::string& text);

    // The session's events reach the run's record as the worker posts them,
    // so a record ends with its run even when the dialog closes first.
    class RecordTee final : public LoaderSink {
    public:
        explicit RecordTee(LoaderSink& next) : next_(next) {}
        void Record(std::unique_ptr<LoaderSink> record);
        void Post(const LoaderEvent& event) override;

    private:
        LoaderSink& next_;
        std::mutex mutex_;
        std::unique_ptr<LoaderSink> record_;
    };

    LoaderDialogOptions options_;
    LoaderEventQueue queue_;
    RecordTee tee_;
    UartLoaderSession session_;

    QComboBox* portList_ = nullptr;
    QPushButton* connect_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    // What the next log text replaces: "Connect" selects the whole log.
    QTextCursor logInsert_;
    FileRows rows_;
    QRadioButton* separateWrite_ = nullptr;
    QRadioButton* totalWrite_ = nullptr;
    QLabel* currentFile_ = nullptr;
    std::optional<RunFinished> runEnd_;
};

// Opens the dialog modally over `parent` ("VIVezo Set", "MP Tool Set") and
// returns when it has closed, its worker ended.
int RunUartLoaderDialog(QWidget* parent, QSettings* store = nullptr,
                        LoaderDialogOptions::RecordRun recordRun = {});

} // namespace marlow::uartloader::ui
