#pragma once
// The toolbar's 32 x 32 pictures, drawn by us at run time.

#include "gui/command_ids.h"

#include <QIcon>

namespace marlow::gui {

QIcon ToolbarIcon(CommandId id);

} // namespace marlow::gui
