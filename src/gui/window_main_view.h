#pragma once
// The main window's widgets as a MainWindowView: the message windows, the
// status bar, the Device State progress bar, the flash-write wait box and
// message boxes. User-interface thread only: the engines' receivers post
// their events there and run the skin into this view.

#include "gui/frame_surface.h"
#include "gui/marlow_context.h"
#include "skins/main_window_view.h"

namespace marlow::gui {

class WindowMainView : public app::MainWindowView {
public:
    WindowMainView(MarlowContext& context, FrameSurface& surface)
        : context_(context), surface_(surface) {}

    void Trace(app::MessageWindowId window, std::string_view text) override;
    void ClearTrace(app::MessageWindowId window) override;
    void StatusBar(std::string_view text) override;
    void CreateProgress(int low, int high) override;
    void SetProgress(int position) override;
    void CloseProgress() override;
    // Shown, and marked active, only while the main frame or the front
    // panel is the foreground window.
    void ShowWaitBox() override;
    // Only a box marked active is closed; the mark then goes.
    void CloseWaitBox() override;
    void MessageBox(std::string_view text, std::string_view caption) override;

private:
    MessageText& Window(app::MessageWindowId window);

    MarlowContext& context_;
    FrameSurface& surface_;
    // The box counts as up from the start, so the first flash confirmation
    // always closes it.
    bool waitBoxActive_ = true;
};

} // namespace marlow::gui
