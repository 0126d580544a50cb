// The main frame: its commands and their enable rules, the layout commands,
// the About box, saving a window, the end of a PDA download and the close.

#include "emulators/sample_set.h"
#include "gui/child_frame.h"
#include "gui/frame_devices.h"
#include "gui/frame_phone.h"
#include "gui/message_view.h"
#include "main_window_rig.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QPlainTextDocumentLayout>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace marlow::test {
namespace {

using gui::WindowRole;

class MainFrameTest : public testing::Test, protected MainWindowRig {
protected:
    MainFrameTest() {
        // The phone download binds to these when the frame is made: a modem
        // port that appears only when a test writes it, and no library.
        qputenv("MARLOW_MODEM_PORT", QByteArray::fromStdString(modemPort));
        qputenv("MARLOW_DOWNLOAD_LIBRARY", QByteArray::fromStdString(dir.File("none.so")));
        Open().resize(1000, 700);
        context->layoutRect = frame->FrameClientRect();
        frame->PlaceMessageWindows(context->layoutRect, false);
        context->layoutReady = true;
    }
    ~MainFrameTest() override {
        frame.reset();
        qunsetenv("MARLOW_MODEM_PORT");
        qunsetenv("MARLOW_DOWNLOAD_LIBRARY");
    }

    std::string StatusBarText() { return frame->statusBar()->currentMessage().toStdString(); }

    // Closes the modal dialog that the next command opens, noting its title.
    static void CloseTheNextModal(QString& title) {
        QTimer::singleShot(0, [&title] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                title = modal->windowTitle();
                modal->close();
            }
        });
    }

    TempDir dir;
    const std::string modemPort = dir.File("modem");
};

TEST_F(MainFrameTest, ToolbarButtonsInOrderWithTipsAndPrompts) {
    auto* bar = frame->findChild<QToolBar*>("toolBar");
    ASSERT_NE(bar, nullptr);
    std::vector<int> ids;
    for (QAction* action : bar->actions())
        ids.push_back(action->isSeparator() ? 0 : action->data().toInt());
    EXPECT_EQ(ids, (std::vector<int>{32772, 0, 32803, 32804, 0, 32826, 0, 57604, 32808, 32807, 0,
                                     32845, 32846}));
    QAction* open = frame->Command(gui::ID_DEBUG_PORT_OPEN);
    EXPECT_EQ(open->statusTip(), "Open the Debug Port");
    EXPECT_EQ(open->toolTip(), "Debug Port Open");
    EXPECT_EQ(frame->Command(gui::ID_VIVEZO_SET)->toolTip(), "VIVezo Set");
    for (QAction* action : bar->actions()) {
        if (!action->isSeparator()) {
            EXPECT_FALSE(action->icon().isNull()) << action->data().toInt();
        }
    }
}

