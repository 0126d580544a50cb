#pragma once
// Where the PDA download's texts and values go. The engine decides, from the
// run context's front-panel mode, which of these it calls; a GUI routes each
// call to its window or control (posting to the UI thread, order kept), the
// CLI prints some of them, tests record them all.
//
// Calls come from the download thread (and, for the connected display, from
// the watcher's thread); texts are passed exactly as the operator sees them.

#include <string>
#include <string_view>

namespace marlow::pda {

enum class PdaState : int {
    SIGNATURE_STATE = 1,
    IMAGEHEADER_STATE = 2,
    RECORDHEADER_STATE = 3,
    RECORDDATA_STATE = 4,
    ENDOFTRANSFER_STATE = 5,
    ERROR_STATE = 6,
    EXIT_STATE = 7,
    PHONEDOWN_STATE = 8,
};

const char* StateName(PdaState state);

// How a run ended: exactly one of these, with its reason.
enum class PdaVerdict {
    Passed,        // DOWNLOAD_DONE_CMD or PHONE_DOWN_CMD went out, nothing failed
    Failed,        // the device, a file or the wire failed, or the caller timed out
    Stopped,       // the operator's stop (or a stop signal)
    DeviceRemoved, // the handset left the bus before it was done
};

// "passed", "failed", "stopped", "device-removed".
const char* VerdictName(PdaVerdict verdict);

// Typed progress for machine receivers (JSON lines, progress bars); the
// texts above are for people.
struct PdaProgressEvent {
    enum class Kind {
        StateEntered, // `state`
        ImageStarted, // `image` (display name), `imageNumber` from 1
        Percent,      // `percent` of the current image changed
        Finished,     // `verdict` and its `reason` (empty when passed)
        // A reply byte came, also one that a wait passes over: the device is
        // alive. For watchdogs; nothing to show.
        DeviceAnswered,
    };
    Kind kind = Kind::StateEntered;
    PdaState state = PdaState::SIGNATURE_STATE;
    int percent = 0;
    int imageNumber = 0;
    std::string image;
    PdaVerdict verdict = PdaVerdict::Failed;
    std::string reason;
};

class PdaPresentation {
public:
    virtual ~PdaPresentation() = default;

    // Main-window mode ------------------------------------------------------
    // Device State Window: trace text written through WritePrint.
    virtual void DeviceStateTrace(std::string_view text) = 0;
    virtual void ClearDeviceState() = 0;
    // Debug Message Window (the image addresses).
    virtual void DebugMessage(std::string_view text) = 0;
    // The main status bar's message pane.
    virtual void StatusBar(std::string_view text) = 0;
    // The progress bar at the bottom of the Device State Window.
    virtual void CreateDownloadProgress(int low, int high) = 0;
    virtual void SetDownloadProgress(int position) = 0;
    virtual void CloseDownloadProgress() = 0;
    // The pipe's animated wait box. Shown, and marked active, only while
    // the main frame or the front panel is the foreground window.
    virtual void ShowWaitDialog() = 0;
    // If the box is marked active (it is from its creation on): stop its
    // timer 1, clear the mark and send it the system close command.
    virtual void CloseWaitDialog() = 0;

    // Front panel (controls by their ids) -----------------------------------
    virtual void PanelStatus(std::string_view text) = 0;    // 1032
    virtual void PanelFileName(std::string_view text) = 0;  // 1037
    virtual void PanelPercent(std::string_view text) = 0;   // 1039
    virtual void PanelCounter(std::string_view text) = 0;   // 1069
    virtual void PanelProgressRange(int low, int high) = 0; // 1000
    virtual void PanelProgress(int position) = 0;           // 1000
    virtual void PanelEnableClose() = 0;                    // 1029
    // Enables "Down Start" (1028) and "File Open" (1027), focus on 1028.
    virtual void PanelEnableDownStart() = 0;
    virtual void PanelEventList(std::string_view text) = 0; // 1136

    // Both modes ------------------------------------------------------------
    // A modal box with an OK button and no owner; an empty caption means the
    // system's default caption.
    virtual void MessageBox(std::string_view text, std::string_view caption) = 0;

    virtual void Progress(const PdaProgressEvent& event) = 0;
};

} // namespace marlow::pda
