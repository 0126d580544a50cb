// The message windows: `WritePrint` through a window's text from any thread,
// what the widget shows, the cap, saving as text and the keys a window takes.

#include "app/trace_printer.h"
#include "gui/message_text.h"
#include "gui/message_view.h"
#include "gui/save_as_text.h"
#include "gui/window_arrangement.h"
#include "support/gui_test_support.h"

#include <QProgressBar>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace marlow::test {
namespace {

using app::ActivationRule;
using gui::CMarlowView;
using gui::MessageText;

class MessageWindowTest : public testing::Test {
protected:
    MessageWindowTest() { EnsureApplication(); }

    QString Shown(const CMarlowView& view) {
        Flush();
        return view.toPlainText();
    }

    app::TracePrinter printer;
    std::atomic<bool> portWaitShown{false};
    MessageText debug{ActivationRule::For(app::MessageWindow::DebugMessage, portWaitShown)};
    MessageText device{ActivationRule::For(app::MessageWindow::DeviceState, portWaitShown)};
    MessageText info{ActivationRule::For(app::MessageWindow::FileInformation, portWaitShown)};
};

// The printer's rules (line ends, backspaces carried to the next call, which
// window asks to come forward) are its own tests' matter; a window keeps its
// bytes as the printer wrote them, shows them as lines, erases back over a
// line end and passes its rule's requests on.
TEST_F(MessageWindowTest, TheWindowKeepsCrLfShowsLinesErasesAndAsksToComeForward) {
    CMarlowView view(info, false);
    CMarlowView deviceView(device, true);
    int deviceAsks = 0, infoAsks = 0;
    QObject::connect(&deviceView, &CMarlowView::activationRequested, [&] { ++deviceAsks; });
    QObject::connect(&view, &CMarlowView::activationRequested, [&] { ++infoAsks; });
    printer.WritePrint(info, "ab\n");
    EXPECT_EQ(info.Bytes(), "ab\r\n");
    EXPECT_EQ(Shown(view), "ab\n");
    printer.WritePrint(info, "\b\bc");
    EXPECT_EQ(info.Bytes(), "abc");
    EXPECT_EQ(Shown(view), "abc");
    printer.WritePrint(device, "state");
    Flush();
    EXPECT_EQ(deviceAsks, 1);
    EXPECT_EQ(infoAsks, 0);
}

TEST_F(MessageWindowTest, WritersOnSeveralThreadsKeepEachCallWholeAndInOrder) {
    CMarlowView view(debug, true);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([this, t] {
            for (int i = 0; i < 200; ++i)
                printer.WritePrint(debug, "[%d:%03d]", t, i);
        });
    for (std::thread& writer : writers)
        writer.join();
    const std::string bytes = debug.Bytes();
    EXPECT_EQ(bytes.size(), 4u * 200u * 7u);
    for (int t = 0; t < 4; ++t) {
        std::size_t at = 0;
        for (int i = 0; i < 200; ++i) {
            char token[16];
            std::snprintf(token, sizeof token, "[%d:%03d]", t, i);
            const std::size_t found = bytes.find(token, at);
            ASSERT_NE(found, std::string::npos) << token;
            at = found;
        }
    }
    EXPECT_EQ(Shown(view).toStdString(), bytes);
}

TEST_F(MessageWindowTest, TheCapDropsTheOldestLinesAndTheViewFollows) {
    MessageText capped(ActivationRule::Never(), 100, 60);
    CMarlowView view(capped, true);
    for (int i = 0; i < 30; ++i)
        printer.WritePrint(capped, "line %02d\n", i);
    const std::string bytes = capped.Bytes();
    EXPECT_LE(bytes.size(), 100u);
    EXPECT_EQ(bytes.rfind("line 29\r\n"), bytes.size() - 9);
    EXPECT_EQ(bytes.rfind("line ", 0), 0u) << "a cut starts at a line";
    EXPECT_EQ(Shown(view), gui::Displayed(bytes));
}

TEST_F(MessageWindowTest, SavedTextIsTheWindowsBytesWithCrLfOrWhyNot) {
    TempDir dir;
    printer.WritePrint(debug, "first\nsecond\tx \n\nlast");
    ASSERT_TRUE(gui::SaveMessageText(debug, QString::fromStdString(dir.File("Debug.txt"))));
    EXPECT_EQ(ReadFileText(dir.File("Debug.txt")), "first\r\nsecond\tx \r\n\r\nlast");
    EXPECT_NE(gui::SaveMessageText(debug, "/nonexistent-dir/Debug.txt")
                  .Error()
                  .find("/nonexistent-dir/Debug.txt"),
              std::string::npos);
    ASSERT_EQ(::mkfifo(dir.File("pipe.txt").c_str(), 0600), 0); // refused, never replaced
    EXPECT_FALSE(gui::SaveMessageText(debug, QString::fromStdString(dir.File("pipe.txt"))));
    EXPECT_TRUE(std::filesystem::is_fifo(dir.File("pipe.txt")));
}

TEST_F(MessageWindowTest, TypingNeverEditsAWindow) {
    CMarlowView infoView(info, false);
    CMarlowView debugView(debug, true);
    std::string typed;
    debugView.onCharacter = [&](char c) { typed += c; };
    printer.WritePrint(info, "text");
    printer.WritePrint(debug, "text");
    Flush();
    QTest::keyClicks(&infoView, "zz");
    QTest::keyClicks(&debugView, "uU1");
    EXPECT_EQ(Shown(infoView), "text");
    EXPECT_EQ(Shown(debugView), "text");
    EXPECT_EQ(typed, "uU1");
}

// Whether the pane shows the window's last line.
bool LastLineInSight(CMarlowView& view) {
    QTextCursor end(view.document());
    end.movePosition(QTextCursor::End);
    const QRect caret = view.cursorRect(end);
    return caret.top() >= 0 && caret.bottom() <= view.viewport()->height();
}

// The download's lines that end in a run of tabs wrap in a narrow pane, which
// learns how tall its text is only as it lays the lines out. It keeps to its
// last line all the same, until the operator pages back to read; End follows
// again. The paging keys move the pane a page, or to either end.
TEST_F(MessageWindowTest, APaneFollowsItsLastLineUntilTheOperatorPagesBack) {
    CMarlowView view(device, true);
    view.resize(260, 200);
    view.show();
    const auto write = [&](int lines) {
        for (int i = 0; i < lines; ++i) {
            printer.WritePrint(device, "\n\n Step %d written\t\t\t\t\t\t\t\t\t\t \n", i);
            Flush();
        }
    };
    write(30);
    EXPECT_TRUE(LastLineInSight(view));
    QScrollBar* bar = view.verticalScrollBar();
    enum Move { PageBack, PageOn, Top, Bottom };
    const struct {
        Qt::Key key;
        Move move;
    } keys[] = {{Qt::Key_PageUp, PageBack},
                {Qt::Key_End, Bottom},
                {Qt::Key_Home, Top},
                {Qt::Key_PageDown, PageOn},
                {Qt::Key_End, Bottom}};
    for (const auto& row : keys) {
        SCOPED_TRACE(QKeySequence(row.key).toString().toStdString());
        const int before = bar->value();
        QTest::keyClick(&view, row.key);
        const int after = bar->value();
        const int expected[] = {before - bar->pageStep(), before + bar->pageStep(), 0,
                                bar->maximum()};
        EXPECT_EQ(after, expected[row.move]);
        write(3);
        if (row.move == Bottom)
            EXPECT_TRUE(LastLineInSight(view));
        else
            EXPECT_EQ(bar->value(), after) << "the pane moved under the reader";
    }
}

TEST_F(MessageWindowTest, TheProgressBarSitsAtTheBottomAndTheFirstOneIsUsed) {
    CMarlowView view(device, true);
    view.resize(400, 300);
    view.CreateDownloadProgress();
    view.SetDownloadProgressRange(0, 100);
    view.SetDownloadProgressPos(57);
    QProgressBar* bar = view.DownloadProgress();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->value(), 57);
    EXPECT_EQ(bar->geometry(), QRect(0, 300 - 22, 400, 22));
    view.CloseDownloadProgress();
    EXPECT_EQ(view.DownloadProgress(), nullptr);
    view.SetDownloadProgressPos(3); // nothing there: nothing happens
}

// Odd sizes truncate.
TEST(WindowArrangement, TheTableFromTheClientRectangle) {
    const int kLeft = 1280 / 3 + 50; // 476
    const struct {
        gui::ClientRect client;
        gui::Placement fileInformation, deviceState, debugMessage;
    } rows[] = {
        {{0, 0, 1280, 977},
         {0, 0, kLeft, 977 / 2 - 40},
         {0, 448, kLeft, 464},
         {kLeft, 0, 1280 - kLeft, 912}},
        {{0, 0, 1001, 601}, {0, 0, 383, 260}, {0, 260, 383, 276}, {383, 0, 618, 536}},
    };
    for (const auto& row : rows) {
        const gui::MessageLayout layout = gui::ArrangeMessageWindows(row.client);
        EXPECT_EQ(layout.fileInformation, row.fileInformation);
        EXPECT_EQ(layout.deviceState, row.deviceState);
        EXPECT_EQ(layout.debugMessage, row.debugMessage);
    }
}

} // namespace
} // namespace marlow::test
