// Both ends of the virtual USB bus over a real Unix socket: the listener as
// a device source, the host transport behind a CUsbPipe, and the device
// client that emulators use.

#include "bus_events.h"
#include "emulators/virtual_bus_device.h"
#include "support/temp_dir.h"
#include "usb/usb_pipe.h"
#include "usb/virtual_bus_frame.h"
#include "usb/virtual_bus_socket.h"
#include "usb/virtual_bus_source.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <future>
#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace marlow {
namespace {

// This binary's listen() runs in place of the system's and plays a device
// that connects the moment the bus path appears: just before a listener
// listens, it tries the path, which must then not be there yet.
std::string watchedBusPath; // empty: not watching
int watchedListens = 0;
int refusedAtListen = 0;

} // namespace
} // namespace marlow

extern "C" int listen(int fd, int backlog) {
    using namespace marlow;
    static const auto kSystemListen =
        reinterpret_cast<int (*)(int, int)>(dlsym(RTLD_NEXT, "listen"));
    if (!watchedBusPath.empty()) {
        ++watchedListens;
        refusedAtListen += ::access(watchedBusPath.c_str(), F_OK) == 0 &&
                           !usb::ConnectToSocketPath(watchedBusPath);
    }
    return kSystemListen(fd, backlog);
}

namespace marlow {
namespace {

using Bytes = std::vector<std::uint8_t>;
using emulators::VirtualBusDevice;
using usb::CUsbPipe;
using usb::PipeRead;
using usb::TransferStatus;

class VirtualBus : public ::testing::Test {
protected:
    void SetUp() override {
        const Status started = source.Start(events.Sink());
        ASSERT_TRUE(started) << started.Error();
    }

    // Connects a device and takes its arrival.
    std::unique_ptr<usb::UsbTransport> Plug(VirtualBusDevice& device,
                                            std::string_view description = "PDA boot loader",
                                            std::string_view port = {}) {
        EXPECT_EQ(device.Connect(socketPath, description, port).Error(), "");
        return events.TakeArrival();
    }

    std::unique_ptr<CUsbPipe> OpenPipe(VirtualBusDevice& device) {
        auto transport = Plug(device);
        EXPECT_NE(transport, nullptr);
        auto pipe = std::make_unique<CUsbPipe>(std::move(transport));
        EXPECT_TRUE(pipe->OpenPipe());
        return pipe;
    }

    static Bytes Receive(VirtualBusDevice& device) {
        Bytes packet;
        EXPECT_EQ(device.ReceivePacket(packet), VirtualBusDevice::Receive::Packet);
        return packet;
    }

