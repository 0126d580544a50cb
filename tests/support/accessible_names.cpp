#include "support/accessible_names.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextEdit>
#include <map>

namespace marlow::test {

namespace {

// Qt's own helpers (a toolbar's overflow button) and the inner parts of a
// combo box or spin box (its edit, its pop-up list), which the box names.
bool IsPartOfAnother(const QWidget& widget) {
    if (widget.objectName().startsWith(QLatin1String("qt_")))
        return true;
    for (const QObject* up = widget.parent(); up != nullptr; up = up->parent())
        if (qobject_cast<const QComboBox*>(up) || qobject_cast<const QAbstractSpinBox*>(up))
            return true;
    return false;
}

bool IsControl(const QWidget& widget) {
    if (widget.isHidden() || IsPartOfAnother(widget) || qobject_cast<const QScrollBar*>(&widget))
        return false;
    return qobject_cast<const QAbstractButton*>(&widget) ||
           qobject_cast<const QLineEdit*>(&widget) || qobject_cast<const QTextEdit*>(&widget) ||
           qobject_cast<const QPlainTextEdit*>(&widget) ||
           qobject_cast<const QComboBox*>(&widget) ||
           qobject_cast<const QAbstractSpinBox*>(&widget) ||
           qobject_cast<const QAbstractSlider*>(&widget) ||
           qobject_cast<const QProgressBar*>(&widget) ||
           qobject_cast<const QAbstractItemView*>(&widget);
}

QString NameOf(const QWidget& widget) {
    if (!widget.accessibleName().isEmpty())
        return widget.accessibleName();
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget))
        return button->text().remove('&');
    return {};
}

std::string Describe(const QWidget& widget) {
    return std::string(widget.metaObject()->className()) + " '" +
           widget.objectName().toStdString() + "'";
}

} // namespace

std::vector<std::string> AccessibleNameProblems(const QWidget& window) {
    std::vector<const QWidget*> controls;
    if (IsControl(window))
        controls.push_back(&window);
    for (const QWidget* child : window.findChildren<QWidget*>())
        if (IsControl(*child))
            controls.push_back(child);

    std::vector<std::string> problems;
    std::map<QString, const QWidget*> named;
    for (const QWidget* control : controls) {
        const QString name = NameOf(*control);
        if (name.isEmpty()) {
            problems.push_back(Describe(*control) + ": no accessible name");
            continue;
        }
        const auto [first, added] = named.emplace(name, control);
        if (!added)
            problems.push_back(Describe(*control) + ": named \"" + name.toStdString() + "\" like " +
                               Describe(*first->second));
    }
    return problems;
}

} // namespace marlow::test
