#pragma once
// The main window as the window tests meet it: a store of its own that
// selects the main window, dialogs answered from a script, and the frame
// with its three message windows. Open() makes and shows the frame, so a
// test sets what the frame binds to (settings, environment) before it.

#include "gui/child_frame.h"
#include "gui/main_frame.h"
#include "support/gui_test_support.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <utility>

namespace marlow::test {

struct MainWindowRig {
    explicit MainWindowRig(std::initializer_list<std::pair<const char*, const char*>> stored = {}) {
        EnsureApplication();
        store.Store().setValue("USB Downloader", "1");
        for (const auto& [name, value] : stored)
            store.Store().setValue(name, value);
        context = std::make_unique<gui::MarlowContext>(store.Store());
        context->settings.PrepareStart();
    }

    gui::CMainFrame& Open() {
        frame = std::make_unique<gui::CMainFrame>(*context);
        frame->show();
        frame->CreateMessageWindows();
        return *frame;
    }

    TempStore store;
    RecordingDialogs dialogs;
    std::unique_ptr<gui::MarlowContext> context;
    std::unique_ptr<gui::CMainFrame> frame;
};

// The three message windows sit where the table puts them in the frame's
// client area as it is now.
inline void ExpectTheTableLayout(const gui::CMainFrame& frame) {
    const gui::MessageLayout layout = gui::ArrangeMessageWindows(frame.FrameClientRect());
    const auto placementOf = [&frame](gui::WindowRole role) {
        const QRect r = frame.Child(role)->geometry();
        return gui::Placement{r.x(), r.y(), r.width(), r.height()};
    };
    EXPECT_EQ(placementOf(gui::WindowRole::FileInformation), layout.fileInformation);
    EXPECT_EQ(placementOf(gui::WindowRole::DeviceState), layout.deviceState);
    EXPECT_EQ(placementOf(gui::WindowRole::DebugMessage), layout.debugMessage);
}

} // namespace marlow::test
