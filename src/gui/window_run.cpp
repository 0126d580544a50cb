#include "gui/window_run.h"

#include "common/visit_overloads.h"

namespace marlow::gui {

WindowRun::WindowRun(std::string devicePath, std::function<void(const pda::PdaEvent&)> showPda,
                     std::function<phone::ModemPort()> modemPort)
    : devicePath(std::move(devicePath)), showPda_(std::move(showPda)),
      modemPort_(std::move(modemPort)) {}

void WindowRun::Post(const handset::HandsetEvent& event) {
    std::visit(Overloads{[this](const pda::PdaEvent& e) {
                             if (showPda_)
                                 showPda_(e);
                         },
                         [this](const phone::PhoneRunEvent& e) {
                             if (std::holds_alternative<phone::PortWaitEnded>(e))
                                 record->ModemPort(modemPort_());
                             record->Post(e);
                         },
                         [this](const handset::RunFinished& e) { Ended(e); }, [](const auto&) {}},
               event);
}

// A run that never touched a handset failed on its input.
void WindowRun::Ended(const handset::RunFinished& whole) {
    finished = whole;
    const records::Half half =
        whole.half == handset::Half::Pda ? records::Half::Pda : records::Half::Phone;
    if (whole.ending == handset::Ending::NotStarted ||
        whole.ending == handset::Ending::PhoneNotBegun)
        record->End(records::RunEnding{.verdict = records::RecordVerdict::Failed,
                                       .reason = whole.finished.reason,
                                       .errorClass = records::ErrorClass::Input,
                                       .half = half});
    else
        record->RunEnded(whole.finished, half);
}

} // namespace marlow::gui
