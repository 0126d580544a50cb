// Renders the front panel as an operator sees it into PNG files: idle, the
// wait for the handset with its blinking box, a download writing the flash
// with the animation, a stop under way, the verdicts (success, aborted,
// phone failure), a new run that has cleared the last verdict, the station
// set-up and the red message of a wait that timed out. The run's states are set through the
// panel's own displays and flags. Run under a virtual X server
// (scripts/screenshots).

#include "app/app_settings.h"
#include "controls/color_ref.h"
#include "controls/marlow_icon.h"
#include "manual_panel_clock.h"
#include "panel/front_panel_dialog.h"
#include "save_picture.h"
#include "support/gui_test_support.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <cstdio>

namespace {

using namespace marlow;

// The panel with whatever stands over it, as the screen shows them.
QPixmap Around(const QWidget& panel) {
    QTest::qWait(150);
    const QRect frame = panel.frameGeometry().adjusted(-2, -2, 2, 2);
    return QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(),
                                                        frame.height());
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setWindowIcon(controls::MarlowIcon());
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    test::TempStore store;
    test::RecordingDialogs dialogs;
    app::CAppSettings settings(store.Store());
    test::ManualPanelClock clock;
    std::atomic<bool> flashWriting{false};
    panel::PanelSetup setup;
    setup.clock = &clock;
    setup.flags.flashWriting = &flashWriting;
    setup.programFolder = "/opt/marlow/";
    panel::CFrontPanelDlg panel(settings, setup);
    panel.move(40, 40);
    panel.show();
    (void)QTest::qWaitForWindowExposed(&panel);
    bool ok = Save(Around(panel), out, "front-panel-idle.png");

    controls::CBlinkMessageDlg& blink = panel.BlinkMessage();
    blink.SetText(QStringLiteral("USB Connecting..."));
    blink.SetTextColor(controls::FromColorRef(controls::kColorRefBlue));
    blink.show();
    blink.Tick();
    ok &= Save(Around(panel), out, "front-panel-usb-wait.png");
    blink.CloseWait();

    panel.ShowConnected();
    panel.RunLayout();
    panel.SetPdaRunning(true);
    panel.SetStatus(QStringLiteral("Downloading..."));
    panel.SetPercent(QStringLiteral("99%"));
    panel.SetCurrentFile(QStringLiteral("NK.bin"));
    panel.SetProgress(99);
    flashWriting = true;
    for (int tick = 0; tick < 4; ++tick)
        clock.Fire(panel::PanelTimer::Refresh);
    ok &= Save(Around(panel), out, "front-panel-writing-flash.png");
    // Stop clears the flash-write flag: the animation ends with the next tick.
    flashWriting = false;
    clock.Fire(panel::PanelTimer::Refresh);
    panel.ShowStopping();
    ok &= Save(Around(panel), out, "front-panel-stopping.png");

    panel.ShowPdaSuccess();
    ok &= Save(Around(panel), out, "front-panel-success.png");
    panel.ClearVerdict();
    blink.show();
    blink.Tick();
    ok &= Save(Around(panel), out, "front-panel-new-run-cleared.png");
    blink.CloseWait();
    panel.ShowAborted();
    ok &= Save(Around(panel), out, "front-panel-aborted.png");
    panel.ShowPhoneFailure(QStringLiteral("Boot Failed"));
    ok &= Save(Around(panel), out, "front-panel-phone-failure.png");

    panel.ShowStationSetup(true);
    ok &= Save(Around(panel), out, "front-panel-station-setup.png");
    panel.ShowStationSetup(false);

    controls::CTwoLineMessageDlg& message = panel.TwoLine();
    message.SetTexts(QStringLiteral("USB Cable is not conntected! or"),
                     QStringLiteral("Key is not Pressed!"));
    message.SetTextColor(controls::FromColorRef(controls::kColorRefRed));
    message.show();
    ok &= Save(Around(panel), out, "front-panel-usb-timeout.png");
    message.CloseWait();
    return ok ? 0 : 1;
}
