// The `marlow` program: the main window or the front panel, as the settings
// say. It reads no command-line arguments.

#include "common/printable_text.h"
#include "gui/marlow_app.h"

#include <QApplication>
#include <cstdio>

namespace {

// The log channels carry device paths, file names and a library's texts:
// escaped like the CLI's, so that no control code reaches the terminal or
// the journal the program's stderr goes to.
void WriteLogLine(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const std::string line =
        marlow::TerminalText(qFormatLogMessage(type, context, message).toStdString()) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(WriteLogLine);
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Korvane"));
    QApplication::setApplicationName(QStringLiteral("Marlow"));
    marlow::gui::CMarlowApp marlow;
    if (marlow.InitInstance() != marlow::gui::StartResult::MainWindow)
        return 0;
    return QApplication::exec();
}
