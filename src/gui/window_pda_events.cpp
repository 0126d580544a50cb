#include "gui/window_pda_events.h"

#include <QMetaObject>

namespace marlow::gui {

class WindowPdaEvents::HandsetSink : public pda::PdaEventSink {
public:
    HandsetSink(WindowPdaEvents& window, std::string devicePath)
        : window_(window), devicePath_(std::move(devicePath)) {}
    void Post(const pda::PdaEvent& event) override { window_.Forward(devicePath_, event); }

private:
    WindowPdaEvents& window_;
    const std::string devicePath_;
};

WindowPdaEvents::WindowPdaEvents(MarlowContext& context, FrameSurface& surface, QObject& receiver)
    : context_(context), receiver_(&receiver), view_(context, surface) {}

WindowPdaEvents::~WindowPdaEvents() = default;

void WindowPdaEvents::Post(const pda::PdaEvent& event) {
    Forward(std::string(), event);
}

pda::PdaEventSink& WindowPdaEvents::For(const std::string& devicePath) {
    std::unique_ptr<HandsetSink>& sink = handsets_[devicePath];
    if (!sink)
        sink = std::make_unique<HandsetSink>(*this, devicePath);
    return *sink;
}

void WindowPdaEvents::Forward(const std::string& devicePath, const pda::PdaEvent& event) {
    if (std::holds_alternative<pda::DeviceAnswered>(event))
        return; // a reply byte: nothing to show
    if (QObject* receiver = receiver_.data())
        QMetaObject::invokeMethod(
            receiver, [this, devicePath, event] { Show(devicePath, event); }, Qt::QueuedConnection);
}

void WindowPdaEvents::ShowFor(const std::string& devicePath, const pda::PdaEvent& event) {
    if (!std::holds_alternative<pda::DeviceAnswered>(event))
        Show(devicePath, event);
}

void WindowPdaEvents::Show(const std::string& devicePath, const pda::PdaEvent& event) {
    if (context_.run.Settings().frontPanelMode)
        return; // the front panel shows its runs itself
    if (recordEvents && !devicePath.empty())
        recordEvents(devicePath, event);
    skin_.Show(event);
}

} // namespace marlow::gui
