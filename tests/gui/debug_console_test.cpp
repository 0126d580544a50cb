// The debug console over a pseudo-terminal: what the handset writes shows in
// the Debug Message window in order and cut at zero bytes; what the operator
// types reaches the handset, and nothing does once the port is closed; a port
// that does not open says why, and a line that goes away closes the port.

#include "app/gui/main_frame.h"
#include "app/gui/message_view.h"
#include "debugport/debug_port.h"
#include "debugport/debug_port_names.h"
#include "debugport/debug_port_problem.h"
#include "gui_test_support.h"

#include <QAction>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace marlow::test {
namespace {

// The handset's end of the line.
class PseudoTerminal {
public:
    PseudoTerminal() {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
            slaveName_ = name;
            fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        }
    }
    ~PseudoTerminal() {
        Hangup();
        if (slave_ >= 0)
            close(slave_);
    }
    // The handset's end goes away, as an unplugged adapter's line does.
    void Hangup() {
        if (master_ >= 0)
            close(master_);
        master_ = -1;
    }
    bool Ok() const { return master_ >= 0; }
    const std::string& SlaveName() const { return slaveName_; }
    // The line holds a few kilobytes; a longer burst goes out as the port
    // reads it.
    void Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = write(master_, bytes.data(), bytes.size());
            if (n > 0)
                bytes.remove_prefix(static_cast<std::size_t>(n));
            else if (errno == EAGAIN)
                poll(nullptr, 0, 1);
            else
                FAIL() << "write: " << std::strerror(errno);
        }
    }
    // Everything the port has sent so far.
    const std::string& Received() {
        received_ += Drain();
        return received_;
    }
    void Forget() { received_.clear(); }

