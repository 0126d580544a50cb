// Renders the windows an operator sees into PNG files: the main window while
// a download writes the flash and after it, its menus, the settings sheet, the stamp
// dialog, the About box and the UART loader dialog idle and after a run.
// Run under a virtual X server (scripts/screenshots).

#include "controls/animation_dialog.h"
#include "emulators/in_process_usb.h"
#include "emulators/pda_bootloader_emulator.h"
#include "emulators/pda_in_process_device.h"
#include "emulators/sample_set.h"
#include "gui/about_dialog.h"
#include "gui/frame_devices.h"
#include "gui/main_frame.h"
#include "gui/marlow_app.h"
#include "gui/run_history_dialog.h"
#include "gui/sheet_binding.h"
#include "gui/window_records.h"
#include "pda/boot_image_writer.h"
#include "pda/ui/config_sheet.h"
#include "records/run_writer.h"
#include "save_picture.h"
#include "stamp/ui/model_version_dialog.h"
#include "support/gui_test_support.h"
#include "support/scripted_bus.h"
#include "support/uart_test_support.h"
#include "uartloader/ui/uart_loader_dialog.h"

#include <atomic>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <cstdio>

namespace {

using namespace marlow;

QPixmap Screen() {
    QApplication::processEvents();
    return QGuiApplication::primaryScreen()->grabWindow(0);
}

pda::BootImagePlan SampleImage() {
    std::vector<pda::RecordPlan> records;
    for (std::uint32_t r = 0; r < 6; ++r)
        records.push_back(
            {0x80001000 + r * 0x10000, std::vector<std::uint8_t>(20000, 0x5A), std::nullopt});
    return pda::MakeBootImagePlan(0x80001000, 0x60000, records, 0x80001000);
}

// The loader dialog idle, then after a Separate Write run into the handset
// emulator on a pseudo-terminal.
bool SaveUartLoader(QWidget* parent, test::TempStore& store, test::RecordingDialogs& dialogs,
                    const QString& out) {
    uartloader::ui::LoaderDialogOptions options;
    options.store = &store.Store();
    uartloader::ui::CUartLoaderDlg loader(parent, options);
    loader.show();
    QTest::qWait(200);
    bool ok = Save(loader.grab(), out, "uart-loader-idle.png");

    uartloader::test::RoleFiles files;
    uartloader::test::WriteRoleFiles(files, {3000, 2000, 21480, 50000, 640, 20480, 100, 40970});
    const std::string settings = files.dir.File("loader.mfl");
    (void)uartloader::WriteMflFile(settings, uartloader::test::SeparateWriteSettings(files));
    const auto button = [&loader](int id) {
        return loader.findChild<QAbstractButton*>(QString::number(id));
    };
    dialogs.answers.push_back(QString::fromStdString(settings));
    button(1079)->click();
    button(1130)->click();
    uartloader::test::PtyHandset handset;
    loader.findChild<QComboBox*>("1075")->setEditText(QString::fromStdString(handset.PortPath()));
    button(1076)->click();
    test::ProcessUntil([&loader] {
        return loader.findChild<QLabel*>("1133")->text() == "Comport is disconnected.";
    });
    QTest::qWait(200);
    ok &= Save(loader.grab(), out, "uart-loader-after-run.png");
    loader.accept();
    return ok;
}

// A morning on a station: Total runs in three slots, one failed at its boot
// and retested, one pulled out.
bool SaveRunHistory(gui::CMainFrame* frame, const QString& out) {
    const std::int64_t start = QDateTime::currentMSecsSinceEpoch() - 3 * 3'600'000;
    std::atomic<std::int64_t> now{start};
    const auto writer = records::RunWriter::Start(
        {.storePath = frame->Records().StorePath(), .clock = [&now] { return now.load(); }});
    struct Unit {
        const char* slot;
        const char* serial;
        records::RunEnding ending;
    };
    using records::ErrorClass;
    using records::Half;
    using records::RecordVerdict;
    const Unit units[] = {
        {"1-1.1", "SN10401", {.verdict = RecordVerdict::Passed}},
        {"1-1.2",
         "SN10402",
         {.verdict = RecordVerdict::Failed,
          .reason = "Phone Download Failed: no answer at boot",
          .errorClass = ErrorClass::Device,
          .half = Half::Phone}},
        {"1-1.2", "SN10402", {.verdict = RecordVerdict::Passed}},
        {"1-1.3",
         "SN10403",
         {.verdict = RecordVerdict::DeviceRemoved,
          .reason = "Download Aborted! Reconnect the Device to Retry",
          .errorClass = ErrorClass::Removal,
          .half = Half::Pda}},
        {"1-1.1", "SN10404", {.verdict = RecordVerdict::Passed}},
    };
    std::int64_t at = start;
    for (const Unit& unit : units) {
        const auto run =
            writer->Begin({.stationId = "line-4",
                           .slot = unit.slot,
                           .frontEnd = "front panel",
                           .kind = "total",
                           .handset = {.usbPath = unit.slot, .serialNumber = unit.serial},
                           .startedMs = at});
        run->Input({.role = "list", .path = "/images/quill_all.lst", .size = 220});
        const bool failed = unit.ending.verdict != RecordVerdict::Passed;
        now = at;
        for (const auto& [step, ms] : {std::pair{"eboot.bin", 2'100}, {"nk.bin", 41'800}}) {
            const int number = run->StepStarted("pda-image", step);
            now += ms;
            run->StepEnded(number, failed && unit.ending.half == Half::Pda ? "failed" : "passed");
        }
        records::RunEnding ending = unit.ending;
        at += 94'000;
        ending.endedMs = at;
        (void)run->Finish(ending).get();
        at += 20'000;
    }
    gui::RunHistoryDialog history(frame->Records().StorePath(), &frame->Records(), frame);
    history.resize(1000, 560);
    history.show();
    history.Table()->setCurrentIndex(history.Table()->model()->index(3, 0));
    QTest::qWait(300);
    return Save(history.grab(), out, "run-history.png");
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    test::TempDir dir;
    test::TempStore store;
    test::RecordingDialogs dialogs;
    bool ok = true;

    const std::string image = dir.File("NK.bin");
    test::WriteFile(image, pda::BuildBootImage(SampleImage()));
    store.Store().setValue("USB Downloader", "1");
    store.Store().setValue("Path", QString::fromStdString(image));
    const auto set = samples::WriteSampleSet(dir.File("set"));
    if (!set)
        return 1;
    store.Store().setValue("PhonePath", QString::fromStdString(set->phonePackage));
    // A modem port that never appears: the phone wait as the operator sees it.
    qputenv("MARLOW_MODEM_PORT", QByteArray::fromStdString(dir.File("no-modem")));
    store.Store().setValue("Port", "");
    store.Store().setValue("Baud", "115200");
    store.Store().setValue("RunStore", QString::fromStdString(dir.File("runs.sqlite")));

    gui::StartOptions options;
    options.store = &store.Store();
    options.lockPath = QString::fromStdString(dir.File("marlow.lock"));
    options.watchDevices = false;
    gui::CMarlowApp marlow(options);
    if (marlow.InitInstance() != gui::StartResult::MainWindow)
        return 1;
    gui::CMainFrame* frame = marlow.MainFrame();
    gui::MarlowContext* context = marlow.Context();
    frame->showNormal();
    frame->setGeometry(0, 0, 1280, 860);
    frame->ArrangeMessageWindows();
    frame->activateWindow();
    (void)QTest::qWaitForWindowActive(frame);
    context->Print(context->debugMessage,
                   "\nQuillon boot loader 1.4\nUSB boot: waiting for host...\n");

    auto source = std::make_unique<test::ScriptedBus>();
    test::ScriptedBus* bus = source.get();
    (void)frame->Devices().AddSource(std::move(source));

    emulators::PdaEmulatorOptions emulatorOptions;
    emulatorOptions.faults.flashWriteTime = std::chrono::milliseconds(3000);
    emulators::PdaBootLoaderEmulator emulator(emulatorOptions);
    emulators::InProcessUsbPair pair =
        emulators::MakeInProcessUsbPair("Quillon USB boot loader", "inproc:1");
    emulators::AttachEmulator(*pair.device, emulator);
    bus->Plug(std::move(pair.host));

    test::ProcessUntil([&] {
        return context->deviceState.Bytes().find("Waiting for Writing Flash") != std::string::npos;
    });
    QTest::qWait(700);
    ok &= Save(Screen(), out, "main-window-during-download.png");

    test::ProcessUntil([&] { return emulator.LeftBus(); });
    test::ProcessUntil(
        [&] { return context->deviceState.Bytes().find("EXIT_STATE") != std::string::npos; });
    bus->Unplug("inproc:1");
    test::ProcessUntil([&] { return !dialogs.messages.empty(); });
    frame->activateWindow();
    QTest::qWait(300);
    ok &= Save(frame->grab(), out, "main-window-after-download.png");

    // Each menu open, with its commands' keys beside them.
    for (QAction* entry : frame->menuBar()->actions()) {
        QMenu* menu = entry->menu();
        if (!menu)
            continue;
        frame->menuBar()->setActiveAction(entry);
        QTest::qWait(300);
        const QString name =
            QStringLiteral("main-window-menu-%1.png").arg(entry->text().remove('&').toLower());
        ok &= Save(Screen().copy(0, 0, 640, 420), out, qPrintable(name));
        menu->hide();
    }

    {
        pda::ui::SheetEnvironment environment;
        environment.optionFlags = &context->optionFlags;
        pda::ui::CConfigSheet sheet(QStringLiteral("Settings"),
                                    gui::SheetValuesOf(context->settings.Values()), environment,
                                    frame);
        sheet.show();
        QTest::qWait(200);
        ok &= Save(sheet.grab(), out, "settings-sheet.png");
        sheet.Pages()->setCurrentIndex(1);
        QTest::qWait(200);
        ok &= Save(sheet.grab(), out, "settings-port-page.png");
    }
    {
        stamp::ui::CModelVersionDlg stampDialog([] {}, frame);
        stampDialog.PathEdit()->setText(QString::fromStdString(image));
        stampDialog.ModelEdit()->setText("QUILLON");
        stampDialog.VersionEdit()->setText("1.4");
        stampDialog.OnInsert();
        stampDialog.OnVerify();
        stampDialog.show();
        QTest::qWait(200);
        ok &= Save(stampDialog.grab(), out, "stamp-dialog.png");
    }
    {
        context->optionFlags = pda::ui::kOptionPhone;
        frame->Command(gui::ID_PHONE_DOWN_START)->trigger();
        QTest::qWait(2300);
        ok &= Save(frame->grab(), out, "main-window-phone-wait.png");
        frame->Command(gui::ID_PHONE_DOWN_CANCEL)->trigger();
    }
    {
        gui::AboutDialog about(frame);
        about.show();
        QTest::qWait(200);
        ok &= Save(about.grab(), out, "about-box.png");
    }
    ok &= SaveRunHistory(frame, out);
    ok &= SaveUartLoader(frame, store, dialogs, out);
    return ok ? 0 : 1;
}
