#include "gui/message_text.h"

#include <algorithm>

namespace marlow::gui {

namespace {

std::size_t CountCarriageReturns(std::string_view bytes) {
    return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\r'));
}

} // namespace

QString Displayed(std::string_view bytes) {
    QString shown;
    shown.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes)
        if (c != '\r')
            shown.append(QChar(static_cast<unsigned char>(c)));
    return shown;
}

MessageText::MessageText(app::ActivationRule rule, std::size_t cap, std::size_t keep)
    : rule_(rule), cap_(cap), keep_(std::min(keep, cap)) {}

std::size_t MessageText::TextLength() const {
    const std::lock_guard lock(mutex_);
    return bytes_.size();
}

void MessageText::ReplaceToEnd(std::size_t from, std::string_view text) {
    const std::lock_guard lock(mutex_);
    from = std::min(from, bytes_.size());
    const std::string_view tail = std::string_view(bytes_).substr(from);
    const std::size_t tailReturns = from == 0 ? carriageReturns_ : CountCarriageReturns(tail);

    DisplayEdit edit;
    edit.from = from - (carriageReturns_ - tailReturns);
    edit.text = Displayed(text);

    bytes_.resize(from);
    bytes_.append(text);
    carriageReturns_ = carriageReturns_ - tailReturns + CountCarriageReturns(text);
    Trim(edit);
    edit.lengthAfter = bytes_.size() - carriageReturns_;
    if (onEdit_)
        onEdit_(edit);
}

// Drops whole lines from the front once the text has grown past the cap, so
// the cost is paid once per (cap - keep) bytes written, not per call.
void MessageText::Trim(DisplayEdit& edit) {
    if (bytes_.size() <= cap_)
        return;
    const std::size_t mustDrop = bytes_.size() - keep_;
    const std::size_t lineEnd = bytes_.find('\n', mustDrop > 0 ? mustDrop - 1 : 0);
    const std::size_t drop = lineEnd == std::string::npos ? mustDrop : lineEnd + 1;
    const std::size_t droppedReturns =
        CountCarriageReturns(std::string_view(bytes_).substr(0, drop));
    edit.dropFront = drop - droppedReturns;
    bytes_.erase(0, drop);
    carriageReturns_ -= droppedReturns;
}

void MessageText::ActivateAfterWrite() {
    const std::lock_guard lock(mutex_);
    if (rule_.ShouldActivate() && onActivate_)
        onActivate_();
}

void MessageText::SetReceivers(std::function<void(const DisplayEdit&)> onEdit,
                               std::function<void()> onActivate) {
    const std::lock_guard lock(mutex_);
    onEdit_ = std::move(onEdit);
    onActivate_ = std::move(onActivate);
}

std::string MessageText::Bytes() const {
    const std::lock_guard lock(mutex_);
    return bytes_;
}

QString MessageText::DisplayText() const {
    const std::lock_guard lock(mutex_);
    return Displayed(bytes_);
}

} // namespace marlow::gui