private:
    std::string Drain() {
        std::string got;
        char buffer[256];
        for (;;) {
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    int master_ = -1;
    int slave_ = -1;
    std::string slaveName_;
    std::string received_;
};

class Collected {
public:
    void Add(std::string_view text) {
        const std::lock_guard lock(mutex_);
        chunks_.emplace_back(text);
    }
    std::string Joined() const {
        const std::lock_guard lock(mutex_);
        std::string all;
        for (const std::string& chunk : chunks_)
            all += chunk;
        return all;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> chunks_;
};

TEST(DebugPortNames, PathsComNamesAndBareNames) {
    EXPECT_EQ(debugport::DebugPortDevice("/dev/pts/4"), "/dev/pts/4");
    EXPECT_EQ(debugport::DebugPortDevice("COM1"), "/dev/ttyS0");
    EXPECT_EQ(debugport::DebugPortDevice("COM12"), "/dev/ttyS11");
    EXPECT_EQ(debugport::DebugPortDevice("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(debugport::DebugPortDevice("COMX"), "/dev/COMX");
}

TEST(DebugPortNames, AChunkEndsAtItsFirstZeroByte) {
    using namespace std::string_view_literals;
    EXPECT_EQ(debugport::ChunkText("abc\0def"sv), "abc");
    EXPECT_EQ(debugport::ChunkText("\0def"sv), "");
    EXPECT_EQ(debugport::ChunkText("plain"sv), "plain");
}

class DebugPortTest : public testing::Test {
protected:
    DebugPortTest() {
        EnsureApplication();
        port = std::make_unique<debugport::CDebugPort>(debugport::DebugPortEvents{
            .text = [this](std::string_view text) { received.Add(text); },
            .setupFailed = {},
            .openChanged = {},
            .lost = {}});
    }
    PseudoTerminal handset;
    Collected received;
    std::unique_ptr<debugport::CDebugPort> port;
};

TEST_F(DebugPortTest, BurstsArriveWholeAndInOrder) {
    ASSERT_TRUE(handset.Ok());
    ASSERT_TRUE(port->OpenDebugPort(handset.SlaveName(), 115200)) << port->LastError();
    EXPECT_TRUE(port->IsOpen());
    std::string expected;
    for (int burst = 0; burst < 200; ++burst) {
        const std::string text = "burst " + std::to_string(burst) + " ready>\r\n";
        handset.Send(text);
        expected += text;
    }
    ASSERT_TRUE(ProcessUntil([&] { return received.Joined().size() >= expected.size(); }));
    EXPECT_EQ(received.Joined(), expected);
}

TEST_F(DebugPortTest, AZeroByteEndsTheChunksText) {
    ASSERT_TRUE(port->OpenDebugPort(handset.SlaveName(), 38400)) << port->LastError();
    handset.Send(std::string_view("boot\0garbage", 12));
    ASSERT_TRUE(ProcessUntil([&] { return received.Joined() == "boot"; }));
    handset.Send("done");
    ASSERT_TRUE(ProcessUntil([&] { return received.Joined().size() >= 8; }));
    EXPECT_EQ(received.Joined(), "bootdone");
}

TEST_F(DebugPortTest, AFailedOpenSaysWhyAndWhatToDo) {
    TempDir dir;
    WriteFile(dir.File("notes.txt"), "text");
    const struct {
        std::string device;
        std::string reason;
    } rows[] = {
        {"/nonexistent/ttyZ", "/nonexistent/ttyZ does not exist: plug the serial adapter in, or "
                              "choose another port on the Port Setting page."},
        {dir.File("notes.txt"), dir.File("notes.txt") + " is not a serial port: choose a serial "
                                                        "device such as /dev/ttyUSB0."},
    };
    for (const auto& row : rows) {
        EXPECT_FALSE(port->OpenDebugPort(row.device, 38400));
        EXPECT_FALSE(port->IsOpen());
        EXPECT_EQ(port->LastError(), row.reason);
    }
}

// What the node looks like decides the advice; Qt calls a busy port a
// permission error too.
TEST(DebugPortProblems, TheNodeTellsPermissionFromBusy) {
    using debugport::OpenProblem;
    const debugport::DeviceFacts usable{true, true, true};
    const debugport::DeviceFacts locked{true, true, false};
    EXPECT_EQ(debugport::ClassifyOpenFailure(QSerialPort::PermissionError, locked),
              OpenProblem::NoPermission);
    EXPECT_EQ(debugport::ClassifyOpenFailure(QSerialPort::PermissionError, usable),
              OpenProblem::Busy);
    EXPECT_EQ(debugport::ClassifyOpenFailure(QSerialPort::UnknownError, usable),
              OpenProblem::Other);
    EXPECT_EQ(debugport::OpenProblemText(OpenProblem::NoPermission, "/dev/ttyUSB0", ""),
              "You may not open /dev/ttyUSB0: add your user to the \"dialout\" group (sudo "
              "usermod -aG dialout $USER), then log in again.");
    EXPECT_EQ(debugport::OpenProblemText(OpenProblem::Busy, "/dev/ttyUSB0", ""),
              "/dev/ttyUSB0 is in use by another program: close that program, or choose another "
              "port.");
    EXPECT_EQ(debugport::OpenProblemText(OpenProblem::Other, "/dev/ttyS0", "Input/output error"),
              "/dev/ttyS0: Input/output error");
}

TEST_F(DebugPortTest, ReopeningClosesFirst) {
    ASSERT_TRUE(port->OpenDebugPort(handset.SlaveName(), 38400));
    ASSERT_TRUE(port->OpenDebugPort(handset.SlaveName(), 9600));
    handset.Send("again");
    ASSERT_TRUE(ProcessUntil([&] { return received.Joined() == "again"; }));
}

// The console in the main window: typed keys reach the handset, the
// handset's output shows in the window, until the port is closed or its line
// goes away.
TEST(DebugConsoleWindow, TheConsoleWorksUntilThePortClosesOrItsLineGoes) {
    EnsureApplication();
    PseudoTerminal handset;
    ASSERT_TRUE(handset.Ok());
    TempStore store;
    RecordingDialogs dialogs;
    store.Store().setValue("USB Downloader", "1");
    gui::MarlowContext context(store.Store());
    context.settings.PrepareStart();
    context.settings.Values().debugPortName = handset.SlaveName();
    gui::CMainFrame frame(context);
    frame.CreateMessageWindows();
    frame.Command(gui::ID_DEBUG_PORT_OPEN)->trigger();
    ASSERT_TRUE(context.debugPort.IsOpen()) << context.debugPort.LastError();
    EXPECT_FALSE(frame.Command(gui::ID_DEBUG_PORT_OPEN)->isEnabled());
    EXPECT_TRUE(frame.Command(gui::ID_DEBUG_PORT_CLOSE)->isEnabled());

    gui::CMarlowView* view = frame.View(gui::WindowRole::DebugMessage);
    QTest::keyClicks(view, "ls\r");
    ASSERT_TRUE(ProcessUntil([&] { return handset.Received() == "ls\r"; }));
    handset.Forget();

    handset.Send("hello\n");
    ASSERT_TRUE(ProcessUntil([&] { return view->toPlainText() == "hello\n"; }));
    EXPECT_EQ(context.debugMessage.Bytes(), "hello\r\n");

    // Bursts longer than one read chunk arrive whole: no byte is lost at a
    // chunk's end.
    const std::string burst(9000, 'x');
    handset.Send(burst);
    ASSERT_TRUE(ProcessUntil([&] { return context.debugMessage.TextLength() >= 7 + 9000; }));
    EXPECT_EQ(context.debugMessage.Bytes(), "hello\r\n" + burst);

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
    EXPECT_EQ(context.debugMessage.Bytes(), "hello\r\n" + burst + "\r\n" + handset.SlaveName() +
                                                " Port closed: device removed\r\n");
    EXPECT_TRUE(frame.Command(gui::ID_DEBUG_PORT_OPEN)->isEnabled());
    EXPECT_FALSE(frame.Command(gui::ID_DEBUG_PORT_CLOSE)->isEnabled());
    EXPECT_TRUE(dialogs.messages.empty());
}

} // namespace
} // namespace marlow::test
