// The main window's words for a phone run: the Device State Window's trace
// (the tool's own step-by-step notes, kept as operators know them), the bar
// below it and message boxes. The front panel's status line, labels and log
// have no place here.

#include "skins/main_window_skin.h"

#include "common/visit_overloads.h"
#include "phone/phone_library.h"

namespace marlow::app {

using namespace phone;

void MainWindowSkin::Show(const PhoneRunEvent& event) {
    MainWindowView& view = view_;
    const auto trace = [&view](std::string_view text) {
        view.Trace(MessageWindowId::DeviceState, text);
    };
    std::visit(Overloads{
                   [&](const PhoneNotSelected&) {
                       view.MessageBox("No Selected Phone!!  Retry to Select Phone!!!", "");
                   },
                   [&](const PackageNote& e) {
                       if (e.messageBox)
                           view.MessageBox(e.text, "");
                       else
                           trace(e.text);
                   },
                   [&](const PackageUnreadable&) { trace("\n Phone File Open Error... \n"); },
                   [&](const PortWaitStarted& e) {
                       if (e.afterPdaDownload)
                           trace("\n Phone Download Start! \n");
                       trace("\n Wait For Phone USB... \n");
                       view.CreateProgress(0, 100);
                   },
                   [&](const PortWaitPolled&) {
                       trace("if(!m_PhoneUsbWait)");
                       trace("Phone USB Connecting...");
                   },
                   [&](const PortWaitGaveUp&) { trace("Phone USB is not Connected..."); },
                   [&](const PortFound&) { trace("Check Phone USB"); },
                   [&](const BootStarted&) { view.ClearTrace(MessageWindowId::DeviceState); },
                   [&](const PortOpenFailed& e) {
                       if (!e.retry)
                           trace("if(!OpenPort(inst))");
                   },
                   [&](const BootRefused&) { trace("\n Error - Test \n"); },
                   [&](const LibraryStatus& e) {
                       trace("\n");
                       trace(e.text);
                       trace("\n");
                   },
                   [&](const StatusBeforeReport& e) { trace(e.text); },
                   [&](const LibraryReport& e) {
                       if (e.code == IFWD_DL_Error)
                           trace("case IFWD_DL_Error:");
                       else if (e.code == IFWD_DL_Progress)
                           view.SetProgress(e.percent);
                   },
                   [&](const PartStarted& e) {
                       view.SetProgress(0);
                       trace("\n Current Download = " + e.file + " \n");
                   },
                   [&](const PartRefused& e) {
                       if (e.role == PhoneFileRole::PsiLoader)
                           trace("\n Error \n");
                   },
                   [&](const PartFailed& e) {
                       trace(FailureLabel(e.state));
                       trace("\n");
                       if (!e.reason.empty()) {
                           trace(e.reason);
                           view.MessageBox(e.reason, "");
                       }
                       trace("\n Phone Downloaded Fail! \n");
                   },
                   [&](const PhoneDownloaded&) {
                       trace("\n Phone Downloaded Successfully! \n");
                       view.CloseProgress();
                       view.Trace(MessageWindowId::DebugMessage,
                                  "\n Phone Downloaded Successfully! \n");
                   },
                   [&](const LastPartClosing&) { trace("\n done_last_part(TInst *inst) + \n"); },
                   [&](const LastPartClosed&) { trace("\n done_last_part(TInst *inst) - \n"); },
                   [&](const RunCancelled&) { trace("\n DownCancel \n"); },
                   // The rest are the front panel's words only.
                   [](const auto&) {},
               },
               event);
}

} // namespace marlow::app
