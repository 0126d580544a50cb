#include "uartloader/uart_boot_sequence.h"

#include "uartloader/file_senders.h"
#include "uartloader/hex_text.h"
#include "uartloader/link_steps.h"
#include "uartloader/partition_request.h"
#include "uartloader/request_codes.h"
#include "uartloader/source_file.h"
#include "uartloader/uart_frames.h"

#include <vector>

namespace marlow::uartloader {

namespace {

const std::string kSeparator = std::string(47, '_') + "\r\n";
constexpr char kRxError[] = "ERROR: in RX DATA\r\n";
constexpr char kTxError[] = "ERROR: in TX DATA\r\n";

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t b : bytes)
        text += (text.empty() ? "" : " ") + Hex8(b).substr(6);
    return text;
}

bool RefuseInvalidList(UartRunContext& run) {
    run.ShowMessageBox("Error : Invalid  *.stm File");
    return run.Fail("\r\nError : Invalid *.stm File!!!\r\n",
                    StepFailure("STM list", "the list was refused when it was read"));
}

bool ReceiveAsicId(UartRunContext& run) {
    std::array<std::uint8_t, kAsicIdFirstRead> first{};
    if (Status r = ReceiveBytes(run.port, "ASIC ID", first, run.timeouts.firstBytes); !r)
        return run.Fail("\r\nFailed to receive any data from the device.\r\n", r);

    const std::optional<std::size_t> position = FindAsicIdPattern(first);
    if (!position)
        return run.Fail("\r\nFailed to find ASIC ID.\r\n",
                        StepFailure("ASIC ID", "no pattern 05 01 05 01 00 88 10 at "
                                               "positions 0 to 12 of " +
                                                   HexBytes(first)));

    std::vector<std::uint8_t> rest(*position + kAsicIdTail);
    if (Status r = ReceiveBytes(run.port, "rest of the ASIC ID", rest, run.timeouts.reply); !r)
        return run.Fail("\r\nFailed to find ASIC ID.\r\n", r);
    run.Log("\r\nReceived ASIC ID\r\n");
    return true;
}

bool SendBootIndication(UartRunContext& run) {
    if (Status r = SendWord(run.port, "boot indication", BOOT_INDICATION); !r)
        return run.Fail("\r\nFailed to send Boot Indication.\r\n", r);
    run.Log("Boot Indication Sent = " + Hex8(BOOT_INDICATION) + "\r\n");
    return true;
}

bool SendSecondBoot(UartRunContext& run) {
    run.Log("\r\nLOADING 2nd Boot...\r\n");
    run.Log(kSeparator);

    Result<SourceFile> source = OpenSourceFile(run, kSecondBootRow, "2nd boot");
    if (!source) {
        run.ShowMessageBox("Please Check for Binary Files...Retry!!!");
        return run.Fail("\r\nFailed to open 2nd boot binary file.\r\n", source);
    }
    if (Status r = SendWord(run.port, "2nd boot size", source->size); !r)
        return run.Fail("\r\nError.\r\n", r);
    run.Log("Size of the Second Boot binary sent\r\n");

    if (Status r = TransmitFileSimple(run, source->file, source->size, kSecondBootChunk,
                                      static_cast<int>(kSecondBootRow), "2nd boot");
        !r)
        return run.Fail("\r\nFailed to send 2nd boot binary file.\r\n", r);

    run.Log("Second Boot binary sent\r\n");
    run.Log("\r\nLOADING 2nd Boot Done\r\n");
    run.Log(kSeparator);
    return true;
}

void SendExtMemInit(UartRunContext& run) {
    run.Log("\r\nLOADING ExtMemInit...\r\n");
    run.Log(kSeparator);

    Result<SourceFile> source = OpenSourceFile(run, kExtMemInitRow, "ExtMemInit");
    if (!source) {
        run.Fail("ERROR: Failed to open ExtMemInit File.\r\n", source);
        return;
    }
    if (Status r = SendWord(run.port, "ExtMemInit size", source->size); !r) {
        run.Fail(kTxError, r);
        return;
    }
    run.Log("Size of the External memory init sent\r\n");

    if (Status r = TransmitFileSimple(run, source->file, source->size, kExtMemInitChunk,
                                      static_cast<int>(kExtMemInitRow), "ExtMemInit");
        !r) {
        run.Fail("ERROR: Failed to transmit ExtMemInit File.\r\n", r);
        return;
    }
    run.Log("External memory init function code sent\r\n");
    run.Log("\r\nLOADING ExtMemInit Done.\r\n");
    run.Log(kSeparator);
}