    test::TempDir dir;
    std::string socketPath = dir.File("bus.sock");
    test::BusEvents events;
    usb::VirtualBusSource source{socketPath};
};

// --- arrival and removal --------------------------------------------------------

// Each connection arrives as a device of its own, closed, with its
// description and the port path it names (none: it does not say); its end
// is its removal.
TEST_F(VirtualBus, EachConnectionIsADeviceOfItsOwnAndItsEndIsItsRemoval) {
    VirtualBusDevice first;
    VirtualBusDevice second;
    auto a = Plug(first, "Quillon PDA boot loader (emulated)", "1-1.3");
    auto b = Plug(second);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->Description(), "Quillon PDA boot loader (emulated)");
    EXPECT_EQ(a->DevicePath(), "bus:1");
    EXPECT_EQ(a->PortPath(), "1-1.3");
    EXPECT_FALSE(a->IsOpen());
    EXPECT_EQ(b->DevicePath(), "bus:2");
    EXPECT_EQ(b->PortPath(), "");
    second.Disconnect();
    EXPECT_EQ(events.TakeRemoval(), "bus:2");
    first.Disconnect();
    EXPECT_EQ(events.TakeRemoval(), "bus:1");
}

// --- packets both ways ------------------------------------------------------------

// Every write is one frame, the zero-length packet after a whole 64 bytes
// a frame of its own; reply frames reach the host one byte at a time and an
// empty one carries nothing.
TEST_F(VirtualBus, AnEmulatorServesPacketsThroughItsHandlerUntilTheHostLetsGo) {
    VirtualBusDevice device;
    auto pipe = OpenPipe(device);
    std::vector<std::size_t> seen;
    auto serving = std::async(std::launch::async, [&] {
        return device.Serve([&](std::span<const std::uint8_t> packet) {
            seen.push_back(packet.size());
            if (!packet.empty()) {
                device.SendReply(Bytes{});
                device.SendReply(Bytes{0x01, static_cast<std::uint8_t>(packet.size())});
            }
        });
    });
    Bytes replies(4);
    ASSERT_TRUE(pipe->WritePipe(Bytes(9, 0x01)));
    ASSERT_EQ(pipe->ReadReplyByte(replies[0]), PipeRead::Ok);
    ASSERT_EQ(pipe->ReadReplyByte(replies[1]), PipeRead::Ok);
    ASSERT_TRUE(pipe->WritePipe(Bytes(64, 0x02)));
    ASSERT_EQ(pipe->ReadReplyByte(replies[2]), PipeRead::Ok);
    ASSERT_EQ(pipe->ReadReplyByte(replies[3]), PipeRead::Ok);
    EXPECT_EQ(replies, (Bytes{0x01, 9, 0x01, 64}));
    pipe.reset(); // the host lets go: Serve ends, the device is removed
    EXPECT_EQ(serving.get(), VirtualBusDevice::Receive::HostGone);
    EXPECT_EQ(events.TakeRemoval(), "bus:1");
    EXPECT_EQ(seen, (std::vector<std::size_t>{9, 64, 0}));
}

// A stop wakes the host's blocked read, and once cleared the unload
// command still goes out; the device's own stop ends its blocked receive.
TEST_F(VirtualBus, AStopWakesABlockedReadOnEitherEnd) {
    VirtualBusDevice device;
    auto pipe = OpenPipe(device);
    std::uint8_t reply = 0;
    auto reading = std::async(std::launch::async, [&] { return pipe->ReadReplyByte(reply); });
    pipe->RequestStop();
    EXPECT_EQ(reading.get(), PipeRead::Stopped);
    EXPECT_FALSE(pipe->WritePipe(Bytes{0x07}));
    pipe->ClearStopRequest();
    EXPECT_TRUE(pipe->WritePipe(Bytes{0x07}));
    EXPECT_EQ(Receive(device), Bytes{0x07});
    Bytes packet;
    auto receiving = std::async(std::launch::async, [&] { return device.ReceivePacket(packet); });
    device.Stop();
    EXPECT_EQ(receiving.get(), VirtualBusDevice::Receive::Stopped);
}

TEST_F(VirtualBus, ADeviceThatLeavesDuringAReadIsDisconnectedRemovedAndCannotBeOpened) {
    VirtualBusDevice device;
    auto transport = Plug(device);
    ASSERT_NE(transport, nullptr);
    ASSERT_TRUE(transport->Open());
    std::uint8_t reply = 0;
    auto reading = std::async(std::launch::async, [&] { return transport->ReadByte(reply); });
    device.Disconnect();
    EXPECT_EQ(reading.get(), TransferStatus::Disconnected);
    EXPECT_EQ(events.TakeRemoval(), "bus:1");
    EXPECT_EQ(transport->Write(Bytes{0x01}), TransferStatus::Disconnected);
    EXPECT_EQ(transport->Open().Error(), "Virtual USB device bus:1 has disconnected");
}

// An oversized description or frame is garbage: the device is cut off.
TEST_F(VirtualBus, AnOversizedDescriptionOrFrameIsRefusedAsGarbageAndTheDeviceCutOff) {
    VirtualBusDevice describer;
    // Connect may or may not see the listener hang up before it is done.
    (void)describer.Connect(socketPath, std::string(5000, 'x'));
    EXPECT_EQ(events.TakeProblem(), "Virtual USB device bus:1 announced a description of 5000 "
                                    "bytes (at most 1024 allowed); disconnected as garbage");
    (void)describer.Connect(socketPath, "Rig", "1-x");
    EXPECT_EQ(events.TakeProblem(), "Virtual USB device bus:2 gave the port path \"1-x\", which "
                                    "is no USB port path (such as 1-2.3); disconnected as garbage");
    VirtualBusDevice device;
    auto pipe = OpenPipe(device);
    EXPECT_EQ(events.Arrivals(), 0u); // neither describer arrived
    // A header announcing 16 MiB + 1 bytes.
    ASSERT_TRUE(device.SendRaw(Bytes{0x01, 0x00, 0x00, 0x01, 0xff}));
    std::uint8_t reply = 0x00;
    EXPECT_EQ(pipe->ReadReplyByte(reply), PipeRead::Failed);
    EXPECT_EQ(events.TakeProblem(),
              "Virtual USB device bus:3 (PDA boot loader) sent a frame of 16777217 bytes (at "
              "most 16777216 allowed); disconnected as garbage");
    EXPECT_EQ(events.TakeRemoval(), "bus:3");
    Bytes packet;
    EXPECT_EQ(device.ReceivePacket(packet), VirtualBusDevice::Receive::HostGone);
}

// --- running out of descriptors ------------------------------------------------------

// The clients live in a child process, so that only the listener runs short.
// It reads one command byte at a time: connect five clients, close the first,
// describe the fourth. Only async-signal-safe calls after the fork.
[[noreturn]] void RunClients(int commands, const sockaddr_un& address, const Bytes& description) {
    int clients[5] = {};
    char command = 0;
    while (::read(commands, &command, 1) == 1) {
        for (int i = 0; command == 'c' && i < 5; ++i) {
            clients[i] = ::socket(AF_UNIX, SOCK_STREAM, 0);
            (void)::connect(clients[i], reinterpret_cast<const sockaddr*>(&address),
                            sizeof(address));
        }
        if (command == 'x')
            ::close(clients[0]);
        if (command == 'd')
            ::send(clients[3], description.data(), description.size(), MSG_NOSIGNAL);
    }
    ::_exit(0);
}

// The descriptor limit under which exactly `free` more can be opened.
rlim_t LimitLeaving(int free) {
    int fd = 0;
    for (int left = free;; ++fd)
        if (::fcntl(fd, F_GETFD) == -1 && --left == 0)
            return static_cast<rlim_t>(fd) + 1;
}

TEST_F(VirtualBus, OutOfDescriptorsItPausesSaysSoOnceAndGoesOnWhenOneIsFreed) {
    // The undefined-behaviour sanitizer checks an object's dynamic type by
    // probing its memory through a pipe. With every descriptor taken on
    // purpose the probe cannot open one and reports each shared_ptr as
    // invalid, so the test does not run where that sanitizer's runtime is.
    if (::dlsym(RTLD_DEFAULT, "__ubsan_handle_dynamic_type_cache_miss") != nullptr)
        GTEST_SKIP() << "the type sanitizer's memory probe needs descriptors of its own";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, socketPath.size());
    const Bytes description = usb::EncodeFrame(Bytes{'R', 'i', 'g'});
    int commands[2];
    ASSERT_EQ(::pipe(commands), 0);
    const pid_t clients = ::fork();
    if (clients == 0) {
        ::close(commands[1]);
        RunClients(commands[0], address, description);
    }
    ::close(commands[0]);
    const auto tell = [&](char command) { ASSERT_EQ(::write(commands[1], &command, 1), 1); };

