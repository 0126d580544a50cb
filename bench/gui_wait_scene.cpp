// The operator's hands for bench/wait_cost.sh: starts Marlow's main window
// as `marlow` does (the user's settings store, the same start-up), brings it
// into the named wait and leaves it there, so that the script can measure
// what the wait costs. Not a benchmark of its own.
//
//   gui_wait_scene phone-port                     the phone download waiting for its port
//   gui_wait_scene uart-idle SETTINGS.mfl         the UART loader dialog, not connected
//   gui_wait_scene uart-connected SETTINGS.mfl PORT   ...connected, waiting for the boot ROM
//   gui_wait_scene station STATION.conf           the station window, its station started

#include "controls/dialog_service.h"
#include "gui/command_ids.h"
#include "gui/main_frame.h"
#include "gui/marlow_app.h"
#include "gui/station_window.h"
#include "pda/ui/sheet_environment.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {

using namespace marlow;

// Answers every file chooser with one file and prints the boxes instead of
// showing them.
class ScriptedDialogs : public controls::DialogService {
public:
    using controls::DialogService::Message;
    explicit ScriptedDialogs(QString file) : file_(std::move(file)) {
        controls::InstallDialogs(this);
    }
    ~ScriptedDialogs() override { controls::InstallDialogs(nullptr); }
    void Message(QWidget*, const QString& text, const QString&) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    std::optional<QString> OpenFile(QWidget*, const controls::FileChoice&) override {
        return file_;
    }
    std::optional<QString> SaveFile(QWidget*, const controls::FileChoice&) override {
        return std::nullopt;
    }

private:
    QString file_;
};

QAbstractButton* Button(QWidget* dialog, int id) {
    return dialog->findChild<QAbstractButton*>(QString::number(id));
}

// Runs inside the dialog's own event loop, once it is up.
void ConnectLoader(const QString& port) {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr) {
        std::fprintf(stderr, "the UART loader dialog did not open\n");
        QApplication::exit(1);
        return;
    }
    Button(dialog, 1079)->click(); // Load Settings
    if (port.isEmpty())
        return;
    dialog->findChild<QComboBox*>(QStringLiteral("1075"))->setEditText(port);
    Button(dialog, 1076)->click(); // Connect
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Korvane"));
    QApplication::setApplicationName(QStringLiteral("Marlow"));
    const char* scene = argc > 1 ? argv[1] : "";
    ScriptedDialogs dialogs(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());

    if (std::strcmp(scene, "station") == 0) {
        gui::StartOptions options;
        options.stationFile = argc > 2 ? argv[2] : "station.conf";
        gui::CMarlowApp station(std::move(options));
        if (station.InitInstance() != gui::StartResult::StationWindow)
            return 1;
        station.Station()->Start();
        return QApplication::exec();
    }
    gui::CMarlowApp marlow;
    if (marlow.InitInstance() != gui::StartResult::MainWindow)
        return 1;
    gui::CMainFrame* frame = marlow.MainFrame();
    if (std::strcmp(scene, "phone-port") == 0) {
        marlow.Context()->optionFlags = pda::ui::kOptionPhone;
        frame->Command(gui::ID_PHONE_DOWN_START)->trigger();
    } else if (std::strcmp(scene, "uart-idle") == 0 || std::strcmp(scene, "uart-connected") == 0) {
        const QString port = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
        QTimer::singleShot(500, [port] { ConnectLoader(port); });
        frame->Command(gui::ID_VIVEZO_SET)->trigger();
    } else {
        std::fprintf(stderr,
                     "usage: %s phone-port | uart-idle FILE.mfl | uart-connected "
                     "FILE.mfl PORT | station STATION.conf\n",
                     argv[0]);
        return 2;
    }
    return QApplication::exec();
}
