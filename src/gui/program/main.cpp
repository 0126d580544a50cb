// The `marlow` program: the main window or the front panel, as the settings
// say, or the station window: `marlow --station [station.conf]`.

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
    marlow::gui::StartOptions options;
    const QStringList arguments = QApplication::arguments();
    if (const qsizetype station = arguments.indexOf(QStringLiteral("--station")); station > 0)
        options.stationFile = station + 1 < arguments.size()
                                  ? arguments[station + 1].toLocal8Bit().toStdString()
                                  : std::string(marlow::gui::kDefaultStationFile);
    marlow::gui::CMarlowApp marlow(std::move(options));
    const marlow::gui::StartResult started = marlow.InitInstance();
    if (started != marlow::gui::StartResult::MainWindow &&
        started != marlow::gui::StartResult::StationWindow)
        return 0;
    return QApplication::exec();
}
