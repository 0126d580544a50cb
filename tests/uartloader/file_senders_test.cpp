#include "uartloader/file_senders.h"

#include "emulators/in_process_handset.h"
#include "support/hang_bound.h"
#include "support/uart_test_support.h"
#include "uartloader/source_file.h"
#include "uartloader/uart_frames.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace marlow::uartloader {
namespace {

using emulators::InProcessUartLink;
using std::chrono::milliseconds;
using test::PatternBytes;
using test::RecordingSink;

class FileSending : public ::testing::Test {
protected:
    FileSending() : port(handset.link.MakeHostEnd()) {
        EXPECT_TRUE(port->Open(kLoaderLineSettings).Ok());
        timeouts.reply = milliseconds(200);
    }

    InputFile FileWith(const std::vector<std::uint8_t>& bytes) {
        const std::string path = dir.File("f" + std::to_string(fileCount++) + ".bin");
        marlow::test::WriteFile(path, bytes);
        return *InputFile::Open(path);
    }

    UartRunContext Run() { return UartRunContext(*port, sink, totalWrite, RunInputs{}, timeouts); }

    // The handset takes `frames` frames of 2052 bytes and answers each with
    // the next of `acks`; it stops at the first refusal.
    void AckFrames(std::size_t frames, std::vector<std::uint32_t> acks) {
        handset.Play([frames, acks](InProcessUartLink& link) {
            std::vector<std::uint8_t> frame(2052);
            for (std::size_t i = 0; i < frames && i < acks.size(); ++i) {
                if (link.DeviceReceive(frame, marlow::test::kStuckAfter) != LinkStatus::Ok)
                    return;
                if (link.DeviceSend(WordBytes(acks[i])) != LinkStatus::Ok || acks[i] != 0)
                    return;
            }
        });
    }

    std::vector<std::vector<std::uint8_t>> Writes() const {
        std::vector<std::vector<std::uint8_t>> writes;
        for (const auto& w : handset.link.HostWrites())
            writes.push_back(w.bytes);
        return writes;
    }

