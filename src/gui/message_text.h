#pragma once
// One message window's text as the trace printer sees it, usable from any
// thread. The bytes live here (exactly what the window holds, lines ending in
// CR LF, which is what "save as text" writes); the widget shows them with the
// carriage returns left out and is told about every change, in order, through
// `onEdit`. Nothing here touches a widget.
//
// A week-long debug session must stay fast, so the text is capped: past
// kTextCap bytes the oldest lines are dropped until at most kTextKeep remain.

#include "app/trace_printer_target.h"

#include <QString>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace marlow::gui {

inline constexpr std::size_t kTextCap = 1024 * 1024;
inline constexpr std::size_t kTextKeep = 768 * 1024;

// A change to the shown text: replace everything from `from` on by `text`,
// then drop `dropFront` characters at the start. `lengthAfter` is the shown
// length the widget must then have; a widget that disagrees asks for the
// whole text again.
struct DisplayEdit {
    std::size_t dropFront = 0;
    std::size_t from = 0;
    QString text;
    std::size_t lengthAfter = 0;
};

class MessageText : public app::TextTarget {
public:
    explicit MessageText(app::ActivationRule rule, std::size_t cap = kTextCap,
                         std::size_t keep = kTextKeep);

    std::size_t TextLength() const override;
    void ReplaceToEnd(std::size_t from, std::string_view text) override;
    void ActivateAfterWrite() override;

    // The window's bytes as they stand now (CR LF line ends).
    std::string Bytes() const;
    // The shown form of the whole text, for a widget that must start over.
    QString DisplayText() const;

    // The window that shows the text. Both are called with the text lock
    // held, so edits reach the window in the order they were made.
    void SetReceivers(std::function<void(const DisplayEdit&)> onEdit,
                      std::function<void()> onActivate);

private:
    void Trim(DisplayEdit& edit);

    app::ActivationRule rule_;
    const std::size_t cap_;
    const std::size_t keep_;
    mutable std::mutex mutex_;
    std::string bytes_;
    std::size_t carriageReturns_ = 0;
    std::function<void(const DisplayEdit&)> onEdit_;
    std::function<void()> onActivate_;
};

// The bytes as the widget shows them: Latin-1, carriage returns left out.
QString Displayed(std::string_view bytes);

} // namespace marlow::gui
