#pragma once
// The About box: the product's title, a one-line notice and its build.

#include <QDialog>

namespace marlow::gui {

inline constexpr const char* kProductTitle = "Quillon V0.3 Beta_(Build 080118)";

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

} // namespace marlow::gui
