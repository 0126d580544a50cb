#pragma once
// Saving a message window: its text exactly as it stands, lines ending in
// CR LF, no terminator.

#include "common/result.h"
#include "gui/message_text.h"

#include <QString>

namespace marlow::gui {

// A failure names the file and the system's reason, for the operator.
Status SaveMessageText(const MessageText& text, const QString& path);

} // namespace marlow::gui
