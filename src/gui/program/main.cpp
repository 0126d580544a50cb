// The `marlow` program: the main window or the front panel, as the settings
// say. It reads no command-line arguments.

#include "gui/marlow_app.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Korvane"));
    QApplication::setApplicationName(QStringLiteral("Marlow"));
    marlow::gui::CMarlowApp marlow;
    if (marlow.InitInstance() != marlow::gui::StartResult::MainWindow)
        return 0;
    return QApplication::exec();
}
