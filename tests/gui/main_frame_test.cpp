// The main frame: its commands and their enable rules, the layout commands,
// the About box, saving a window, the end of a PDA download and the close.

#include "app/gui/about_dialog.h"
#include "app/gui/child_frame.h"
#include "app/gui/main_frame.h"
#include "app/gui/message_view.h"
#include "gui_test_support.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>

namespace marlow::test {
namespace {

using gui::CMainFrame;
using gui::WindowRole;

class MainFrameTest : public testing::Test {
protected:
    MainFrameTest() {
        EnsureApplication();
        store.Store().setValue("USB Downloader", "1");
        context = std::make_unique<gui::MarlowContext>(store.Store());
        context->settings.PrepareStart();
        frame = std::make_unique<CMainFrame>(*context);
        frame->resize(1000, 700);
        frame->show();
        context->layoutRect = frame->FrameClientRect();
        frame->CreateMessageWindows();
        frame->PlaceMessageWindows(context->layoutRect, false);
        context->layoutReady = true;
    }
    ~MainFrameTest() override {
        frame.reset();
        context.reset();
    }

    gui::Placement PlacementOf(WindowRole role) {
        const QRect r = frame->Child(role)->geometry();
        return {r.x(), r.y(), r.width(), r.height()};
    }

    TempStore store;
    RecordingDialogs dialogs;
    std::unique_ptr<gui::MarlowContext> context;
    std::unique_ptr<CMainFrame> frame;
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

TEST_F(MainFrameTest, PortCommandsFollowThePortAndPhoneCommandsTheRun) {
    frame->UpdateCommandStates();
    EXPECT_TRUE(frame->Command(gui::ID_DEBUG_PORT_OPEN)->isEnabled());
    EXPECT_FALSE(frame->Command(gui::ID_DEBUG_PORT_CLOSE)->isEnabled());
    EXPECT_TRUE(frame->Command(gui::ID_PHONE_DOWN_START)->isEnabled());
    EXPECT_FALSE(frame->Command(gui::ID_PHONE_DOWN_CANCEL)->isEnabled());
    EXPECT_TRUE(frame->Command(gui::ID_VIVEZO_SET)->isEnabled());
}

TEST_F(MainFrameTest, DebugPortOpenFailureSaysSo) {
    context->settings.Values().debugPortName = "/nonexistent/ttyX";
    frame->Command(gui::ID_DEBUG_PORT_OPEN)->trigger();
    EXPECT_EQ(dialogs.messages, (std::vector<QString>{"/nonexistent/ttyX port initialize error!"}));
    EXPECT_TRUE(frame->Command(gui::ID_DEBUG_PORT_OPEN)->isEnabled());
}

TEST_F(MainFrameTest, VivezoSetOpensTheUartLoaderModally) {
    QString title;
    QTimer::singleShot(0, [&title] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            title = modal->windowTitle();
            modal->close();
        }
    });
    frame->Command(gui::ID_VIVEZO_SET)->trigger();
    EXPECT_EQ(title, "ST Uart Flash Loader_(Build 071203)");
}

TEST_F(MainFrameTest, PhoneStartWithoutThePhoneOptionRefuses) {
    frame->Command(gui::ID_PHONE_DOWN_START)->trigger();
    EXPECT_EQ(dialogs.messages,
              (std::vector<QString>{"No Selected Phone!!  Retry to Select Phone!!!"}));
    EXPECT_TRUE(frame->Command(gui::ID_PHONE_DOWN_START)->isEnabled());
}

TEST_F(MainFrameTest, OriginalPositionRestoresTheTableAfterTheOperatorMovedThings) {
    frame->Child(WindowRole::DebugMessage)->showMaximized();
    frame->Child(WindowRole::FileInformation)->setGeometry(200, 150, 90, 80);
    frame->Command(gui::ID_ORIGINAL_POSITION)->trigger();
    const gui::MessageLayout layout = gui::ArrangeMessageWindows(frame->FrameClientRect());
    EXPECT_EQ(PlacementOf(WindowRole::FileInformation), layout.fileInformation);
    EXPECT_EQ(PlacementOf(WindowRole::DeviceState), layout.deviceState);
    EXPECT_EQ(PlacementOf(WindowRole::DebugMessage), layout.debugMessage);
}

TEST_F(MainFrameTest, ResizingTheFrameReArranges) {
    frame->resize(1200, 820);
    Flush();
    const gui::MessageLayout layout = gui::ArrangeMessageWindows(frame->FrameClientRect());
    EXPECT_EQ(PlacementOf(WindowRole::DebugMessage), layout.debugMessage);
    EXPECT_EQ(PlacementOf(WindowRole::DeviceState), layout.deviceState);
}

TEST_F(MainFrameTest, MessageWindowsCannotBeClosed) {
    gui::CChildFrame* child = frame->Child(WindowRole::DeviceState);
    EXPECT_FALSE(child->close());
    EXPECT_TRUE(child->isVisible());
    for (QAction* action : child->systemMenu()->actions())
        EXPECT_FALSE(action->text().contains("Close"));
    EXPECT_FALSE(child->windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(MainFrameTest, SaveCommandsOfferTheirNamesAndWriteCrLf) {
    TempDir dir;
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

TEST_F(MainFrameTest, ToolbarSaveAsNamesTheActiveWindowAfterItsFile) {
    TempDir dir;
    context->Print(context->debugMessage, "boot>\n");
    frame->MdiArea()->setActiveSubWindow(frame->Child(WindowRole::DebugMessage));
    dialogs.answers = {QString::fromStdString(dir.File("console.txt"))};
    frame->Command(gui::ID_FILE_SAVE_AS)->trigger();
    EXPECT_EQ(ReadFileText(dir.File("console.txt")), "boot>\r\n");
    EXPECT_EQ(frame->Child(WindowRole::DebugMessage)->windowTitle(), "console.txt");
}

TEST_F(MainFrameTest, DebugMessageClearEmptiesOnlyThatWindow) {
    context->Print(context->debugMessage, "noise");
    context->Print(context->deviceState, "state");
    frame->Command(gui::ID_DEBUG_MESSAGE_CLEAR)->trigger();
    Flush();
    EXPECT_EQ(context->debugMessage.Bytes(), "");
    EXPECT_EQ(frame->View(WindowRole::DebugMessage)->toPlainText(), "");
    EXPECT_EQ(context->deviceState.Bytes(), "state");
}

TEST_F(MainFrameTest, AboutBoxShowsTitleNoticeAndBuild) {
    gui::AboutDialog about;
    EXPECT_EQ(about.windowTitle(), "Quillon V0.3 Beta_(Build 080118)");
    EXPECT_EQ(about.findChild<QLabel*>("aboutTitle")->text(), "Quillon V0.3 Beta_(Build 080118)");
    EXPECT_EQ(about.findChild<QLabel*>("aboutBuild")->text(), "BUILD 080118");
    EXPECT_FALSE(about.findChild<QLabel*>("aboutNotice")->text().isEmpty());
}

TEST_F(MainFrameTest, ACompletedDownloadInTheForegroundSaysSo) {
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    frame->OnPdaDownloadDone(true, false);
    EXPECT_EQ(dialogs.messages, (std::vector<QString>{"Completed Downloaded!"}));
    EXPECT_EQ(dialogs.captions, (std::vector<QString>{"Success"}));
}

TEST_F(MainFrameTest, ACompletedDownloadBehindAnotherProgramDoesNothing) {
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    frame->OnPdaDownloadDone(true, false);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainFrameTest, WithThePhoneOptionTheCompletionStartsThePhoneDownload) {
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    context->optionFlags = 2;
    context->settings.Values().phonePackagePath = "/nowhere/Phone.brx";
    frame->OnPdaDownloadDone(true, false);
    EXPECT_EQ(context->debugMessage.Bytes(),
              "\r\n PDA Download Completed!! \r\n\r\n -- Phone Download Start!! -- \r\n");
    EXPECT_TRUE(frame->PhoneRunning());
    EXPECT_FALSE(frame->Command(gui::ID_PHONE_DOWN_START)->isEnabled());
    frame->Command(gui::ID_PHONE_DOWN_CANCEL)->trigger();
    EXPECT_FALSE(frame->PhoneRunning());
}

TEST_F(MainFrameTest, ClosingWithoutADeviceClosesAtOnce) {
    EXPECT_TRUE(frame->close());
    EXPECT_FALSE(frame->isVisible());
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