// Each key of the accelerator table reaches the command of a menu, which
// does its work on the active window: Save As names the window after its
// file, Clear empties only the Debug Message window. The read-only windows'
// Undo, Cut and Paste stay greyed; they are let go here only to see their
// keys arrive.
TEST_F(MainFrameTest, EveryAcceleratorReachesItsMenuCommand) {
    gui::CMarlowView* debug = frame->View(WindowRole::DebugMessage);
    context->Print(context->debugMessage, "boot>\n");
    context->Print(context->deviceState, "state");
    Flush();
    const QPlainTextEdit* printed = nullptr;
    frame->printWindow = [&printed](QPlainTextEdit& view) { printed = &view; };
    dialogs.answers = {QString::fromStdString(dir.File("console.txt"))};
    QString sheet;
    const auto active = [this](WindowRole role) {
        return frame->MdiArea()->activeSubWindow() == frame->Child(role);
    };
    const struct {
        QKeyCombination key;
        gui::CommandId command;
        std::function<bool()> done;
    } rows[] = {
        {Qt::CTRL | Qt::Key_O, gui::ID_SETTINGS, [&] { return sheet == "Settings"; }},
        {Qt::CTRL | Qt::Key_S, gui::ID_FILE_SAVE_AS,
         [&] {
             return ReadFileText(dir.File("console.txt")) == "boot>\r\n" &&
                    frame->Child(WindowRole::DebugMessage)->windowTitle() == "console.txt";
         }},
        {Qt::CTRL | Qt::Key_P, gui::ID_FILE_PRINT, [&] { return printed == debug; }},
        {Qt::CTRL | Qt::Key_C, gui::ID_EDIT_COPY,
         [] { return QApplication::clipboard()->text() == "boot>\n"; }},
        {Qt::CTRL | Qt::Key_Insert, gui::ID_EDIT_COPY, nullptr},
        {Qt::CTRL | Qt::Key_Z, gui::ID_EDIT_UNDO, nullptr},
        {Qt::ALT | Qt::Key_Backspace, gui::ID_EDIT_UNDO, nullptr},
        {Qt::CTRL | Qt::Key_X, gui::ID_EDIT_CUT, nullptr},
        {Qt::SHIFT | Qt::Key_Delete, gui::ID_EDIT_CUT, nullptr},
        {Qt::CTRL | Qt::Key_V, gui::ID_EDIT_PASTE, nullptr},
        {Qt::SHIFT | Qt::Key_Insert, gui::ID_EDIT_PASTE, nullptr},
        {Qt::Key_F6, gui::ID_NEXT_PANE, [&] { return active(WindowRole::DeviceState); }},
        {Qt::SHIFT | Qt::Key_F6, gui::ID_PREV_PANE,
         [&] { return active(WindowRole::DebugMessage); }},
        {Qt::CTRL | Qt::Key_N, gui::ID_DEBUG_MESSAGE_CLEAR,
         [&] { return debug->toPlainText().isEmpty() && context->deviceState.Bytes() == "state"; }},
    };
    frame->FocusDebugMessageView();
    debug->selectAll();
    for (const auto& row : rows) {
        SCOPED_TRACE(QKeySequence(row.key).toString().toStdString());
        QAction* command = frame->Command(row.command);
        ASSERT_NE(command, nullptr);
        const QObjectList shownIn = command->associatedObjects();
        EXPECT_TRUE(std::any_of(shownIn.begin(), shownIn.end(), [](QObject* o) {
            return qobject_cast<QMenu*>(o) != nullptr;
        })) << "no menu shows it";
        const bool enabled = command->isEnabled();
        command->setEnabled(true);
        CloseTheNextModal(sheet);
        QSignalSpy triggered(command, &QAction::triggered);
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : frame.get(), row.key.key(), row.key.keyboardModifiers());
        Flush();
        EXPECT_EQ(triggered.count(), 1);
        EXPECT_TRUE(!row.done || row.done());
        command->setEnabled(enabled);
    }
    for (const gui::CommandId greyed : {gui::ID_EDIT_UNDO, gui::ID_EDIT_CUT, gui::ID_EDIT_PASTE})
        EXPECT_FALSE(frame->Command(greyed)->isEnabled());
}

// The lock panes follow the keyboard where the platform tells its locks;
// where it cannot, as offscreen, there are no dead panes.
TEST_F(MainFrameTest, TheLockPanesShowTheKeyboardsLocksOrAreNotThere) {
    const auto shown = [this] {
        QStringList texts;
        for (const QLabel* pane : frame->statusBar()->findChildren<QLabel*>())
            if (pane != frame->PathPane())
                texts << pane->text();
        return texts.join('|');
    };
    EXPECT_EQ(shown(), "");
    gui::KeyboardLocks locks;
    frame->UseKeyboardLocks([&locks] { return locks; });
    const struct {
        gui::KeyboardLocks locks;
        Qt::Key key;
        QString shown;
    } rows[] = {
        {{.caps = true, .num = true}, Qt::Key_NumLock, "CAP|NUM|"},
        {{.scroll = true}, Qt::Key_A, "||SCRL"},
    };
    for (const auto& row : rows) {
        locks = row.locks;
        QTest::keyClick(frame->View(WindowRole::DebugMessage), row.key);
        EXPECT_EQ(shown(), row.shown);
    }
}

