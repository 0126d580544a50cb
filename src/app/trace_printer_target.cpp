#include "app/trace_printer_target.h"

#include <algorithm>

namespace marlow::app {

ActivationRule ActivationRule::For(MessageWindow window, const std::atomic<bool>& portWaitShown) {
    switch (window) {
    case MessageWindow::DeviceState:
        return Always();
    case MessageWindow::DebugMessage:
        return UnlessSet(portWaitShown);
    case MessageWindow::FileInformation:
        break;
    }
    return Never();
}

bool ActivationRule::ShouldActivate() const {
    switch (kind_) {
    case Kind::Always:
        return true;
    case Kind::UnlessSet:
        return !suppressed_->load(std::memory_order_relaxed);
    case Kind::Never:
        break;
    }
    return false;
}

void StringTarget::ReplaceToEnd(std::size_t from, std::string_view text) {
    text_.resize(std::min(from, text_.size()));
    text_.append(text);
}

void StringTarget::ActivateAfterWrite() {
    if (rule_.ShouldActivate())
        ++activations_;
}

} // namespace marlow::app
