// The debug port engine over a pseudo-terminal: what the handset writes
// arrives in order and cut at zero bytes; a port that does not open says why
// and what to do.

#include "debugport/debug_port.h"
#include "debugport/debug_port_names.h"
#include "debugport/debug_port_problem.h"
#include "support/pseudo_terminal.h"
#include "support/qt_events.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::test {
namespace {

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

class DebugPortTest : public testing::Test {
protected:
    DebugPortTest() {
        EnsureCoreApplication();
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
    const Status opened = port->OpenDebugPort(handset.SlaveName(), 115200);
    ASSERT_TRUE(opened) << opened.Error();
    EXPECT_TRUE(port->IsOpen());
    std::string expected;
    for (int burst = 0; burst < 200; ++burst) {
        const std::string text = "burst " + std::to_string(burst) + " ready>\r\n";
        handset.Send(text);
        expected += text;
    }
    // A burst longer than one read chunk loses no byte at the chunk's end.
    handset.Send(std::string(2 * debugport::kReceiveChunk + 10, 'x'));
    expected += std::string(2 * debugport::kReceiveChunk + 10, 'x');
    ASSERT_TRUE(ProcessUntil([&] { return received.Joined().size() >= expected.size(); }));
    EXPECT_EQ(received.Joined(), expected);
}

// The handset's console: the rate asked for, eight data bits, one stop bit,
// paced with XON/XOFF and no hardware handshake.
TEST_F(DebugPortTest, TheLineIsSetUpAsTheConsoleWantsIt) {
    for (const auto& [baud, speed] : {std::pair{115200, B115200}, {9600, B9600}}) {
        ASSERT_TRUE(port->OpenDebugPort(handset.SlaveName(), baud));
        const termios line = handset.LineSettings();
        EXPECT_EQ(cfgetispeed(&line), speed);
        EXPECT_EQ(cfgetospeed(&line), speed);
        EXPECT_EQ(line.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS), tcflag_t{CS8});
        EXPECT_EQ(line.c_iflag & (IXON | IXOFF), tcflag_t{IXON | IXOFF});
    }
}

TEST_F(DebugPortTest, AZeroByteEndsTheChunksText) {
    const Status opened = port->OpenDebugPort(handset.SlaveName(), 38400);
    ASSERT_TRUE(opened) << opened.Error();
    ASSERT_TRUE(port->OpenDebugPort(handset.SlaveName(), 9600)); // reopening closes first
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
        EXPECT_EQ(port->OpenDebugPort(row.device, 38400).Error(), row.reason);
        EXPECT_FALSE(port->IsOpen());
    }
}

// What the node looks like decides the advice; Qt calls a busy port a
// permission error too.
TEST(DebugPortProblems, TheNodeTellsPermissionFromBusy) {
    using debugport::OpenProblem;
    const debugport::DeviceFacts usable{
        .exists = true, .characterDevice = true, .accessible = true};
    const debugport::DeviceFacts locked{.exists = true, .characterDevice = true};
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

} // namespace
} // namespace marlow::test