// The File Information box at the width the layout gives its window: each
// of its rules stays one line on screen.
TEST_F(MainFrameTest, TheFileInformationBoxKeepsItsLinesWhole) {
    context->settings.Values().downloadPath = dir.File("NK.bin");
    WriteFile(dir.File("NK.bin"), std::string(64, 'x'));
    frame->ShowInformationBlocks();
    Flush();
    gui::CMarlowView* view = frame->View(WindowRole::FileInformation);
    int rules = 0;
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
        if (!block.text().startsWith("|-"))
            continue;
        ++rules;
        view->document()->documentLayout()->blockBoundingRect(block); // lays it out
        EXPECT_EQ(block.layout()->lineCount(), 1) << block.text().toStdString();
    }
    EXPECT_EQ(rules, 4);
}

TEST_F(MainFrameTest, DebugPortOpenFailureSaysSo) {
    context->settings.Values().debugPortName = "/nonexistent/ttyX";
    frame->Command(gui::ID_DEBUG_PORT_OPEN)->trigger();
    EXPECT_EQ(dialogs.messages,
              (std::vector<QString>{"/nonexistent/ttyX port initialize error!\n/nonexistent/ttyX "
                                    "does not exist: plug the serial adapter in, or choose another "
                                    "port on the Port Setting page."}));
    EXPECT_TRUE(frame->Command(gui::ID_DEBUG_PORT_OPEN)->isEnabled());
}

TEST_F(MainFrameTest, VivezoSetOpensTheUartLoaderModally) {
    QString title;
    CloseTheNextModal(title);
    frame->Command(gui::ID_VIVEZO_SET)->trigger();
    EXPECT_EQ(title, "ST Uart Flash Loader_(Build 071203)");
}

// "Original Position" restores the table after the operator moved things;
// resizing the frame arranges them again.
TEST_F(MainFrameTest, OriginalPositionAndResizingArrangeTheTable) {
    frame->Child(WindowRole::DebugMessage)->showMaximized();
    frame->Child(WindowRole::FileInformation)->setGeometry(200, 150, 90, 80);
    for (const bool resize : {false, true}) {
        if (resize)
            frame->resize(1200, 820);
        else
            frame->Command(gui::ID_ORIGINAL_POSITION)->trigger();
        Flush();
        SCOPED_TRACE(resize ? "resized" : "Original Position");
        ExpectTheTableLayout(*frame);
    }
}

