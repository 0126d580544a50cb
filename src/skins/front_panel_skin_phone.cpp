// The front panel's words for a phone run: the status line, the file and
// percent labels, the bar and the log list (the line's operators read the
// log as the tool's step-by-step notes). The main window's trace has no
// place here.

#include "skins/front_panel_skin.h"

#include "common/printf_text.h"
#include "common/visit_overloads.h"
#include "phone/phone_library.h"

namespace marlow::panel {

namespace {

using namespace phone;

inline constexpr std::uint32_t kRedText = 0x0000ff; // a colour reference: red

const char* PartLabel(PhoneFileRole role) {
    switch (role) {
    case PhoneFileRole::PsiLoader:
        return "Downloading PSI";
    case PhoneFileRole::SecondStageLoader:
        return "Downloading SLB";
    case PhoneFileRole::Firmware:
        return "Downloading FLS";
    case PhoneFileRole::Eeprom:
        return "Downloading EEPROM";
    case PhoneFileRole::None:
        break;
    }
    return "";
}

} // namespace

void FrontPanelSkin::Show(const PhoneRunEvent& event) {
    FrontPanelView& view = view_;
    std::visit(Overloads{
                   [&](const PortWaitStarted&) {
                       view.Status("Wait For Phone USB...");
                       view.Percent("");
                   },
                   [&](const PortWaitPolled&) {
                       view.Log("if(!m_PhoneUsbWait)");
                       view.CurrentFile("Phone USB Connecting...");
                   },
                   [&](const PortWaitGaveUp&) {
                       view.CurrentFile("Phone USB is not Connected...");
                       view.TwoLineMessage("Phone USB Cable is not conntected! or",
                                           "Key is not Pressed!", kRedText);
                   },
                   [&](const PortWaitEnded&) { view.Status("Phone USB Connected..."); },
                   [&](const BootStarted&) {
                       view.ClearLog();
                       view.Status("Please wait...");
                   },
                   [&](const PortOpenFailed& e) {
                       view.Status(e.retry ? "Can't open port - Retry" : "Can't open port");
                   },
                   [&](const BootUnderway&) { view.Status("Booting..."); },
                   [&](const BootStalled&) { view.Status("Restart Download"); },
                   [&](const ReBootPending&) { view.Log("stReBooting - Go!!"); },
                   [&](const ReBootStarted&) {
                       view.ClearLog();
                       view.Log("case stReBooting:");
                   },
                   [&](const LibraryStatus& e) { view.Log(e.text); },
                   [&](const LibraryReport& e) {
                       if (e.code != IFWD_DL_Progress)
                           return;
                       view.Progress(e.percent);
                       view.Percent(Printf("%d%%", e.percent));
                   },
                   [&](const PartStarted& e) {
                       view.Progress(0);
                       view.Status(PartLabel(e.role));
                       view.CurrentFile(e.file);
                   },
                   [&](const PartFailed& e) {
                       view.Status(FailureLabel(e.state));
                       if (!e.reason.empty()) {
                           view.Log(e.reason);
                           view.MessageBox(e.reason, "");
                       }
                       view.Log("Phone Downloaded Fail!");
                   },
                   [&](const FailedRunReleased&) {
                       view.Status("Phone Downloaded Fail!");
                       view.Percent("Retry!");
                       view.CurrentFile("");
                   },
                   [&](const PartsDone&) { view.Status("Success"); },
                   [&](const ProcessEnding&) { view.Status("Done"); },
                   [&](const RunAborting&) { view.Status("Ready"); },
                   [&](const PhoneDownloaded&) {
                       view.Status("Phone Download Successfully!");
                       view.Percent("Bye!");
                       view.Log("Phone Download Successfully!");
                       view.CurrentFile("");
                   },
                   [&](const LastPartClosing&) { view.Log("done_last_part(TInst *inst) +"); },
                   [&](const LastPartClosed&) {
                       view.Log("done_last_part(TInst *inst) -");
                       view.Status("Success");
                       view.Progress(0);
                   },
                   // After the panel's run has heard the end: the box is modal.
                   [&](const RunFinished& e) {
                       if (e.verdict == Verdict::Passed)
                           view.MessageBox("PDA & Phone Download Successfully~!!",
                                           "Download Complete!!");
                   },
                   // The rest are the main window's words only.
                   [](const auto&) {},
               },
               event);
}

} // namespace marlow::panel
