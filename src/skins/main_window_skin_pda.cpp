#include "skins/main_window_skin.h"

#include "common/printf_text.h"
#include "common/visit_overloads.h"

namespace marlow::app {

namespace {

using namespace pda;

constexpr const char* kDownloadAbortedStatus = "Download Aborted! Reconnect the Device to Retry";
constexpr const char* kStartWritingToFlash =
    "\n\n Transferred Data to RAM Successfully!\t\t\t\t\t\t                 \n\n"
    "|--------------------[ Start Writing to Flash ]----------------------|\t\t\t\t\t\t\t\t\t\t"
    " \n            Waiting for Writing Flash!!!!             \t\t\t\t\t\t\t\t\t\t \n"
    "       - See the Debug Message Window for Writing State ! - \t\t\t\t\t\t\t\t\t\t \n"
    "|-------------------------------------------------------------------|";

std::string RecordDataLine(int percent) {
    return Printf("\n\nRECORDDATA_STATE\t\t %d%%", percent);
}

std::string Transferring(const std::string& image) {
    return "Transferring [ " + image + " ] Image Data to RAM.....";
}

const char* ReadFailedText(ImagePart part) {
    switch (part) {
    case ImagePart::Signature:
        return "\nError Reading Signature!\r\n";
    case ImagePart::RecordHeader:
        return "\nError Reading Record header!";
    case ImagePart::RecordData:
        break;
    }
    return "\nError Reading Record data!";
}

} // namespace

void MainWindowSkin::Show(const PdaEvent& event) {
    MainWindowView& view = view_;
    const auto trace = [&view](std::string_view text) {
        view.Trace(MessageWindowId::DeviceState, text);
    };
    std::visit(
        Overloads{
            [&](const DeviceConnected& e) {
                if (!e.opened)
                    return trace("\nCan't Open the device..");
                view.ClearTrace(MessageWindowId::DeviceState);
                trace("\nDevice Connected!");
            },
            [&](const DownloadCommanded& e) {
                trace("\n OnOperationDownload()  - TEST");
                if (e.phoneFollows)
                    trace("\n g_AllDownLoad = FALSE;\t \n");
            },
            [&](const DownloadRefused& e) {
                view.MessageBox(e.deviceMissing
                                    ? "Device Disconnected!!  Retry to Connect Device!!!"
                                    : "File not found",
                                "");
            },
            [&](const PlanRefused& e) { view.MessageBox(e.reason, ""); },
            [&](const StateVisited& e) {
                switch (e.state) {
                case PdaState::SIGNATURE_STATE:
                    return trace("\n\nSIGNATURE_STATE");
                case PdaState::RECORDHEADER_STATE:
                    return trace("\n\nRECORDHEADER_STATE");
                case PdaState::PHONEDOWN_STATE:
                    return trace("\n PHONEDOWN_STATE: \n");
                case PdaState::ERROR_STATE:
                    view.SetProgress(0);
                    return trace("\n\nERROR_STATE");
                case PdaState::EXIT_STATE:
                    if (e.aborted) {
                        trace("\n\nEXIT_STATE\n\n Download to Device Aborted!");
                        return view.StatusBar(kDownloadAbortedStatus);
                    }
                    trace("\n\nEXIT_STATE\n\n Downloaded to Device Successfully!");
                    return view.StatusBar("Launching with the New Image....");
                default:
                    return;
                }
            },
            [&](const RunNote& e) { trace(e.text); },
            [&](const ImageOpened& e) {
                if (!e.listEntry)
                    return;
                trace("\n\nFile Name : " + e.path);
                view.StatusBar(Transferring(e.image));
            },
            [&](const ImageOpenFailed& e) { view.MessageBox(e.path, "File Open Error"); },
            [&](const ImageStarted&) { trace("\n\nIMAGEHEADER_STATE"); },
            [&](const ImageReadFailed& e) { trace(ReadFailedText(e.part)); },
            [&](const HeaderRead& e) {
                view.Trace(MessageWindowId::DebugMessage,
                           Printf("\nStart Address =[%08X]\n", e.startAddress));
                view.Trace(MessageWindowId::DebugMessage,
                           Printf("\nImage Length=[%08d]\n", static_cast<int>(e.imageLength)));
            },
            [&](const ImageHeaderSending&) { trace("\nBefore ImageHeader Transfer \r\n"); },
            [&](const ImageHeaderSent&) { trace("\nAfter ImageHeader Transfer\r\n"); },
            [&](const PacketNotSent&) { trace("\nFailed in Transmitting"); },
            [&](const ReplyAwaited& e) {
                const ReplyTexts texts = ReplyTextsFor(e.command);
                const char* text = e.result == ReplyResult::Received ? texts.received
                                   : e.result == ReplyResult::Nak    ? texts.nak
                                                                     : texts.notRead;
                if (text != nullptr)
                    trace(text);
            },
            [&](const ReplyReadFailed&) {
                trace("\nFailed in Receiving Data");
                trace("\nDownload Aborted!");
                view.StatusBar(kDownloadAbortedStatus);
            },
            [&](const TransferStarted& e) {
                view.CreateProgress(0, 100);
                if (!e.listEntry)
                    view.StatusBar(Transferring(e.image));
            },
            [&](const RecordStarted& e) { trace(RecordDataLine(e.percent)); },
            [&](const PercentReached& e) {
                view.SetProgress(e.percent);
                trace(RecordDataLine(e.percent));
            },
            [&](const FlashWriteNear& e) {
                view.StatusBar(e.listEntry ? "Writing [ " + e.image + " ] Image Data to RAM....."
                                           : "Writing [ " + e.image + " ] Image to FLASH.....");
            },
            [&](const TransferStopped&) { view.CloseProgress(); },
            [&](const EndRecordRead&) { view.SetProgress(0); },
            [&](const TransferEnding& e) {
                trace(Printf(
                    "\n\n m_pMainUsbView->CloseDownloadProgress() : XIPWriteComplete = %d \n",
                    e.xipWriteComplete ? 1 : 0));
                view.CloseProgress();
            },
            [&](const PhoneDownNext& e) {
                trace(e.afterList ? "\n\n if(XIPWriteComplete) \n"
                                  : "\n if(g_AllDownLoad != TRUE) \n");
            },
            [&](const ImageEndSending& e) {
                trace("\n\nENDOFTRANSFER_STATE");
                trace(Printf("\nLaunch Address = %X", e.launchAddress));
            },
            [&](const ImageEndSent&) { view.ShowWaitBox(); },
            [&](const FlashWriteStarted&) { trace(kStartWritingToFlash); },
            [&](const FlashWriteEnded& e) {
                if (e.stopped)
                    return trace("\nAborted Download!");
                view.CloseWaitBox();
            },
            [&](const PhoneDownSent&) { trace("\n if(dwWritten) \n"); },
            // Facts the main window does not show.
            [](const StateEntered&) {},
            [](const ListEntryRead&) {},
            [](const PhoneGroupStarted&) {},
            [](const PhoneFileListed&) {},
            [](const DeviceAnswered&) {},
            [](const RunFinished&) {},
        },
        event);
}

} // namespace marlow::app
