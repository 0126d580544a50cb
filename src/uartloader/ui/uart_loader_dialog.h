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

#include "uartloader/loader_session.h"
#include "uartloader/ui/loader_event_queue.h"
#include "uartloader/ui/loader_file_rows.h"

#include <QDialog>
#include <QTextCursor>
#include <chrono>
#include <functional>
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

    LoaderDialogOptions options_;
    LoaderEventQueue queue_;
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
int RunUartLoaderDialog(QWidget* parent, QSettings* store = nullptr);

} // namespace marlow::uartloader::ui
