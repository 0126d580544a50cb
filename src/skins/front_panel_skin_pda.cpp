#include "skins/front_panel_skin.h"

#include "common/printf_text.h"
#include "common/visit_overloads.h"

namespace marlow::panel {

namespace {

using namespace pda;

const char* PhoneFileLoadedText(phone::PhoneFileRole role) {
    switch (role) {
    case phone::PhoneFileRole::PsiLoader:
        return "psi.flb File Loading OK!!";
    case phone::PhoneFileRole::SecondStageLoader:
        return "slb.flb File Loading OK!!";
    case phone::PhoneFileRole::Firmware:
        return "*.flb File Loading OK!!";
    case phone::PhoneFileRole::Eeprom:
        return "*.eep File Loading OK!!";
    case phone::PhoneFileRole::None:
        break;
    }
    return "No Match File Error!!";
}

std::string PercentText(int percent) {
    return Printf("%d%%", percent);
}

} // namespace

void FrontPanelSkin::Show(const PdaEvent& event) {
    FrontPanelView& view = view_;
    std::visit(Overloads{
                   [&](const DeviceConnected& e) {
                       if (!e.opened)
                           return;
                       view.Status("Device Connected!");
                       view.Percent("");
                       view.EnableDownStart();
                       view.Progress(0);
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
                       case PdaState::PHONEDOWN_STATE:
                           return view.Log("case PHONEDOWN_STATE:");
                       case PdaState::ERROR_STATE:
                           view.Progress(0);
                           view.Status("Aborted Download!");
                           view.Percent("Reconnect Device to Retry!");
                           return view.Log("case ERROR_STATE:");
                       case PdaState::EXIT_STATE:
                           view.Progress(0);
                           return view.Log("case EXIT_STATE:");
                       default:
                           return;
                       }
                   },
                   [&](const ListEntryRead& e) { view.CurrentFile(e.image); },
                   [&](const ImageOpened& e) {
                       if (!e.listEntry)
                           view.CurrentFile(e.image);
                   },
                   [&](const ImageOpenFailed& e) { view.MessageBox(e.path, "File Open Error"); },
                   [&](const PhoneGroupStarted&) { view.Log("Phone File Load Start~!!"); },
                   [&](const PhoneFileListed& e) { view.Log(PhoneFileLoadedText(e.role)); },
                   [&](const ImageStarted& e) {
                       if (!e.listEntry)
                           return;
                       std::string counter;
                       if (e.listTotal != 0)
                           counter = Printf("%d / %d", e.imageNumber, e.listTotal);
                       else
                           view.MessageBox("Invalid File Type.", "");
                       view.Counter(counter);
                   },
                   [&](const TransferStarted&) {
                       view.ProgressRange(0, 100);
                       view.Status("Downloading...");
                       view.EnableStop();
                   },
                   [&](const RecordStarted& e) { view.Percent(PercentText(e.percent)); },
                   [&](const PercentReached& e) {
                       view.Percent(PercentText(e.percent));
                       view.Progress(e.percent);
                   },
                   [&](const TransferStopped&) { view.Progress(0); },
                   [&](const EndRecordRead&) { view.Progress(0); },
                   [&](const ImageEndSent&) { view.Progress(0); },
                   [&](const FlashWriteStarted&) {
                       view.Status("Waiting for Installing...");
                       view.Percent("");
                   },
                   // Facts the front panel does not show.
                   [](const DownloadCommanded&) {},
                   [](const StateEntered&) {},
                   [](const RunNote&) {},
                   [](const ImageReadFailed&) {},
                   [](const HeaderRead&) {},
                   [](const ImageHeaderSending&) {},
                   [](const ImageHeaderSent&) {},
                   [](const PacketNotSent&) {},
                   [](const ReplyAwaited&) {},
                   [](const DeviceAnswered&) {},
                   [](const ReplyReadFailed&) {},
                   [](const FlashWriteNear&) {},
                   [](const TransferEnding&) {},
                   [](const PhoneDownNext&) {},
                   [](const ImageEndSending&) {},
                   [](const FlashWriteEnded&) {},
                   [](const PhoneDownSent&) {},
                   [](const RunFinished&) {},
               },
               event);
}

} // namespace marlow::panel
