#include "uartloader/partition_request.h"

#include "uartloader/file_senders.h"
#include "uartloader/hex_text.h"
#include "uartloader/link_steps.h"
#include "uartloader/request_codes.h"
#include "uartloader/source_file.h"
#include "uartloader/uart_frames.h"

namespace marlow::uartloader {

namespace {

constexpr char kRxError[] = "ERROR: in RX DATA\r\n";

bool ConvertAddresses(UartRunContext& run, std::size_t row, const std::string& step,
                      std::uint32_t& entryPoint, std::uint32_t& extAddress) {
    const FileRow& fields = run.inputs.rows[row];
    if (!HexStringToDword(fields.entryPoint, entryPoint))
        return run.Fail("ERROR: HexStringToDword\r\n",
                        StepFailure(step, "\"Entry Point\" \"" + fields.entryPoint +
                                              "\" is not up to 8 upper-case hex digits"));
    if (!HexStringToDword(fields.extAddress, extAddress))
        return run.Fail("ERROR: HexStringToDword\r\n",
                        StepFailure(step, "\"Ext. Address\" \"" + fields.extAddress +
                                              "\" is not up to 8 upper-case hex digits"));
    return true;
}

} // namespace

void HandlePartitionRequest(UartRunContext& run, std::uint32_t requestCode) {
    const std::size_t row = FileIndexFromRequest(requestCode);
    const std::string step = RequestName(requestCode);

    if (const Result<std::uint32_t> unusedWord =
            ReceiveWord(run.port, step + " word", run.timeouts.reply);
        !unusedWord) {
        run.Fail(kRxError, unusedWord);
        return;
    }

    Result<SourceFile> source = OpenSourceFile(run, row, step);
    if (!source) {
        run.Fail("ERROR: Failed to open file: " + run.inputs.filePaths[row] + "\r\n", source);
        return;
    }

    std::uint32_t entryPoint = 0;
    std::uint32_t extAddress = 0;
    if (!ConvertAddresses(run, row, step, entryPoint, extAddress))
        return;

    const auto header = BuildPartitionHeader(source->size, entryPoint, extAddress);
    if (Status r = SendBytes(run.port, step + " header", header); !r) {
        run.Fail("ERROR: in TX DATA\r\n", r);
        return;
    }

    const std::string ackStep = step + " header acknowledgement";
    const Result<std::uint32_t> ack = ReceiveWord(run.port, ackStep, run.timeouts.reply);
    if (!ack) {
        run.Fail(kRxError, ack);
        return;
    }
    if (Status r = CheckAck(ackStep, *ack); !r) {
        run.Fail("ERROR: Invalid ACK\r\n", r);
        return;
    }

    if (Status r = TransmitFileParity(run, source->file, source->size, kPartitionChunk,
                                      static_cast<int>(row), step);
        !r)
        run.Fail("ERROR: TransmitFileParity\r\n", r);
}

} // namespace marlow::uartloader
