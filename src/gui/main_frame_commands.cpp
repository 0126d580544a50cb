#include "app/file_information.h"
#include "controls/dialog_service.h"
#include "gui/child_frame.h"
#include "gui/frame_devices.h"
#include "gui/frame_phone.h"
#include "gui/main_frame.h"
#include "gui/message_view.h"
#include "gui/save_as_text.h"
#include "gui/sheet_binding.h"
#include "gui/window_records.h"
#include "pda/ui/config_sheet.h"
#include "stamp/ui/model_version_dialog.h"
#include "uartloader/ui/uart_loader_dialog.h"

#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrintDialog>
#include <QPrinter>

namespace marlow::gui {

namespace {

struct SaveTarget {
    WindowRole role;
    const char* defaultName;
};

SaveTarget SaveTargetOf(CommandId which) {
    switch (which) {
    case ID_SAVE_FILE_INFORMATION:
        return {WindowRole::FileInformation, "File"};
    case ID_SAVE_DEVICE_STATE:
        return {WindowRole::DeviceState, "Device"};
    default:
        return {WindowRole::DebugMessage, "Debug"};
    }
}

controls::FileChoice TextFileChoice(const QString& name) {
    controls::FileChoice choice;
    choice.caption = QStringLiteral("Save As");
    choice.defaultSuffix = QStringLiteral("txt");
    choice.initialName = name;
    choice.filters = {{QStringLiteral("Text File(*.txt)"), {"*.txt"}}};
    return choice;
}

} // namespace

void CMainFrame::OnSettings() {
    RunSettingsSheet();
}

void CMainFrame::RunSettingsSheet() {
    app::CAppSettings& settings = context_.settings;
    // The stored target is what the operator last chose; it is in force the
    // moment the sheet opens, whatever the sheet ends with.
    settings.Values().downloadTarget = settings.StoredDownloadTarget();
    pda::ui::SheetEnvironment environment;
    environment.optionFlags = &context_.optionFlags;
    environment.frontPanelMode = settings.Values().frontPanelMode;
    environment.closeDebugPort = [this] { context_.debugPort.CloseDebugPort(); };
    pda::ui::CConfigSheet sheet(QStringLiteral("Settings"), SheetValuesOf(settings.Values()),
                                environment, this);
    const bool accepted = sheet.exec() == QDialog::Accepted;
    if (accepted) {
        TakeSheetValues(settings, sheet.Values());
        SetPathPane(settings.Values().downloadPath);
    }
    OpenDebugPortOrSay(" Port Open failed");
    if (accepted)
        ShowInformationBlocks();
    context_.SyncRunSettings();
    UpdateCommandStates();
}

// No port name is the operator's choice of no debug port: nothing to open,
// nothing to complain about.
void CMainFrame::OpenDebugPortOrSay(const char* failureText) {
    const app::AppSettings& values = context_.settings.Values();
    if (!values.debugPortName.empty()) {
        const Status opened =
            context_.debugPort.OpenDebugPort(values.debugPortName, values.debugBaudRate);
        if (!opened)
            ShowMessage(DebugPortFailure(failureText, opened.Error()), QString());
    }
    UpdateCommandStates();
}

QString CMainFrame::DebugPortFailure(const char* failureText, const std::string& reason) const {
    QString text = QString::fromStdString(context_.settings.Values().debugPortName) +
                   QString::fromLatin1(failureText);
    if (!reason.empty())
        text += '\n' + QString::fromStdString(reason);
    return text;
}

void CMainFrame::ShowInformationBlocks() {
    const Result<app::FileFacts> facts =
        app::ReadFileFacts(context_.settings.Values().downloadPath);
    const app::FileInformationBlock block = app::ShowFileInformation(facts);
    if (block.messageBox)
        ShowMessage(QString::fromStdString(*block.messageBox), QString());
    if (block.clearWindowFirst)
        context_.printer.ClearMessageWindow(context_.fileInformation);
    for (const std::string& text : block.prints)
        context_.Print(context_.fileInformation, text);
    for (const std::string& text : app::ShowImageInformation(facts))
        context_.Print(context_.fileInformation, text);
}

void CMainFrame::OnModelVersion() {
    stamp::ui::CModelVersionDlg dialog([this] { ShowInformationBlocks(); }, this);
    dialog.RecordInsertsWith([this](const std::string& path) {
        return records_->RecordStamp(path, [this](const QString& text) { ShowNotRecorded(text); });
    });
    dialog.exec();
}

void CMainFrame::OnDebugPortOpen() {
    OpenDebugPortOrSay(" port initialize error!");
}

void CMainFrame::OnDebugPortClose() {
    context_.debugPort.CloseDebugPort();
    UpdateCommandStates();
}

void CMainFrame::OnVivezoSet() {
    if (openUartLoader) {
        openUartLoader(this);
        return;
    }
    uartloader::ui::RunUartLoaderDialog(
        this, &context_.store,
        records_->RecordLoaderRuns([this](const QString& text) { ShowNotRecorded(text); }));
}

void CMainFrame::SaveWindowAsText(CommandId which) {
    const SaveTarget target = SaveTargetOf(which);
    const std::optional<QString> path =
        controls::Dialogs().SaveFile(this, TextFileChoice(QString::fromLatin1(target.defaultName)));
    if (!path)
        return;
    const Status saved = SaveMessageText(View(target.role)->Text(), *path);
    if (!saved)
        ShowMessage(QString::fromStdString(saved.Error()), QString());
}

CMarlowView* CMainFrame::ActiveView() const {
    QMdiSubWindow* active = mdi_->activeSubWindow();
    if (!active)
        active = Child(WindowRole::DebugMessage);
    return qobject_cast<CMarlowView*>(active->widget());
}

// The toolbar's save-as works on the active window and names the window
// after the file it was saved to.
void CMainFrame::OnFileSaveAs() {
    CMarlowView* view = ActiveView();
    if (!view)
        return;
    QWidget* window = view->parentWidget();
    const std::optional<QString> path =
        controls::Dialogs().SaveFile(this, TextFileChoice(window->windowTitle()));
    if (!path)
        return;
    const Status saved = SaveMessageText(view->Text(), *path);
    if (!saved) {
        ShowMessage(QString::fromStdString(saved.Error()), QString());
        return;
    }
    window->setWindowTitle(QFileInfo(*path).fileName());
}

void CMainFrame::OnFilePrint() {
    CMarlowView* view = ActiveView();
    if (!view)
        return;
    if (printWindow) {
        printWindow(*view);
        return;
    }
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        view->print(&printer);
}

void CMainFrame::OnEditCopy() {
    if (CMarlowView* view = ActiveView())
        view->copy();
}

void CMainFrame::OnNextPane() {
    mdi_->activateNextSubWindow();
    if (CMarlowView* view = ActiveView())
        view->setFocus();
}

void CMainFrame::OnPrevPane() {
    mdi_->activatePreviousSubWindow();
    if (CMarlowView* view = ActiveView())
        view->setFocus();
}

void CMainFrame::OnDebugMessageClear() {
    context_.printer.ClearMessageWindow(context_.debugMessage);
}

void CMainFrame::OnPhoneDownStart() {
    phone_->Start();
    UpdateCommandStates();
}

void CMainFrame::OnPhoneDownCancel() {
    phone_->Cancel();
    UpdateCommandStates();
}

bool CMainFrame::PhoneRunning() const {
    return phone_ && phone_->Running();
}

void CMainFrame::OnOperationDownload() {
    devices_->OnOperationDownload();
}

} // namespace marlow::gui
