#pragma once
// `CFrontPanelDlg`: the production line's one-window downloader. One button
// starts, one stops; the status line, the percent, the current file and the
// progress bar tell the operator what happens, and the status line turns
// green or red when a run has ended.
//
// The panel is the window only: its controls (each named by its number),
// the two control layouts, the displays that end a run, the log list, the
// flash-write animation on the refresh tick, the key rule and the station
// set-up. Down Start, Stop and the timers' other work reach the downloads
// through the signals below; the words of a run arrive through View().
// User-interface thread only.

#include "controls/blink_message_dialog.h"
#include "controls/two_line_message_dialog.h"
#include "panel/panel_clock.h"
#include "panel/panel_run_flags.h"
#include "skins/front_panel_view.h"

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSettings;
class QToolButton;

namespace marlow::app {
class CAppSettings;
}

namespace marlow::controls {
class CColorLabel;
}

namespace marlow::panel {

class FlashAnimation;
class PathLabel;

inline constexpr const char* kPanelTitle = "Quillon V0.3 Beta_(Build 080118)";
inline constexpr const char* kPanelListName = "quill_all.lst";

struct PanelSetup {
    // Keeps "Recent Files/Settings" for the UART loader dialog; null: none
    // is kept (the program always gives its store).
    QSettings* store = nullptr;
    PanelRunFlags flags;
    // Null: Qt timers.
    PanelClock* clock = nullptr;
    // Where "quill_all.lst" is looked for, ending in a separator; empty: the
    // program's own folder. MARLOW_PANEL_LIST, when set, names the list
    // instead (rigs, demos, tests).
    std::string programFolder;
    // "MP Tool Set"; unset: the UART loader dialog, modal.
    std::function<void(QWidget*)> openLoaderDialog;
    // The close request during a PDA run asks the owner to release the USB
    // connection (SERVICE_DLG_EXIT); false: it could not.
    std::function<bool()> releaseForExit;
};

// How the status line reads: a plain report, or a run's verdict.
enum class StatusTone { Plain, Passed, Failed };

class CFrontPanelDlg : public QDialog {
    Q_OBJECT
public:
    CFrontPanelDlg(app::CAppSettings& settings, PanelSetup setup = {}, QWidget* parent = nullptr);
    ~CFrontPanelDlg() override;

    // --- the two control layouts
    void IdleLayout();
    void RunLayout();

    // --- the displays
    void ShowConnected();
    void ShowDisconnected();
    void ShowAborted();
    void ShowPdaSuccess();
    void ShowPhoneSuccess();
    void ShowPhoneFailure(const QString& label);
    // Stop or close asked during a PDA run: the handset is being released
    // (its flash write may still take a while); Close can do no more.
    void ShowStopping();
    // A new run begins: nothing of the last run's verdict stays on show.
    void ClearVerdict();

    // --- what the controls hold
    // m_DownSelect as the two check boxes ask for it: both 3, PDA 1, PHONE 2.
    int CheckedSelection() const;
    bool CloseAfterDown() const; // m_CheckClose
    bool PdaRunning() const { return pdaRunning_; }
    // The run layout stands: a run (or its stop) is under way.
    bool InRunLayout() const { return runLayout_; }
    void SetPdaRunning(bool running) { pdaRunning_ = running; }
    // SERVICE_DLG_EXIT: the owner has released the device; the panel ends.
    void EndPanel();
    // Replaces PanelSetup::releaseForExit (the run is made after the panel).
    void SetReleaseForExit(std::function<bool()> release) {
        setup_.releaseForExit = std::move(release);
    }

    // --- where a run's words go
    void SetStatus(const QString& text, StatusTone tone = StatusTone::Plain);
    StatusTone Tone() const { return tone_; }
    QString StatusText() const;
    void SetPercent(const QString& text);
    void SetCurrentFile(const QString& text);
    void SetCounter(const QString& text);
    void SetProgressRange(int low, int high);
    void SetProgress(int position);
    void EnableStop();
    // Not while a run is under way: a handset arriving then starts nothing.
    void EnableDownStart();
    void Log(const QString& text); // appended and selected
    void ClearLog();
    void Message(const QString& text, const QString& caption = {});
    // Modal to the panel; returns at once, so a device arriving while it is
    // open can still end it (CloseWait).
    void TwoLineMessage(const QString& first, const QString& second, const QColor& colour);
    FrontPanelView& View();

