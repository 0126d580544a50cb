#pragma once
// Stands in for the production-line front panel until it is built: the
// front-panel presentation is still chosen by the same rule, and the program
// still ends when this window closes.

#include <QDialog>

namespace marlow::panel {

inline constexpr const char* kPanelTitle = "Quillon V0.3 Beta_(Build 080118)";

class FrontPanelPlaceholder : public QDialog {
    Q_OBJECT
public:
    explicit FrontPanelPlaceholder(QWidget* parent = nullptr);
};

// Runs the panel modally; returns when the operator closes it.
int RunFrontPanel(QWidget* parent = nullptr);

} // namespace marlow::panel
