#pragma once
// Saving a message window: its text exactly as it stands, lines ending in
// CR LF, no terminator.

#include "app/gui/message_text.h"

#include <QString>

namespace marlow::gui {

struct SaveResult {
    bool ok = false;
    QString error; // for the operator when !ok
};

SaveResult SaveMessageText(const MessageText& text, const QString& path);

} // namespace marlow::gui
