#pragma once
// What the main window can show of a run, by the window or control it goes
// to. The main-window skin decides the words; a view only puts them where
// they belong: the GUI's view writes into the widgets (on the UI thread),
// the CLI's view prints the Device State Window's text, tests record.

#include <string_view>

namespace marlow::app {

enum class MessageWindowId { DeviceState, DebugMessage };

class MainWindowView {
public:
    virtual ~MainWindowView() = default;

    // Written the way WritePrint writes ("\n" a line break, backspaces).
    virtual void Trace(MessageWindowId window, std::string_view text) = 0;
    virtual void ClearTrace(MessageWindowId window) = 0;
    // The status bar's message pane.
    virtual void StatusBar(std::string_view text) = 0;
    // The progress bar at the bottom of the Device State Window.
    virtual void CreateProgress(int low, int high) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void CloseProgress() = 0;
    // The animated wait box during a flash write.
    virtual void ShowWaitBox() = 0;
    virtual void CloseWaitBox() = 0;
    // Modal; an empty caption means the program's own.
    virtual void MessageBox(std::string_view text, std::string_view caption) = 0;
};

} // namespace marlow::app
