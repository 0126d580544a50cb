#include "controls/readout_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>

namespace marlow::controls {

namespace {

constexpr const char* kReadoutProperty = "marlowReadout";

class AccessibleReadout : public QAccessibleWidget {
public:
    explicit AccessibleReadout(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value || kind == QAccessible::Description)
            return static_cast<const QLabel*>(widget())->text();
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* ReadoutFactory(const QString&, QObject* object) {
    auto* label = qobject_cast<QLabel*>(object);
    if (label == nullptr || !label->property(kReadoutProperty).toBool())
        return nullptr;
    return new AccessibleReadout(label);
}

void InstallFactoryOnce() {
    static const bool kInstalled = [] {
        QAccessible::installFactory(ReadoutFactory);
        return true;
    }();
    (void)kInstalled;
}

} // namespace

void MakeReadout(QLabel& label, const QString& role) {
    InstallFactoryOnce();
    label.setProperty(kReadoutProperty, true);
    label.setAccessibleName(role);
}

void SetReadout(QLabel& label, const QString& text) {
    if (label.text() == text)
        return;
    label.setText(text);
    QAccessibleEvent changed(&label, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

} // namespace marlow::controls
