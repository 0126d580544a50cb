#include "gui/child_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>

namespace marlow::gui {

CChildFrame::CChildFrame(QWidget* parent) : QMdiSubWindow(parent) {
    setWindowFlags(kFlags);
}

bool CChildFrame::RemoveCloseCommand() {
    QMenu* menu = systemMenu();
    if (!menu)
        return false;
    for (QAction* action : menu->actions())
        if (action->shortcut() == QKeySequence::Close || action->text().contains("Close"))
            menu->removeAction(action);
    return true;
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    event->ignore();
}

} // namespace marlow::gui