    // Room for three more descriptors: three clients get in, two wait.
    rlimit previous{};
    ::getrlimit(RLIMIT_NOFILE, &previous);
    rlimit tight = previous;
    tight.rlim_cur = LimitLeaving(3);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    tell('c');
    EXPECT_EQ(events.TakeProblem(), "Virtual USB bus " + socketPath +
                                        " cannot accept more devices: Too many open files (3 "
                                        "connections open); new devices wait until a descriptor "
                                        "is freed. Disconnect idle devices or raise the limit "
                                        "(ulimit -n)");
    tell('x'); // frees one: the fourth gets in, the fifth still waits, quietly
    EXPECT_EQ(events.TakeProblem(),
              "Virtual USB device bus:1 disconnected before it sent its description");
    tell('d');
    auto fourth = events.TakeArrival();
    EXPECT_EQ(events.Problems(), 0u); // the fifth's wait went unreported
    ::setrlimit(RLIMIT_NOFILE, &previous);
    ::close(commands[1]);
    ::waitpid(clients, nullptr, 0);
    ASSERT_NE(fourth, nullptr);
    EXPECT_EQ(fourth->DevicePath(), "bus:4");
    EXPECT_EQ(fourth->Description(), "Rig");
}

// --- the socket path ----------------------------------------------------------------

