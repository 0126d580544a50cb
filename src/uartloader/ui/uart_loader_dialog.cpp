#include "uartloader/ui/uart_loader_dialog.h"

#include "controls/dialog_service.h"
#include "uartloader/ui/loader_port_list.h"
#include "uartloader/ui/uart_log_channel.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

namespace marlow::uartloader::ui {

namespace {

// Closing while connected pauses this long after the disconnect, as the
// loader always has; the worker's end is awaited besides, however long.
constexpr std::chrono::milliseconds kCloseWait{300};

controls::FileChoice Choice(const char* caption, const char* suffix,
                            std::vector<controls::FileFilter> filters) {
    controls::FileChoice choice;
    choice.caption = QString::fromLatin1(caption);
    choice.defaultSuffix = QString::fromLatin1(suffix);
    filters.push_back({QStringLiteral("All Files(*.*)"), {QStringLiteral("*")}});
    choice.filters = std::move(filters);
    return choice;
}

controls::FileChoice BinaryChoice() {
    return Choice(
        "Open", "",
        {{QStringLiteral("Binary Files(*.bin, *.plain, *.nb0)"),
          {QStringLiteral("*.bin"), QStringLiteral("*.plain"), QStringLiteral("*.nb0")}}});
}

controls::FileChoice StmListChoice() {
    return Choice("Open", "",
                  {{QStringLiteral("STM List Files(*.stm)"), {QStringLiteral("*.stm")}}});
}

controls::FileChoice SettingsChoice(const char* caption) {
    return Choice(caption, "mfl", {{QStringLiteral("*.mfl"), {QStringLiteral("*.mfl")}}});
}

controls::FileChoice LogChoice() {
    return Choice("Save As", "txt", {{QStringLiteral("*.txt"), {QStringLiteral("*.txt")}}});
}

// The log keeps "\r\n" for "Save Log"; the control shows plain lines.
QString ShownText(const std::string& text) {
    std::string shown = text;
    std::erase(shown, '\r');
    return QString::fromStdString(shown);
}

void SleepFor(std::chrono::milliseconds wait) {
    QThread::msleep(static_cast<unsigned long>(wait.count()));
}

} // namespace

CUartLoaderDlg::CUartLoaderDlg(QWidget* parent, LoaderDialogOptions options)
    : QDialog(parent), options_(std::move(options)),
      queue_([this](const LoaderEvent& event) { Show(event); }), tee_(queue_),
      session_(tee_, options_.transports) {
    if (!options_.pause)
        options_.pause = SleepFor;
    setWindowTitle(QStringLiteral("ST Uart Flash Loader_(Build 071203)"));

    auto* top = new QHBoxLayout;
    top->addWidget(BuildConnectGroup());
    top->addWidget(BuildLog(), 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(BuildPartitionGroup());
    layout->addLayout(BuildBottomRow());

    ShowFields();
    SetWriteMode(true);
}

// The session stops and waits for its worker before the widgets go.
CUartLoaderDlg::~CUartLoaderDlg() = default;

void CUartLoaderDlg::OnConnect() {
    TakeFields();
    if (options_.recordRun && !session_.IsConnected()) {
        Result<std::unique_ptr<LoaderSink>> record = options_.recordRun(session_);
        if (!record) {
            controls::Dialogs().Message(this, QString::fromStdString(record.Error()));
            return;
        }
        tee_.Record(std::move(*record));
    }
    runEnd_.reset();
    session_.Connect();
}

void CUartLoaderDlg::RecordTee::Record(std::unique_ptr<LoaderSink> record) {
    const std::lock_guard lock(mutex_);
    record_ = std::move(record);
}

void CUartLoaderDlg::RecordTee::Post(const LoaderEvent& event) {
    {
        const std::lock_guard lock(mutex_);
        if (record_) {
            record_->Post(event);
            if (std::holds_alternative<RunFinished>(event))
                record_.reset();
        }
    }
    next_.Post(event);
}

void CUartLoaderDlg::OnDisconnect() {
    session_.Disconnect();
}

void CUartLoaderDlg::done(int result) {
    if (session_.IsConnected()) {
        session_.Disconnect();
        options_.pause(kCloseWait);
    }
    session_.WaitForRunEnd();
    QDialog::done(result);
}

void CUartLoaderDlg::SetWriteMode(bool totalWrite) {
    session_.SetTotalWriteMode(totalWrite);
    (totalWrite ? totalWrite_ : separateWrite_)->setChecked(true);
    ApplyWriteMode(rows_, totalWrite);
}

// Pressing any "..." button lifts the refusal of a bad list, chosen file
// or not.
void CUartLoaderDlg::OnBrowse(std::size_t row) {
    session_.ClearListInvalid();
    if (row == kStmListRow) {
        ChooseStmList();
        return;
    }
    if (const std::optional<QString> chosen = controls::Dialogs().OpenFile(this, BinaryChoice()))
        rows_[row].path->setText(*chosen);
}

void CUartLoaderDlg::ChooseStmList() {
    const std::optional<QString> chosen = controls::Dialogs().OpenFile(this, StmListChoice());
    if (!chosen)
        return;
    rows_[kStmListRow].path->setText(*chosen);
    session_.ReadStmList(chosen->toStdString());
}

void CUartLoaderDlg::OnSaveLog() {
    const std::optional<QString> path = controls::Dialogs().SaveFile(this, LogChoice());
    if (!path)
        return;
    TakeFields();
    session_.SaveLog(path->toStdString());
}

void CUartLoaderDlg::OnSaveSettings() {
    TakeFields();
    const std::optional<QString> path =
        controls::Dialogs().SaveFile(this, SettingsChoice("Save As"));
    if (path && session_.SaveSettings(path->toStdString()))
        RememberSettingsFile(*path);
}

// Fields the file does not reach, the port among them, keep what the
// operator sees now.
void CUartLoaderDlg::OnLoadSettings() {
    const std::optional<QString> path = controls::Dialogs().OpenFile(this, SettingsChoice("Open"));
    if (!path)
        return;
    TakeFields();
    if (!session_.LoadSettings(path->toStdString()))
        return;
    RememberSettingsFile(*path);
    ShowFields();
}

void CUartLoaderDlg::RememberSettingsFile(const QString& path) {
    if (options_.store != nullptr)
        options_.store->setValue(QStringLiteral("Recent Files/Settings"), path);
}

void CUartLoaderDlg::TakeFields() {
    session_.Settings().port = ChosenPort(*portList_);
    TakeRows(rows_, session_.Settings());
}

void CUartLoaderDlg::ShowFields() {
    ShowPort(*portList_, session_.Settings().port);
    ShowRows(rows_, session_.Settings());
}

void CUartLoaderDlg::Show(const LoaderEvent& event) {
    if (std::holds_alternative<LogCleared>(event)) {
        // A new run begins: an earlier run's end still queued is over too.
        runEnd_.reset();
        logInsert_.select(QTextCursor::Document);
    } else if (const auto* appended = std::get_if<LogAppended>(&event)) {
        AppendToLog(appended->text);
    } else if (const auto* progress = std::get_if<ProgressChanged>(&event)) {
        if (progress->bar >= 0 && progress->bar < kProgressBarCount)
            rows_[static_cast<std::size_t>(progress->bar)].bar->setValue(
                std::clamp(progress->percent, 0, 100));
    } else if (const auto* label = std::get_if<CurrentFileChanged>(&event)) {
        currentFile_->setText(QString::fromStdString(label->text));
    } else if (const auto* box = std::get_if<MessageBoxShown>(&event)) {
        controls::Dialogs().Message(this, QString::fromStdString(box->text));
    } else if (const auto* enabled = std::get_if<ConnectEnabled>(&event)) {
        connect_->setEnabled(enabled->enabled);
    } else if (const auto* note = std::get_if<Diagnostic>(&event)) {
        qCDebug(lcUartLoader).noquote() << QString::fromStdString(note->text);
    } else if (const auto* finished = std::get_if<RunFinished>(&event)) {
        runEnd_ = *finished;
        qCDebug(lcUartLoader).noquote() << QString::fromStdString(DescribeEvent(event));
    }
}

// Each text replaces the log's insertion selection, which then collapses to
// the end: lines follow each other, and after "Connect" selected the whole
// log its first line replaces everything.
void CUartLoaderDlg::AppendToLog(const std::string& text) {
    logInsert_.insertText(ShownText(text));
    QScrollBar* scroll = log_->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

int RunUartLoaderDialog(QWidget* parent, QSettings* store,
                        LoaderDialogOptions::RecordRun recordRun) {
    LoaderDialogOptions options;
    options.store = store;
    options.recordRun = std::move(recordRun);
    CUartLoaderDlg dialog(parent, std::move(options));
    return dialog.exec();
}

} // namespace marlow::uartloader::ui