TEST_F(MainFrameTest, MessageWindowsCannotBeClosedTheFrameWithoutADeviceCan) {
    gui::CChildFrame* child = frame->Child(WindowRole::DeviceState);
    EXPECT_FALSE(child->close());
    EXPECT_TRUE(child->isVisible());
    for (QAction* action : child->systemMenu()->actions())
        EXPECT_FALSE(action->text().contains("Close"));
    EXPECT_FALSE(child->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(frame->close()) << "without a device the frame closes at once";
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(MainFrameTest, SaveCommandsWriteTheirWindowsAsText) {
    context->Print(context->deviceState, "\nDevice Connected!");
    dialogs.answers = {QString::fromStdString(dir.File("Device.txt")), QString(), QString()};
    frame->Command(gui::ID_SAVE_DEVICE_STATE)->trigger();
    frame->Command(gui::ID_SAVE_FILE_INFORMATION)->trigger();
    frame->Command(gui::ID_SAVE_DEBUG_MESSAGE)->trigger();
    ASSERT_EQ(dialogs.choices.size(), 3u);
    EXPECT_EQ(dialogs.choices[0].initialName, "Device");
    EXPECT_EQ(dialogs.choices[1].initialName, "File");
    EXPECT_EQ(dialogs.choices[2].initialName, "Debug");
    EXPECT_EQ(dialogs.choices[0].defaultSuffix, "txt");
    EXPECT_EQ(dialogs.choices[0].filters.front().label, "Text File(*.txt)");
    EXPECT_EQ(ReadFileText(dir.File("Device.txt")), "\r\nDevice Connected!");
    EXPECT_EQ(frame->Child(WindowRole::DeviceState)->windowTitle(), "Device State Window");
}

TEST_F(MainFrameTest, EveryPhoneRunEndsInAVerdict) {
    const auto set = samples::WriteSampleSet(dir.File("set"));
    ASSERT_TRUE(set) << set.Error();
    context->settings.Values().phonePackagePath = set->phonePackage;
    context->optionFlags = 2;
    gui::PhoneRunStatus::Clock::time_point now{};
    frame->Phone().UseStatusClock([&now] { return now; });
    const struct {
        bool portAppears;
        int polls;
        std::string verdict;
        QString box;
    } rows[] = {
        {false, phone::kMainWindowPortPolls + 1, "Phone USB is not Connected...",
         "Phone USB is not Connected...\nNo modem port appeared. Press Phone Download Cancel"},
        {true, 1, "Phone Downloaded Fail! The modem's port did not open.",
         "Phone Downloaded Fail! The modem's port did not open.\nPress Phone Download Cancel"},
    };
    for (const auto& row : rows) {
        dialogs.messages.clear();
        frame->Command(gui::ID_PHONE_DOWN_START)->trigger();
        now += std::chrono::seconds(12);
        frame->Phone().RefreshStatus();
        EXPECT_EQ(StatusBarText(), "Wait For Phone USB... 12 s");
        if (row.portAppears)
            WriteFile(modemPort, "");
        for (int poll = 0; poll < row.polls; ++poll)
            frame->Phone().Engine().PollPort();
        EXPECT_EQ(StatusBarText(), row.verdict);
        ASSERT_EQ(dialogs.messages.size(), 1u) << row.verdict;
        EXPECT_TRUE(dialogs.messages[0].startsWith(row.box)) << dialogs.messages[0].toStdString();
        frame->Command(gui::ID_PHONE_DOWN_CANCEL)->trigger();
        std::filesystem::remove(modemPort);
    }
}

// The status bar's line through a run that waits, boots in silence and
// fails in its firmware part.
TEST(PhoneRunStatus, StepsWaitsAndTheVerdict) {
    gui::PhoneRunStatus::Clock::time_point now{};
    gui::PhoneRunStatus status([&now] { return now; });
    status.Started();
    now += std::chrono::seconds(65);
    EXPECT_EQ(status.StatusText(), "Wait For Phone USB... 1 min 05 s");
    status.Follow(phone::stBooting);
    now += std::chrono::milliseconds(2900);
    EXPECT_EQ(status.StatusText(), "Booting... 3 s");
    status.Follow(phone::stDownloadFls);
    status.Follow(phone::stIdle);
    EXPECT_FALSE(status.Counting());
    EXPECT_EQ(status.StatusText(), "Downloading FLS");
    status.Ended(phone::PhoneRunEnd::Failed);
    EXPECT_EQ(status.StatusText(), "Phone Downloaded Fail! Downloading the firmware image failed.");
    status.Cancelled();
    EXPECT_EQ(status.StatusText(), "Phone Downloaded Fail! Downloading the firmware image failed.");
}

TEST_F(MainFrameTest, TypingUWithoutADeviceShowsThePortWaitBoxOnce) {
    {
        gui::CMarlowView* view = frame->View(WindowRole::DebugMessage);
        view->onCharacter('u');
        ASSERT_NE(frame->PortWaitDialog(), nullptr);
        EXPECT_EQ(frame->PortWaitDialog()->windowTitle(), " Device Port Status");
        EXPECT_TRUE(context->portWaitShown.load());
        controls::CPortWaitDlg* first = frame->PortWaitDialog();
        view->onCharacter('U');
        EXPECT_EQ(frame->PortWaitDialog(), first);
    }
    frame->DestroyPortWaitDialog();
    EXPECT_EQ(frame->PortWaitDialog(), nullptr);
    EXPECT_FALSE(context->portWaitShown.load());
    context->run.deviceConnected = true;
    frame->View(WindowRole::DebugMessage)->onCharacter('u');
    EXPECT_EQ(frame->PortWaitDialog(), nullptr);
}

} // namespace
} // namespace marlow::test