    marlow::test::TempDir dir;
    int fileCount = 0;
    emulators::test::InProcessHandset handset;
    std::unique_ptr<UartTransport> port;
    RecordingSink sink;
    std::atomic<bool> totalWrite{false};
    UartTimeouts timeouts;
};

// Full chunks and one rest, each one write, the bar stepped after each.
TEST_F(FileSending, SimpleSendsTheFileInChunksAndStepsItsBar) {
    const struct {
        std::size_t size;
        std::size_t chunk;
        int bar;
        std::vector<std::size_t> writes;
        std::vector<int> progress;
    } rows[] = {
        {4, 1, 1, {1, 1, 1, 1}, {0, 25, 50, 75, 100, 100}},
        {2148, 1024, 2, {1024, 1024, 100}, {0, 47, 95, 100}},
        {1024, 1024, 4, {1024}, {0, 100}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size);
        const auto bytes = PatternBytes(row.size, static_cast<std::uint8_t>(row.bar));
        InputFile file = FileWith(bytes);
        UartRunContext run = Run();
        const std::size_t before = Writes().size();
        ASSERT_TRUE(TransmitFileSimple(run, file, row.size, row.chunk, row.bar));
        const auto writes = Writes();
        std::vector<std::size_t> sizes;
        std::vector<std::uint8_t> joined;
        for (std::size_t i = before; i < writes.size(); ++i) {
            sizes.push_back(writes[i].size());
            joined.insert(joined.end(), writes[i].begin(), writes[i].end());
        }
        EXPECT_EQ(sizes, row.writes);
        EXPECT_EQ(joined, bytes);
        EXPECT_EQ(sink.Progress(row.bar), row.progress);
    }
}

TEST_F(FileSending, SimpleRefusesAFileThatEndsBeforeItsSizeInsteadOfSendingGarbage) {
    InputFile file = FileWith(PatternBytes(10, 4));
    UartRunContext run = Run();
    const Status result = TransmitFileSimple(run, file, 20, 1, 0, "2nd boot");
    EXPECT_NE(result.Error().find("2nd boot: the file ended"), std::string::npos) << result.Error();
    EXPECT_EQ(Writes().size(), 10u);
}

// Every way a parity transfer ends: the frames that went out, the bar's
// last step and the verdict (none: it passed). What the frames hold is
// checked by the handset emulator in the session's whole runs.
struct ParityEnd {
    const char* name;
    std::size_t fileSize;
    std::size_t declaredSize;
    std::uint32_t ack; // to every frame; none: the handset stays silent
    bool answers;
    std::size_t writes;
    int lastProgress;
    std::string problem;
};

class ParityEnding : public FileSending, public ::testing::WithParamInterface<ParityEnd> {};

TEST_P(ParityEnding, EndsWithItsVerdictAndOnlyTheFramesItSent) {
    const ParityEnd& row = GetParam();
    InputFile file = FileWith(PatternBytes(row.fileSize, 6));
    if (row.answers)
        AckFrames(3, {row.ack, row.ack, row.ack});
    UartRunContext run = Run();
    const Status result = TransmitFileParity(run, file, row.declaredSize, 2048, 3, "X");
    EXPECT_EQ(result.Ok(), row.problem.empty());
    EXPECT_EQ(result.Error(), row.problem);
    EXPECT_EQ(Writes().size(), row.writes);
    EXPECT_EQ(sink.Progress(3).back(), row.lastProgress);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParityEnding,
    ::testing::Values(ParityEnd{"WholeFileInThreeFrames", 5000, 5000, 0, true, 3, 100, ""},
                      ParityEnd{"RefusedFrame", 5000, 5000, 1, true, 1, 0,
                                "X frame acknowledgement: refused with acknowledgement 0x00000001"},
                      ParityEnd{"NoAcknowledgement", 3000, 3000, 0, false, 1, 0,
                                "X frame acknowledgement: no reply in time (waited 200 ms)"},
                      ParityEnd{"EmptyFileSendsNothing", 0, 0, 0, false, 0, 0, ""},
                      ParityEnd{"FileEndsBeforeItsSize", 3000, 5000, 0, true, 1, 40,
                                "X: the file ended or failed to read at byte 3000"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileSending, TotalWriteModeDrivesBarEightWhateverBarIsAsked) {
    totalWrite = true;
    InputFile simpleFile = FileWith(PatternBytes(2, 9));
    InputFile parityFile = FileWith(PatternBytes(100, 10));
    AckFrames(1, {0});
    UartRunContext run = Run();
    ASSERT_TRUE(TransmitFileSimple(run, simpleFile, 2, 1, 0));
    ASSERT_TRUE(TransmitFileParity(run, parityFile, 100, 2048, 6));
    EXPECT_TRUE(sink.Progress(0).empty());
    EXPECT_TRUE(sink.Progress(6).empty());
    EXPECT_EQ(sink.Progress(8), (std::vector<int>{0, 50, 100, 100, 0, 100}));
}

TEST_F(FileSending, ABadChunkSizeIsRefusedRatherThanLoopingForever) {
    InputFile file = FileWith(PatternBytes(8, 11));
    UartRunContext run = Run();
    EXPECT_FALSE(TransmitFileSimple(run, file, 8, 0, 0));
    EXPECT_FALSE(TransmitFileParity(run, file, 8, 6, 0));
    EXPECT_TRUE(Writes().empty());
}

TEST_F(FileSending, AFileTooLargeForTheSizeWordIsRefusedAtOpen) {
    const std::string path = dir.File("huge.bin");
    marlow::test::WriteFile(path, std::string("x"));
    std::filesystem::resize_file(path, (std::uint64_t{1} << 32) + 1); // sparse
    RunInputs inputs;
    inputs.filePaths[3] = path;
    inputs.names[3] = "huge.bin";
    UartRunContext run(*port, sink, totalWrite, inputs, timeouts);
    EXPECT_EQ(OpenSourceFile(run, 3, "REQ_FLASH_XLOADER").Error(),
              "REQ_FLASH_XLOADER: " + path + " is larger than the 4 GiB a size word can carry");
    EXPECT_EQ(sink.CurrentFiles(), std::vector<std::string>{"huge.bin"});
}

} // namespace
} // namespace marlow::uartloader