void SendFlasher(UartRunContext& run) {
    run.Log("\r\nLOADING Flasher...\r\n");
    run.Log(kSeparator);

    Result<SourceFile> source = OpenSourceFile(run, kFlasherRow, "boot flasher");
    if (!source) {
        run.Fail("ERROR: Failed to open Flasher File.\r\n", source);
        return;
    }
    if (Status r = SendWord(run.port, "boot flasher size", source->size); !r) {
        run.Fail(kTxError, r);
        return;
    }
    run.Log("Size of the BootFlasher binary sent\r\n");

    const Result<std::uint32_t> echo =
        ReceiveWord(run.port, "boot flasher size echo", run.timeouts.sizeEcho);
    if (!echo) {
        run.Fail(kRxError, echo);
        return;
    }
    if (*echo != source->size) {
        run.Fail("ERROR: Size doesn't match.\r\n",
                 StepFailure("boot flasher size echo", "the handset echoed 0x" + Hex8(*echo) +
                                                           " for 0x" + Hex8(source->size)));
        return;
    }

    const FileRow& fields = run.inputs.rows[kFlasherRow];
    std::uint32_t entryPoint = 0;
    std::uint32_t executionAddress = 0;
    if (!HexStringToDword(fields.entryPoint, entryPoint) ||
        !HexStringToDword(fields.extAddress, executionAddress)) {
        run.Fail("ERROR: HexStringToDword\r\n",
                 StepFailure("boot flasher addresses",
                             "\"Entry Point\" \"" + fields.entryPoint +
                                 "\" or \"Ext. Address\" \"" + fields.extAddress +
                                 "\" is not up to 8 upper-case hex digits"));
        return;
    }
    if (Status r = SendWord(run.port, "boot flasher entry point", entryPoint); !r) {
        run.Fail("ERROR: TransmitData\r\n", r);
        return;
    }
    run.Log("Entry point of boot flasher binary sent\r\n");
    if (Status r = SendWord(run.port, "boot flasher execution address", executionAddress); !r) {
        run.Fail("ERROR: TransmitData\r\n", r);
        return;
    }
    run.Log("Execution address of boot flasher binary sent\r\n");

    if (Status r = TransmitFileSimple(run, source->file, source->size, kFlasherChunk,
                                      static_cast<int>(kFlasherRow), "boot flasher");
        !r) {
        run.Fail("ERROR: TransmitFileSimple\r\n", r);
        return;
    }
    run.Log("Boot flasher binary sent\r\n");
    run.Log("\r\nLOADING Flasher Done.\r\n");
    run.Log(kSeparator);
}

// Text, arrow and done messages: a length word, then the text.
void ReceiveMessage(UartRunContext& run, std::uint32_t requestCode) {
    const std::string step = RequestName(requestCode);
    const Result<std::uint32_t> length =
        ReceiveWord(run.port, step + " length", run.timeouts.reply);
    if (!length) {
        run.Fail(kRxError, length);
        return;
    }
    // The receive buffer holds 1024 bytes; a longer text would overrun it.
    if (*length > kReceiveBufferSize) {
        run.Fail(kRxError,
                 StepFailure(step + " length",
                             std::to_string(*length) + " bytes is more than the " +
                                 std::to_string(kReceiveBufferSize) + "-byte receive buffer"));
        return;
    }
    std::vector<std::uint8_t> text(*length);
    if (Status r = ReceiveBytes(run.port, step + " text", text, run.timeouts.reply); !r) {
        run.Fail(kRxError, r);
        return;
    }

    switch (requestCode) {
    case REQ_TEXT_MESSAGE:
        run.Log("### " + MessageText(text, 0) + "\r\n");
        break;
    case REQ_ARROW_MESSAGE:
        run.Log(">>> " + MessageText(text, 3) + "\r\n");
        break;
    default:
        run.Log("$$$ " + MessageText(text, 0) + "\r\n");
        run.FinishWithDoneMessage();
        break;
    }
}

void AnswerPing(UartRunContext& run) {
    const std::array<std::uint8_t, 1> reply = {kPingReply};
    if (Status r = SendBytes(run.port, "REQ_PING reply", reply); !r)
        run.Fail(kTxError, r);
}

void ServeRequest(UartRunContext& run, std::uint32_t requestCode) {
    switch (requestCode) {
    case REQ_EXT_MEM_INIT:
        SendExtMemInit(run);
        return;
    case REQ_FLASHER:
        SendFlasher(run);
        return;
    case REQ_TEXT_MESSAGE:
    case REQ_ARROW_MESSAGE:
    case REQ_DONE_MESSAGE:
        ReceiveMessage(run, requestCode);
        return;
    case REQ_PING:
        AnswerPing(run);
        return;
    default:
        break;
    }
    if (IsFlashRequest(requestCode))
        HandlePartitionRequest(run, requestCode);
    else
        run.Diagnose("ignored " + RequestName(requestCode));
}

void ServeRequests(UartRunContext& run) {
    while (run.running) {
        const Result<std::uint32_t> requestCode =
            ReceiveWord(run.port, "request code", run.timeouts.request);
        if (!requestCode) {
            run.Fail(kRxError, requestCode);
            return;
        }
        ServeRequest(run, *requestCode);
    }
}

void EndRun(UartRunContext& run) {
    run.Log(run.message);
    if (run.disconnect)
        run.disconnect();
    run.ShowCurrentFile(kPortDisconnectedLabel);
}

} // namespace

RunFinished UartBootSequence(UartRunContext& run) {
    if (run.inputs.listInvalid)
        RefuseInvalidList(run);
    else if (ReceiveAsicId(run) && SendBootIndication(run) && SendSecondBoot(run))
        ServeRequests(run);
    EndRun(run);
    return run.Finish();
}

} // namespace marlow::uartloader
