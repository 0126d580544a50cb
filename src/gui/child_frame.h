#pragma once
// `CChildFrame`: the frame around one message window. The operator can move,
// size, minimize and maximize it, but never close it.

#include <QMdiSubWindow>

namespace marlow::gui {

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    // The title bar keeps its close box (the MDI frame insists on a window
    // menu); the close request itself is refused.
    static constexpr Qt::WindowFlags kFlags =
        Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint;

    explicit CChildFrame(QWidget* parent = nullptr);

    // Takes the close entry out of the window menu; false when the frame
    // has no window menu to change.
    bool RemoveCloseCommand();

protected:
    void closeEvent(QCloseEvent* event) override;
};

} // namespace marlow::gui
