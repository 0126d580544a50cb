#pragma once
// The key rule of the front panel and its message dialogs: a key-down whose
// Windows virtual-key code has any of its five low bits set is swallowed
// before the window sees it. Enter (0x0D), Escape (0x1B) and nearly every
// other key therefore do nothing; the space bar (0x20) still presses the
// focused button.
//
// Qt's key codes are not virtual-key codes, so a table gives each key the
// code Windows gives it on a US keyboard; the native code is not used, as it
// means something else on every other platform. A key the table does not
// know is swallowed, like most keys are.
//
// One exception: Tab and Shift+Tab (0x09) move the focus as usual, so every
// control stays reachable by keyboard.

#include <QObject>
#include <QPointer>
#include <optional>

class QKeyEvent;
class QWidget;

namespace marlow::controls {

// The virtual-key code of a Qt key, nullopt when the table has none.
std::optional<int> WindowsVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers);

// True when a key-down with this virtual-key code is swallowed.
constexpr bool SwallowsKeyDown(int virtualKey) {
    return (virtualKey & 0x1f) != 0;
}

bool SwallowsKeyDown(const QKeyEvent& event);

// Applies the rule to `window` and everything inside it for as long as the
// window lives.
class KeyRule : public QObject {
    Q_OBJECT
public:
    explicit KeyRule(QWidget& window);
    ~KeyRule() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
};

} // namespace marlow::controls
