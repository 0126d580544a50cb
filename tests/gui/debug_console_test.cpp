// The debug console in the main window over a pseudo-terminal: what the
// handset writes shows in the Debug Message window; what the operator types
// reaches the handset, and nothing does once the port is closed; a line that
// goes away closes the port.

#include "gui/message_view.h"
#include "main_window_rig.h"
#include "support/pseudo_terminal.h"

#include <QAction>
#include <QTest>
#include <gtest/gtest.h>

namespace marlow::test {
namespace {

// The console in the main window: typed keys reach the handset, the
// handset's output shows in the window, until the port is closed or its line
// goes away.
TEST(DebugConsoleWindow, TheConsoleWorksUntilThePortClosesOrItsLineGoes) {
    MainWindowRig rig;
    gui::MarlowContext& context = *rig.context;
    const RecordingDialogs& dialogs = rig.dialogs;
    PseudoTerminal handset;
    ASSERT_TRUE(handset.Ok());
    context.settings.Values().debugPortName = handset.SlaveName();
    gui::CMainFrame& frame = rig.Open();
    frame.Command(gui::ID_DEBUG_PORT_OPEN)->trigger();
    ASSERT_TRUE(context.debugPort.IsOpen());
    EXPECT_FALSE(frame.Command(gui::ID_DEBUG_PORT_OPEN)->isEnabled());
    EXPECT_TRUE(frame.Command(gui::ID_DEBUG_PORT_CLOSE)->isEnabled());

    gui::CMarlowView* view = frame.View(gui::WindowRole::DebugMessage);
    QTest::keyClicks(view, "ls\r");
    ASSERT_TRUE(ProcessUntil([&] { return handset.Received() == "ls\r"; }));
    handset.Forget();

    handset.Send("hello\n");
    ASSERT_TRUE(ProcessUntil([&] { return view->toPlainText() == "hello\n"; }));
    EXPECT_EQ(context.debugMessage.Bytes(), "hello\r\n");

    frame.Command(gui::ID_DEBUG_PORT_CLOSE)->trigger();
    EXPECT_TRUE(frame.Command(gui::ID_DEBUG_PORT_OPEN)->isEnabled());
    QTest::keyClicks(view, "x");
    Flush();
    EXPECT_EQ(handset.Received(), "");
    EXPECT_TRUE(dialogs.messages.empty());

    // A line that goes away under the open port closes it, once, says so in
    // the console window, and the toolbar offers to open it again.
    frame.Command(gui::ID_DEBUG_PORT_OPEN)->trigger();
    ASSERT_TRUE(context.debugPort.IsOpen());
    handset.Hangup();
    ASSERT_TRUE(ProcessUntil([&] { return !context.debugPort.IsOpen(); }));
    Flush();
    EXPECT_EQ(context.debugMessage.Bytes(),
              "hello\r\n\r\n" + handset.SlaveName() + " Port closed: device removed\r\n");
    EXPECT_TRUE(frame.Command(gui::ID_DEBUG_PORT_OPEN)->isEnabled());
    EXPECT_FALSE(frame.Command(gui::ID_DEBUG_PORT_CLOSE)->isEnabled());
    EXPECT_TRUE(dialogs.messages.empty());
}

} // namespace
} // namespace marlow::test
