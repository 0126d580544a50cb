#pragma once
// `CMainFrame`: the multiple-document main window with its menus, toolbar,
// status bar and the three message windows. It carries the commands, shows
// what the download engines report, hands connected devices to the PDA
// download, chains a finished PDA download into the phone download and runs
// the two-step close that first lets a connected device go.

#include "controls/port_wait_dialog.h"
#include "gui/command_ids.h"
#include "gui/frame_surface.h"
#include "gui/keyboard_locks.h"
#include "gui/marlow_context.h"
#include "gui/window_arrangement.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <map>
#include <memory>

class QAction;
class QLabel;
class QMdiArea;
class QPlainTextEdit;

namespace marlow::controls {
class CAnimationDlg;
} // namespace marlow::controls

namespace marlow::gui {

class CChildFrame;
class CMarlowView;
class WindowRecords;
class FrameDevices;
class FramePhone;

enum class WindowRole { FileInformation = 0, DebugMessage = 1, DeviceState = 2 };

class CMainFrame : public QMainWindow, public FrameSurface {
    Q_OBJECT
public:
    explicit CMainFrame(MarlowContext& context, QWidget* parent = nullptr);
    ~CMainFrame() override;

    MarlowContext& Context() { return context_; }

    // --- start-up (the order is the caller's)
    void CreateMessageWindows();
    // The frame's client area as the layout table reads it.
    ClientRect FrameClientRect() const;
    // Places the windows by the table; `restore` first brings each back from
    // minimized or maximized.
    void PlaceMessageWindows(const ClientRect& client, bool restore);
    void FocusDebugMessageView();
    void ShowInformationBlocks();
    // Begins listening for devices; call once the windows exist.
    void StartDeviceWatch();

    // --- windows and commands
    CMarlowView* View(WindowRole role) const;
    CChildFrame* Child(WindowRole role) const;
    QAction* Command(CommandId id) const;
    QMdiArea* MdiArea() const { return mdi_; }
    QLabel* PathPane() const { return pathPane_; }
    void SetPathPane(const std::string& path);
    // The CAP, NUM and SCRL panes read the locks with `reader`; an empty
    // reader leaves them out. The frame starts with the platform's.
    void UseKeyboardLocks(KeyboardLockReader reader);
    void UpdateCommandStates();

    // The menu commands' historic handlers.
    void OnSettings();
    void OnModelVersion();
    void OnDebugPortOpen();
    void OnDebugPortClose();
    void OnVivezoSet();
    void OnFileSaveAs();
    void OnFilePrint();
    void OnEditCopy();
    void OnNextPane();
    void OnPrevPane();
    void OnDebugMessageClear();
    void OnAbout();
    void OnRunHistory();
    void OnOperationDownload();
    void OnPhoneDownStart();
    void OnPhoneDownCancel();

    void SaveWindowAsText(CommandId which);
    void ArrangeMessageWindows();
    bool PhoneRunning() const;

    // The port name, the caller's fixed text (" Port Open failed") and, on
    // the next line, why the port did not open (`reason`, when known).
    QString DebugPortFailure(const char* failureText, const std::string& reason) const;

    // The "u" on the debug console while no device is connected.
    void ShowPortWaitDialog();
    void DestroyPortWaitDialog();
    controls::CPortWaitDlg* PortWaitDialog() const { return portWait_; }
    controls::CAnimationDlg* FlashWaitBox() const { return flashWait_; }

    // --- the private messages
    // WM_PDA_DOWNLOAD_DONE, for the handset that left from `devicePath`.
    void OnPdaDownloadDone(bool mainWindow, bool frontPanel, const QString& devicePath);
    // The frame is the window the operator is working in.
    bool IsForeground() const;
    // MAINFRM_CLOSE.
    void StopThreadsAndClose();
    // Releases every connected device; see the close sequence.
    void UnloadUsbDrv(bool close, bool unload);

    FrameDevices& Devices() { return *devices_; }
    WindowRecords& Records() { return *records_; }
    // Says once, in the File Information window and the status bar, that a
    // run is not recorded and why.
    void ShowNotRecorded(const QString& text);
    FramePhone& Phone() { return *phone_; }

    // Replaces what "VIVezo Set" opens (the UART loader dialog).
    std::function<void(QWidget*)> openUartLoader;
    // Replaces the print dialog that Print shows for the active window.
    std::function<void(QPlainTextEdit&)> printWindow;

    // --- FrameSurface
    void SetStatusText(const QString& text) override;
    void CreateDeviceStateProgress(int low, int high) override;
    void SetDeviceStateProgress(int position) override;
    void CloseDeviceStateProgress() override;
    void ShowFlashWaitBox() override;
    void CloseFlashWaitBox() override;
    void ShowMessage(const QString& text, const QString& caption) override;

signals:
    // MAINFRM_CLOSE, posted when a released device has gone.
    void mainFrameCloseRequested();
    // WM_PDA_DOWNLOAD_DONE, naming the handset that left.
    void pdaDownloadDone(bool mainWindow, bool frontPanel, const QString& devicePath);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildCommands();
    void BindAccelerators();
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    QAction* AddCommand(CommandId id, const QString& text, void (CMainFrame::*handler)());
    void OnDebugCharacter(char c);
    // The active message window; the Debug Message window when none is.
    CMarlowView* ActiveView() const;
    void ActivateMessageWindow(WindowRole role);
    void OpenDebugPortOrSay(const char* failureText);
    void RunSettingsSheet();
    void ReleaseForClose();
    void RefreshKeyboardLocks();
    void ShowReleaseUnderWay();
    void EndReleaseUnderWay();

    MarlowContext& context_;
    QMdiArea* mdi_ = nullptr;
    QLabel* pathPane_ = nullptr;
    std::array<QLabel*, 3> lockPanes_{};
    KeyboardLockReader readLocks_;
    std::array<CChildFrame*, 3> children_{};
    std::array<CMarlowView*, 3> views_{};
    std::map<int, QAction*> commands_;
    QPointer<controls::CPortWaitDlg> portWait_;
    controls::CAnimationDlg* flashWait_ = nullptr;
    std::unique_ptr<FrameDevices> devices_;
    std::unique_ptr<FramePhone> phone_;
    std::unique_ptr<WindowRecords> records_;
    bool arranging_ = false;
    bool closing_ = false;
    // A close waits for the released devices to leave.
    bool releasing_ = false;
};

} // namespace marlow::gui
