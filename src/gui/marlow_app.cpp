#include "gui/marlow_app.h"

#include "controls/dialog_service.h"
#include "controls/marlow_icon.h"
#include "gui/frame_devices.h"
#include "gui/instance_lock.h"
#include "gui/main_frame.h"
#include "gui/panel_frame.h"
#include "gui/station_window.h"

#include <QApplication>

namespace marlow::gui {

CMarlowApp::CMarlowApp(StartOptions options) : options_(std::move(options)) {}

CMarlowApp::~CMarlowApp() {
    // The window goes before the context its engines write into.
    station_.reset();
    frame_.reset();
    context_.reset();
}

StartResult CMarlowApp::InitInstance() {
    // Every window the program opens, either presentation, carries it.
    QApplication::setWindowIcon(controls::MarlowIcon());
    lock_ = options_.lockPath.isEmpty() ? std::make_unique<InstanceLock>()
                                        : std::make_unique<InstanceLock>(options_.lockPath);
    if (!lock_->Acquire())
        return StartResult::AlreadyRunning;

    QSettings* store = options_.store;
    if (!store) {
        ownStore_ = std::make_unique<app::UserSettings>();
        store = &ownStore_->Store();
        if (!ownStore_->Refusal().empty())
            controls::Dialogs().Message(nullptr, QString::fromStdString(ownStore_->Refusal()));
    }
    context_ = std::make_unique<MarlowContext>(*store);
    std::optional<std::string> stationFile = options_.stationFile;
    if (!stationFile &&
        store->value(QStringLiteral("StartWindow")).toString() == QStringLiteral("station"))
        stationFile = store->value(QStringLiteral("StationFile"), kDefaultStationFile)
                          .toString()
                          .toStdString();
    if (stationFile) {
        stationPhone_ = MakeProgramPhone(*store, phone::kFrontPanelPortList);
        StationWindowSetup setup{.stationPath = *stationFile,
                                 .store = store,
                                 .library = stationPhone_.library.get(),
                                 .libraryProblem = stationPhone_.libraryProblem};
        setup.watchDevices = options_.watchDevices;
        station_ = std::make_unique<StationWindow>(std::move(setup));
        station_->showMaximized();
        return StartResult::StationWindow;
    }
    if (context_->settings.PrepareStart() == app::Presentation::FrontPanel) {
        if (options_.runFrontPanel)
            options_.runFrontPanel(*context_);
        else
            RunFrontPanel(*store);
        return StartResult::PanelClosed;
    }

    frame_ = std::make_unique<CMainFrame>(*context_);
    frame_->showMaximized();
    context_->layoutRect = frame_->FrameClientRect();
    frame_->CreateMessageWindows();
    frame_->PlaceMessageWindows(context_->layoutRect, false);
    frame_->FocusDebugMessageView();
    OpenDebugPortAtStart();
    frame_->ShowInformationBlocks();
    context_->SyncRunSettings();
    if (options_.watchDevices)
        frame_->StartDeviceWatch();
    context_->layoutReady = true;
    PlaceForTheFinalSize();
    return StartResult::MainWindow;
}

// The main frame stays hidden for the panel's whole life, listening for the
// handset; the program ends with the panel.
void CMarlowApp::RunFrontPanel(QSettings& store) {
    panel::PanelSetup setup;
    setup.store = &store;
    PanelFrame frame(*context_, std::move(setup));
    if (options_.watchDevices)
        frame.StartDeviceWatch();
    frame.Exec();
}

// A message box during start-up (a port that did not open) runs an event
// loop, in which the window system may give the frame its maximized size
// while the layout is not ready to follow. The windows go where the frame's
// size now says; a size that comes later still re-arranges them.
void CMarlowApp::PlaceForTheFinalSize() {
    const ClientRect now = frame_->FrameClientRect();
    if (now == context_->layoutRect)
        return;
    context_->layoutRect = now;
    frame_->PlaceMessageWindows(now, false);
}

void CMarlowApp::OpenDebugPortAtStart() {
    const app::AppSettings& values = context_->settings.Values();
    if (values.debugPortName.empty())
        return;
    const Status opened =
        options_.openDebugPort
            ? options_.openDebugPort(values.debugPortName, values.debugBaudRate)
            : context_->debugPort.OpenDebugPort(values.debugPortName, values.debugBaudRate);
    if (!opened)
        frame_->ShowMessage(frame_->DebugPortFailure(" Port Initialize Error", opened.Error()),
                            QString());
    frame_->UpdateCommandStates();
}

} // namespace marlow::gui