    // --- timers and message dialogs
    PanelClock& Clock() { return *clock_; }
    controls::CBlinkMessageDlg& BlinkMessage() { return *blink_; }
    controls::CTwoLineMessageDlg& TwoLine() { return *twoLine_; }
    // The frame the next flash-write tick shows; the frame on show, if any.
    int AnimationFrame() const { return animationFrame_; }
    std::optional<int> ShownAnimationFrame() const;

    // --- the station set-up: the hidden controls, for the engineer
    void ShowStationSetup(bool shown);
    bool StationSetupShown() const;

    // The close request (close box, Alt+F4).
    void reject() override;

signals:
    void downStartPressed(); // OnButtonDownstart
    void stopPressed();      // OnButtonCancel
    // Every tick, after the refresh tick's animation step.
    void ticked(panel::PanelTimer timer);
    // DETECT_CANCEL: the operator closed the "USB Connecting..." box.
    void detectCancel();

private:
    // front_panel_layout.cpp
    QWidget* BuildFace();
    QWidget* BuildFilePathGroup(QWidget* parent);
    QWidget* BuildStatusGroup(QWidget* parent);
    QLayout* BuildButtonRow(QWidget* parent);
    QWidget* BuildStationSetup();
    void BuildHiddenControls(QWidget* parent);
    void PlaceAnimation();

    // front_panel_dialog.cpp
    void Initialise();
    void ShowFileInformation();
    void OnTick(PanelTimer timer);
    void AnimateFlashWrite();
    void SetLayout(bool idle);
    // What ends a run: idle layout, empty counter, no PDA run.
    void EndRunDisplay();
    void AllDone(); // g_AllDownLoad TRUE, m_DownSelect 0

    // front_panel_files.cpp
    void OnPdaFileOpen();
    void OnPhoneFileOpen();
    void OnMpToolSet();

    app::CAppSettings& settings_;
    PanelSetup setup_;
    std::unique_ptr<PanelClock> ownClock_;
    PanelClock* clock_ = nullptr;
    std::atomic<bool> ownAllDownLoad_{true};
    std::atomic<int> ownDownSelect_{0};
    std::atomic<bool> ownFlashWriting_{false};
    std::atomic<bool>& allDownLoad_;
    std::atomic<int>& downSelect_;
    std::atomic<bool>& flashWriting_;
    bool pdaRunning_ = false;
    bool runLayout_ = false;
    int animationFrame_ = 0;
    StatusTone tone_ = StatusTone::Plain;
    std::unique_ptr<FrontPanelView> view_;

    QWidget* face_ = nullptr;
    FlashAnimation* animation_ = nullptr;
    PathLabel* pdaPath_ = nullptr;
    controls::CColorLabel* status_ = nullptr;
    QLabel* percent_ = nullptr;
    QLabel* currentFile_ = nullptr;
    controls::CColorLabel* counter_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* downStart_ = nullptr;
    QPushButton* stop_ = nullptr;
    QToolButton* setupToggle_ = nullptr;
    QWidget* setupPane_ = nullptr;
    QGroupBox* setupGroup_ = nullptr;
    QCheckBox* pdaCheck_ = nullptr;
    QCheckBox* phoneCheck_ = nullptr;
    QCheckBox* closeAfter_ = nullptr;
    QPushButton* pdaOpen_ = nullptr;
    QPushButton* phoneOpen_ = nullptr;
    QPushButton* mpToolSet_ = nullptr;
    PathLabel* phonePath_ = nullptr;
    QLabel* fileSize_ = nullptr;
    QLabel* fileTime_ = nullptr;
    QLabel* fileVersion_ = nullptr;
    QLabel* fileModel_ = nullptr;
    QListWidget* log_ = nullptr;
    controls::CBlinkMessageDlg* blink_ = nullptr;
    controls::CTwoLineMessageDlg* twoLine_ = nullptr;
};

} // namespace marlow::panel