TEST_F(VirtualBus, APathServedByALiveListenerIsRefused) {
    test::BusEvents otherEvents;
    usb::VirtualBusSource second(socketPath);
    EXPECT_EQ(second.Start(otherEvents.Sink()).Error(),
              "Virtual USB bus path " + socketPath +
                  " is already served by another listener (is another Marlow running?); "
                  "stop it or choose another path");
    // The first listener still works, and stopping it removes the path.
    VirtualBusDevice device;
    EXPECT_NE(Plug(device), nullptr);
    source.Stop();
    struct stat status {};
    EXPECT_NE(::lstat(socketPath.c_str(), &status), 0);
    EXPECT_EQ(VirtualBusDevice().Connect(socketPath, "late").Error(),
              "No virtual USB bus listens on " + socketPath + "; start Marlow's listener first");
}

// The path appears only once the listener accepts: a device that connects
// as soon as it sees the path is never refused.
TEST(VirtualBusPath, ThePathAppearsOnlyWhenItAcceptsConnections) {
    test::TempDir dir;
    test::BusEvents events;
    usb::VirtualBusSource source(watchedBusPath = dir.File("bus.sock"));
    ASSERT_TRUE(source.Start(events.Sink()));
    watchedBusPath.clear();
    EXPECT_EQ(watchedListens, 1);
    EXPECT_EQ(refusedAtListen, 0);
}

TEST(VirtualBusPath, ASocketLeftBehindByAGoneListenerIsTakenOver) {
    test::TempDir dir;
    const std::string path = dir.File("stale.sock");
    {
        usb::UniqueFd stale(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, path.size());
        ASSERT_EQ(::bind(stale.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    }                       // closed without removing the file
    test::BusEvents events; // outlives the source, whose thread feeds it
    usb::VirtualBusSource source(path);
    const Status started = source.Start(events.Sink());
    ASSERT_TRUE(started) << started.Error();
    VirtualBusDevice device;
    ASSERT_EQ(device.Connect(path, "PDA").Error(), "");
    EXPECT_NE(events.TakeArrival(), nullptr);
}

// Connecting takes write permission on the socket file: its mode decides
// who may pose as a handset.
TEST(VirtualBusPath, TheSocketIsTheOwnersOrItsGroupsAloneWhateverTheUmask) {
    const std::string ownGroup = ::getgrgid(::getgid())->gr_name;
    const struct {
        std::string group;
        mode_t mode; // 0: refused
    } rows[] = {{"", 0600}, {ownGroup, 0660}, {"no-such-marlow-group", 0}};
    for (const auto& row : rows) {
        test::TempDir dir;
        const std::string path = dir.File("bus.sock");
        test::BusEvents events;
        usb::VirtualBusSource source(path, row.group);
        const mode_t umask = ::umask(0);
        const Status started = source.Start(events.Sink());
        ::umask(umask);
        struct stat status {};
        const bool exists = ::lstat(path.c_str(), &status) == 0;
        EXPECT_EQ(started.Ok(), row.mode != 0) << row.group << ": " << started.Error();
        EXPECT_EQ(exists ? status.st_mode & 07777 : 0, row.mode) << row.group;
        if (row.mode == 0) {
            EXPECT_EQ(started.Error(), "There is no group " + row.group +
                                           " to share virtual USB bus path " + path +
                                           " with; name an existing group");
        }
    }
}

// A file that is no socket is left alone; a path too long for a socket, or
// for the name beside it that the socket is prepared under, is refused.
TEST(VirtualBusPath, APathThatCannotBeASocketIsRefused) {
    test::TempDir dir;
    const std::string notes = dir.File("notes.txt");
    test::WriteFile(notes, std::string_view("keep me"));
    const std::string tooLong = "/tmp/" + std::string(200, 'p');
    const std::string deepFolder = "/tmp/" + std::string(96, 'f') + "/";
    const std::pair<std::string, std::string> rows[] = {
        {notes,
         "Virtual USB bus path " + notes + " exists and is not a socket; choose another path"},
        {tooLong, "Virtual USB bus socket path \"" + tooLong + "\" must be 1 to 107 bytes long"},
        {deepFolder + "s", "Virtual USB bus path " + deepFolder +
                               "s leaves no room beside it for the name it is prepared under; "
                               "choose a shorter path"},
    };
    for (const auto& [path, refusal] : rows) {
        test::BusEvents events;
        usb::VirtualBusSource source(path);
        EXPECT_EQ(source.Start(events.Sink()).Error(), refusal);
    }
    EXPECT_EQ(test::ReadFileText(notes), "keep me");
}

} // namespace
} // namespace marlow
