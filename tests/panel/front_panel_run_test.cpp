// The front panel's runs on the virtual handset: the PDA boot-loader
// emulator on an in-process bus, the modem emulator behind our stand-in
// download library, the panel's timers fired by hand.

#include "app/app_settings.h"
#include "cli/recorded_runs.h"
#include "emulators/in_process_usb.h"
#include "emulators/modem_emulator.h"
#include "emulators/pda_bootloader_emulator.h"
#include "emulators/pda_in_process_device.h"
#include "emulators/sample_set.h"
#include "manual_panel_clock.h"
#include "panel/front_panel_dialog.h"
#include "panel/panel_run.h"
#include "pda/download_plan_check.h"
#include "phone/library_location.h"
#include "records/run_writer.h"
#include "support/gui_test_support.h"
#include "support/hang_bound.h"

#include <QAbstractButton>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace marlow::panel {
namespace {

using test::ProcessUntil;
using ::testing::AnyOf;
using ::testing::ElementsAre;

// The modem's port, there while its link is and `present` allows; watching
// hears when the test says the ports changed.
class ModemPort : public phone::PhonePortLocator {
public:
    std::optional<phone::ModemPort> FindPort(const std::string& = {}) override {
        ++polls;
        return Present() ? std::optional(phone::ModemPort{path, "", 1}) : std::nullopt;
    }
    bool PortPresent(const phone::ModemPort&) override { return Present(); }
    bool Present() const { return present && std::filesystem::exists(path); }
    bool WatchPorts(std::function<void()> changed) override {
        return (watch = std::move(changed)) != nullptr;
    }
    void StopWatchingPorts() override { watch = nullptr; }
    std::string path;
    bool present = true;
    int polls = 0;
    std::function<void()> watch;
};

struct Handset {
    explicit Handset(emulators::PdaEmulatorOptions options = {}) : emulator(options) {
        emulators::AttachEmulator(*pair.device, emulator);
    }
    emulators::PdaBootLoaderEmulator emulator;
    emulators::InProcessUsbPair pair =
        emulators::MakeInProcessUsbPair("Quillon USB boot loader", "inproc:1");
};

class FrontPanelRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApplication();
        settings.PrepareStart(); // front-panel mode: to flash
        auto written = samples::WriteSampleSet(dir.File("set"));
        ASSERT_TRUE(written) << written.Error();
        set = std::move(*written);
        UseList(set.list);
        std::string error;
        settings.Values().phonePackagePath = set.phonePackage;
        port.path = dir.File("modem");
#ifdef MARLOW_TEST_DOWNLOAD_LIBRARY
        auto located = phone::LocateDownloadLibrary(MARLOW_TEST_DOWNLOAD_LIBRARY, {});
        error = located.Error();
        if (located)
            library = std::move(*located);
#endif
        if (!library)
            GTEST_SKIP() << "no stand-in download library: " << error;
        MakePanel({});
    }
    void TearDown() override {
        qunsetenv("MARLOW_PANEL_LIST");
    }

    void UseList(const std::string& path) {
        qputenv("MARLOW_PANEL_LIST", path.c_str());
    }
    void StartModem(emulators::ModemFaults faults) {
        modem.reset();
        emulators::ModemEmulatorOptions options;
        options.faults = faults;
        auto started = emulators::ModemEmulator::Start(port.path, options);
        ASSERT_TRUE(started) << started.Error();
        modem = std::move(*started);
    }
    void MakePanel(emulators::ModemFaults faults) {
        run.reset();
        panel.reset();
        StartModem(faults);
        PanelSetup setup;
        setup.clock = &clock;
        setup.flags = {
            &handsetRun.g_AllDownLoad, &handsetRun.m_DownSelect, &context.flashWriting, {}};
        panel = std::make_unique<CFrontPanelDlg>(settings, setup);
        panel->show();
        PanelRunSetup runSetup;
        runSetup.context = &context;
        runSetup.handset = &handsetRun;
        runSetup.library = library.get();
        runSetup.ports = &port;
        runSetup.pause = [this](std::chrono::milliseconds pause) { pauses.push_back(pause); };
        runSetup.records = {
            .mayStart = [this] { return mayStart; },
            .begin = [this](records::RunFacts facts) { return writer->Begin(std::move(facts)); }};
        run = std::make_unique<PanelRun>(*panel, settings, runSetup);
    }

    template <typename Widget = QWidget> Widget* Control(int id) const {
        return panel->findChild<Widget*>(QString::number(id));
    }
    QString Text(int id) const {
        return Control<QLabel>(id)->text();
    }
    bool Logged(const QString& line) const {
        return !Control<QListWidget>(1136)->findItems(line, Qt::MatchExactly).isEmpty();
    }
    void Select(bool pda, bool phone) {
        Control<QAbstractButton>(1134)->setChecked(pda);
        Control<QAbstractButton>(1135)->setChecked(phone);
    }
    void Plug(Handset& handset) {
        run->DeviceArrived(std::move(handset.pair.host));
        ASSERT_TRUE(ProcessUntil([&] { return context.deviceConnected.load(); }));
        test::Flush();
    }
    // The handset leaves the bus by itself at the end; the bus then says so.
    void UnplugWhenGone(Handset& handset) {
        ASSERT_TRUE(ProcessUntil([&] { return handset.emulator.LeftBus(); }))
            << handset.emulator.Report().violation;
        test::Flush();
        run->DeviceRemoved("inproc:1");
        test::Flush();
    }
    // The run's record, once the panel's log names it as its last line.
    std::string Recorded() {
        QListWidget* log = Control<QListWidget>(1136);
        const auto lastLine = [log] { return log->item(log->count() - 1)->text().toStdString(); };
        EXPECT_TRUE(ProcessUntil([&] { return lastLine().starts_with("Run record: "); }));
        const auto [id, record] = test::LastRecordWithFiles(storePath);
        return lastLine() == "Run record: " + id ? record : "not named last: " + lastLine();
    }
    bool UntilStatus(const char* text) {
        return ProcessUntil([&] { return Text(1032) == text; });
    }

    test::TempDir dir;
    test::TempStore store;
    test::RecordingDialogs dialogs;
    app::CAppSettings settings{store.Store()};
    samples::SampleSet set;
    test::ManualPanelClock clock;
    pda::PdaRunContext context;
    handset::HandsetRun handsetRun;
    ModemPort port;
    std::vector<std::chrono::milliseconds> pauses;
    std::unique_ptr<phone::PhoneLibrary> library;
    std::unique_ptr<emulators::ModemEmulator> modem;
    std::unique_ptr<CFrontPanelDlg> panel;
    std::string storePath = dir.File("runs.sqlite");
    Status mayStart; // what the store says before a run
    std::shared_ptr<records::RunWriter> writer =
        records::RunWriter::Start({.storePath = storePath});
    std::unique_ptr<PanelRun> run;
};

// A PDA-only list: without a handset the blinking box waits; one that
// arrives in time, or while the red message of a wait that ran out is up,
// starts the download, which ends in the green success.
TEST_F(FrontPanelRunTest, TheUsbWaitEndsWithAnArrivalOrTheRedMessage) {
    UseList(set.images.front());
    for (int ticks : {kUsbWaitTicks - 1, kUsbWaitTicks}) {
        SCOPED_TRACE(ticks);
        MakePanel({});
        emit panel->downStartPressed();
        ASSERT_TRUE(panel->BlinkMessage().IsShown());
        EXPECT_EQ(panel->BlinkMessage().Text(), "USB Connecting...");
        for (int tick = 0; tick < ticks; ++tick)
            clock.Fire(PanelTimer::UsbWait);
        const bool timedOut = ticks == kUsbWaitTicks;
        EXPECT_EQ(panel->BlinkMessage().IsShown(), !timedOut);
        EXPECT_EQ(panel->TwoLine().IsShown(), timedOut);
        EXPECT_EQ(clock.IsRunning(PanelTimer::UsbWait), !timedOut);
        if (timedOut) {
            EXPECT_EQ(panel->TwoLine().First() + panel->TwoLine().Second(),
                      "USB Cable is not conntected! orKey is not Pressed!");
        }
        Handset handset;
        Plug(handset);
        ASSERT_TRUE(ProcessUntil([&] { return panel->PdaRunning(); }));
        EXPECT_FALSE(Control(1028)->isEnabled());
        EXPECT_FALSE(panel->BlinkMessage().IsShown() || panel->TwoLine().IsShown());
        EXPECT_FALSE(clock.IsRunning(PanelTimer::UsbWait));
        UnplugWhenGone(handset);
        ASSERT_TRUE(UntilStatus("Download Successfully!"));
        EXPECT_TRUE(Logged("Download list: " + QString::fromStdString(set.images.front())));
    }
}

// Closing the blinking box by hand gives up, and a Total run's phone part
// with it; Down Start refuses no selection, and a missing package or list.
TEST_F(FrontPanelRunTest, GivingUpTheWaitNoSelectionAndAMissingListStartNothing) {
    Select(true, true);
    emit panel->downStartPressed();
    EXPECT_FALSE(handsetRun.g_AllDownLoad);
    panel->BlinkMessage().reject();
    EXPECT_TRUE(handsetRun.g_AllDownLoad);
    EXPECT_FALSE(clock.IsRunning(PanelTimer::UsbWait));
    EXPECT_TRUE(Logged("else if(message == DETECT_CANCEL)"));
    EXPECT_TRUE(writer->Settle(test::kStuckAfter) && test::RecordedRuns(storePath).empty());

    Select(false, false);
    emit panel->downStartPressed();
    EXPECT_THAT(dialogs.messages, ElementsAre("Error!\nPlease Select PDA or Phone!"));
    EXPECT_EQ(handsetRun.m_DownSelect, 0);

    settings.Values().phonePackagePath = dir.File("absent.brx");
    Select(false, true);
    emit panel->downStartPressed();
    EXPECT_EQ(panel->TwoLine().First() + "/" + panel->TwoLine().Second(),
              "Selected Phone File dosen't exist/Check selected Phone file");
    EXPECT_EQ(panel->TwoLine().TextColor(), QColor(Qt::red));
    EXPECT_TRUE(Text(1032) == "Phone File Open Error..." && Control(1028)->isEnabled());
    panel->TwoLine().CloseWait();

    UseList(dir.File("absent.lst"));
    MakePanel({});
    Handset handset;
    Plug(handset);
    emit panel->downStartPressed();
    EXPECT_EQ(panel->TwoLine().First() + "/" + panel->TwoLine().Second(),
              "Selected File dosen't exist/Check selected file");
    EXPECT_EQ(panel->TwoLine().TextColor(), QColor(Qt::red));
    EXPECT_EQ(panel->Tone(), StatusTone::Failed);
    EXPECT_FALSE(panel->PdaRunning());
    EXPECT_TRUE(Control(1028)->isEnabled());

    // A list whose image is cut short is refused with the check's reason
    // before a byte goes to the handset.
    test::WriteFile(dir.File("cut.bin"), std::string_view("B000FF\n"));
    test::WriteFile(dir.File("cut.lst"), std::string_view("cut.bin\n"));
    UseList(dir.File("cut.lst"));
    MakePanel({});
    Handset cut;
    Plug(cut);
    Select(true, false);
    dialogs.messages.clear();
    emit panel->downStartPressed();
    const auto plan = pda::CheckDownloadPlan(dir.File("cut.lst"), {.wholeFiles = true});
    ASSERT_FALSE(plan);
    EXPECT_THAT(dialogs.messages, ElementsAre(QString::fromStdString(plan.Error())));
    EXPECT_TRUE(cut.emulator.Report().transcript.empty());
    EXPECT_FALSE(panel->PdaRunning());
    // Records required where none can be made: no start, and why not.
    mayStart = Failure{"No run starts: the run store is read-only"};
    emit panel->downStartPressed();
    EXPECT_TRUE(Text(1032) == "No run starts: the run store is read-only" && !panel->PdaRunning());
}

// Stop, the close request and "Close After Down" during a PDA download
// each wait for the handset to leave, then show or end; a stop shows at once
// that it is under way.
TEST_F(FrontPanelRunTest, StopCloseAndCloseAfterDownEndWhenTheHandsetHasGone) {
    enum class Ask { Stop, Close, CloseAfterDown };
    for (Ask ask : {Ask::Stop, Ask::Close, Ask::CloseAfterDown}) {
        SCOPED_TRACE(static_cast<int>(ask));
        MakePanel({});
        emulators::PdaEmulatorOptions writing; // the image's flash write never ends
        if (ask != Ask::CloseAfterDown)
            writing.faults.flashWriteTime = std::chrono::hours(1);
        Handset handset(writing);
        Control<QAbstractButton>(1026)->setChecked(ask == Ask::CloseAfterDown);
        Plug(handset);
        emit panel->downStartPressed();
        if (ask != Ask::CloseAfterDown) {
            ASSERT_TRUE(UntilStatus("Waiting for Installing..."));
            EXPECT_EQ(Text(1069), "1 / 7");
            if (ask == Ask::Stop)
                emit panel->stopPressed();
            else
                panel->close();
            EXPECT_TRUE(panel->isVisible());
            EXPECT_EQ(Text(1032) + " / " + Text(1039),
                      "Stopping... / Wait for the Device to Leave");
            EXPECT_FALSE(Control(1029)->isEnabled() || Control(1028)->isEnabled());
        }
        UnplugWhenGone(handset);
        EXPECT_EQ(panel->isVisible(), ask == Ask::Stop);
        EXPECT_TRUE(ask != Ask::Stop ||
                    (Text(1032) == "Aborted Download!" && panel->Tone() == StatusTone::Failed));
        EXPECT_TRUE(modem->Files().empty()) << "no phone part";
    }
}

// A silent boot gets one automatic re-boot, and a refusal after it ends
// the run with the modem's reason; with no port at all, the 5001st poll
// ends the wait, and Stop ends it at once.
TEST_F(FrontPanelRunTest, PhoneOnlyRunsRebootOnceGiveUpOnTheLastPollAndStop) {
    for (const bool refused : {false, true}) {
        MakePanel({.refuseBoot = refused, .stallBoots = refused ? 0 : 1});
        Select(false, true);
        emit panel->downStartPressed();
        clock.Fire(PanelTimer::Refresh);
        ASSERT_EQ(run->PhoneEngine().Inst().state, phone::stBooting);
        ASSERT_TRUE(ProcessUntil([&] { return modem->Boots() == 1; }));
        clock.Fire(PanelTimer::BootWatchdog);
        test::Flush();
        EXPECT_TRUE(Logged("case stReBooting:"));
        ASSERT_TRUE(ProcessUntil([&] { return !dialogs.messages.empty(); }));
        EXPECT_EQ(dialogs.messages.back(),
                  refused ? "Boot refused by the modem" : "PDA & Phone Download Successfully~!!");
        EXPECT_EQ(Text(1032), refused ? "Phone Downloaded Fail!" : "Phone Download Successfully!");
        // The modem counts a boot on its own thread, after its answer.
        EXPECT_TRUE(ProcessUntil([&] { return modem->Boots() == 2; }));
        // Its record: the modem's port is its slot.
        EXPECT_EQ(Recorded(), std::string("front panel phone ") +
                                  (refused ? "failed/device/phone " : "passed// ") + port.path +
                                  ": port-wait modem port passed, phone-boot boot " +
                                  (refused ? "failed"
                                           : "passed, phone-part psi.flb passed, "
                                             "phone-part slb.flb passed, phone-part "
                                             "modem.fls passed, phone-part modem.eep "
                                             "passed") +
                                  ", package ok psi ok slb ok firmware ok eeprom ok modem " +
                                  port.path);
        dialogs.messages.clear();
    }

    MakePanel({});
    port.present = false;
    port.polls = 0;
    Select(false, true);
    emit panel->downStartPressed();
    for (int poll = 0; poll < phone::kFrontPanelPortPolls; ++poll)
        clock.Fire(PanelTimer::Refresh);
    test::Flush();
    EXPECT_EQ(Text(1037), "Phone USB Connecting...");
    EXPECT_FALSE(panel->TwoLine().IsShown());
    clock.Fire(PanelTimer::Refresh);
    test::Flush();
    EXPECT_EQ(port.polls, phone::kFrontPanelPortPolls + 1);
    EXPECT_EQ(Text(1037), "Phone USB is not Connected...");
    EXPECT_EQ(panel->TwoLine().First(), "Phone USB Cable is not conntected! or");
    EXPECT_NE(Text(1032), "Aborted Download!") << "not behind the red message";
    panel->TwoLine().reject(); // the operator closes it
    EXPECT_EQ(Text(1032), "Aborted Download!");
    EXPECT_EQ(clock.Period(PanelTimer::Refresh), kRefreshPeriod);

    emit panel->downStartPressed(); // Stop while the port is awaited
    clock.Fire(PanelTimer::Refresh);
    emit panel->stopPressed();
    EXPECT_TRUE(Logged("OnButtonCancel - OK!!"));
    EXPECT_TRUE(Control(1028)->isEnabled() && handsetRun.m_DownSelect == 0);
    EXPECT_EQ(Text(1032), "Aborted Download!") << "as a stop in the PDA part reads";
    EXPECT_EQ(panel->Tone(), StatusTone::Failed);
    EXPECT_EQ(clock.Period(PanelTimer::Refresh), kRefreshPeriod);
}

// One handset after another on one panel, each leaving in another part of
// its Total run (the first refuses a command before: red at once): the run
// ends at once in red, the next Down Start clears it. A handset that
// arrives during a run starts nothing.
TEST_F(FrontPanelRunTest, AHandsetLeavingEndsItsRunInEveryPart) {
    enum class Part { PdaRefused, PdaDownload, PortWait, HungBoot, PhoneFile };
    const struct {
        const char* name;
        Part part;
        emulators::PdaEmulatorFaults pda; // of a handset plugged at the start
        emulators::ModemFaults modem;
        // Under a part, the library may hear the port go first.
        bool libraryFirst = false;
        std::string verdict = "Device Disconnected!";
    } rows[] = {
        {"PDA refused", Part::PdaRefused, {.nakAtAnswer = 1}, {}},
        {"PDA download", Part::PdaDownload, {.flashWriteTime = std::chrono::hours(1)}, {}},
        {"port wait", Part::PortWait, {}, {}, false, "Device Connected!"},
        {"boot after the re-boot", Part::HungBoot, {}, {.stallBoots = 2}, true},
        {"PSI", Part::PhoneFile, {}, {.vanishAtPart = 1}, true},
        {"SLB", Part::PhoneFile, {}, {.vanishAtPart = 2}, true},
        {"FLS", Part::PhoneFile, {}, {.vanishAtPart = 3}, true},
        {"EEPROM", Part::PhoneFile, {}, {.vanishAtPart = 4}, true},
    };
    std::unique_ptr<Handset> handset;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StartModem(row.modem);
        if (!context.deviceConnected) {
            handset = std::make_unique<Handset>(emulators::PdaEmulatorOptions{.faults = row.pda});
            Plug(*handset);
        }
        port.present = row.part != Part::PortWait;
        emit panel->downStartPressed();
        EXPECT_EQ(Text(1032) + Text(1039), "");
        EXPECT_EQ(panel->Tone(), StatusTone::Plain);
        EXPECT_EQ(Control<QProgressBar>(1000)->value(), 0);
        auto next = std::make_unique<Handset>();
        ASSERT_TRUE(row.part != Part::PdaRefused || ProcessUntil([&] {
                        return Text(1032) == "Aborted Download!" &&
                               panel->Tone() == StatusTone::Failed;
                    }));
        ASSERT_TRUE(row.part != Part::PdaDownload || UntilStatus("Waiting for Installing..."));
        if (row.part <= Part::PdaDownload) {
            run->DeviceRemoved("inproc:1");
        } else {
            UnplugWhenGone(*handset);
            clock.Fire(PanelTimer::Refresh);
        }
        if (row.part == Part::HungBoot) {
            ASSERT_TRUE(ProcessUntil([&] { return modem->Boots() == 1; }));
            clock.Fire(PanelTimer::BootWatchdog);
            ASSERT_TRUE(ProcessUntil([&] { return modem->Boots() == 2; }));
            Plug(*next); // the modem's port stands: a second handset
            EXPECT_EQ(Text(1032), "Booting...");
            emit panel->downStartPressed();
            EXPECT_TRUE(Logged("Down Start refused: a run is under way"));
            modem->Vanish();
        }
        if (row.part == Part::PortWait) {
            Plug(*next); // the run's handset will not come up as a modem now
        } else if (row.part > Part::PdaDownload) {
            ASSERT_TRUE(ProcessUntil([&] { return !std::filesystem::exists(port.path); }));
            if (port.watch)
                port.watch(); // the system tells that the ports changed
        }
        ASSERT_TRUE(ProcessUntil([&] { return Control(1028)->isEnabled(); }));
        EXPECT_TRUE(handsetRun.m_DownSelect == 0 &&
                    run->PhoneEngine().Inst().state == phone::stIdle);
        EXPECT_THAT(Text(1032).toStdString(),
                    AnyOf(row.verdict, row.libraryFirst ? "Phone Downloaded Fail!" : row.verdict));
        EXPECT_EQ(panel->Tone() == StatusTone::Failed, row.part != Part::PortWait);
        if (context.deviceConnected)
            handset = std::move(next);
    }

    // The last one's run ends well: the list's phone group makes it a Total
    // run, the handset goes over to its modem, whose port the first poll finds.
    handset = std::make_unique<Handset>();
    Plug(*handset);
    StartModem({});
    port.present = true;
    port.polls = 0;
    pauses.clear();
    dialogs.messages.clear();
    emit panel->downStartPressed();
    UnplugWhenGone(*handset);
    EXPECT_EQ(handset->emulator.Report().leftWith, std::optional<std::uint8_t>(0x08));
    EXPECT_EQ(clock.Period(PanelTimer::Refresh), kPhonePollPeriod) << "the poll is timer 1";
    clock.Fire(PanelTimer::Refresh);
    ASSERT_TRUE(ProcessUntil([&] { return !dialogs.messages.empty(); }));
    EXPECT_EQ(dialogs.messages.back(), "PDA & Phone Download Successfully~!!");
    using std::chrono::milliseconds;
    EXPECT_THAT(pauses, ElementsAre(milliseconds(250), milliseconds(100)));
    EXPECT_EQ(Text(1032) + " " + Text(1039), "Phone Download Successfully! Bye!");
    // Recorded as what it was: a Total run, though only PDA was ticked.
    ASSERT_TRUE(ProcessUntil([&] {
        return !Control<QListWidget>(1136)
                    ->findItems("Run record: ", Qt::MatchStartsWith)
                    .isEmpty();
    }));
    EXPECT_EQ(test::LastRecordWithFiles(storePath).second.substr(0, 27),
              "front panel total passed// ");
    EXPECT_FALSE(Logged("OnComplete()+")) << "the boot starts a fresh log";
    EXPECT_EQ(modem->Files().size(), 4u);
    EXPECT_EQ(port.polls, 1);
    EXPECT_EQ(clock.Period(PanelTimer::Refresh), kRefreshPeriod);

    // The phone files it flashed are its list's. A single image names none:
    // a Total run of it refuses them before anything is flashed, and takes
    // those of the chosen package once a phone-only run has read them.
    handset = std::make_unique<Handset>();
    Plug(*handset);
    settings.Values().downloadPath = set.images.front();
    Select(true, true);
    emit panel->downStartPressed();
    EXPECT_TRUE(dialogs.messages.back().contains("names no phone files") &&
                Text(1032) == "Phone File Open Error...");
    EXPECT_TRUE(handset->emulator.Report().ram.empty() && handsetRun.m_DownSelect == 0);
    Select(false, true);
    emit panel->downStartPressed();
    clock.Fire(PanelTimer::Refresh);
    ASSERT_TRUE(UntilStatus("Phone Download Successfully!"));
    Select(true, true);
    emit panel->downStartPressed();
    UnplugWhenGone(*handset);
    clock.Fire(PanelTimer::Refresh);
    ASSERT_TRUE(UntilStatus("Phone Download Successfully!"));
    EXPECT_EQ(modem->Files().size(), 12u);
}

// Every PDA run leaves one record, named by the log's last line for it: its
// verdict, steps and each file's digest, however it ends.
TEST_F(FrontPanelRunTest, EachRunLeavesOneRecordNamedInTheLog) {
    const std::string image = std::filesystem::path(set.images.front()).filename().string();
    enum class End { Leaves, Stop, Pull };
    const auto writing = emulators::PdaEmulatorFaults{.flashWriteTime = std::chrono::hours(1)};
    const std::string aborted = "Aborted Download!", installing = "Waiting for Installing...";
    const struct {
        End end;
        emulators::PdaEmulatorFaults faults;
        std::string until; // the status the run shows before it ends
        std::string ending, step;
    } rows[] = {
        {End::Leaves, {}, "", "passed//", "passed"},
        {End::Pull, {.nakAtAnswer = 1}, aborted, "failed/device/pda", "failed"},
        {End::Stop, writing, installing, "stopped/operator-stop/pda", "stopped"},
        {End::Pull, writing, installing, "device-removed/removal/pda", "failed"},
    };
    UseList(set.images.front());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ending);
        MakePanel({});
        Handset handset(emulators::PdaEmulatorOptions{.faults = row.faults});
        Plug(handset);
        emit panel->downStartPressed();
        ASSERT_TRUE(row.until.empty() || UntilStatus(row.until.c_str()));
        if (row.end == End::Stop)
            emit panel->stopPressed();
        if (row.end == End::Pull)
            run->DeviceRemoved("inproc:1");
        else
            UnplugWhenGone(handset);
        EXPECT_EQ(Recorded(), "front panel pda " + row.ending + " inproc:1: pda-image " + image +
                                  " " + row.step + ", image ok");
    }
}

// A store that cannot take the record: the run goes on, the log says once
// why it is not recorded, and the status line keeps the verdict first.
TEST_F(FrontPanelRunTest, ARunThatCannotBeRecordedKeepsItsVerdictAndSaysWhy) {
    const std::string corrupt = dir.File("corrupt.sqlite");
    std::ofstream(corrupt) << std::string(4096, 'x');
    writer = records::RunWriter::Start({.storePath = corrupt});
    UseList(set.images.front());
    MakePanel({});
    Handset handset;
    Plug(handset);
    emit panel->downStartPressed();
    UnplugWhenGone(handset);
    ASSERT_TRUE(ProcessUntil([&] { return Text(1032).contains("not recorded"); }))
        << Text(1032).toStdString();
    EXPECT_TRUE(Text(1032).startsWith("Download Successfully! This run is not recorded: "))
        << Text(1032).toStdString();
    QListWidget* log = Control<QListWidget>(1136);
    EXPECT_EQ(log->findItems("not recorded", Qt::MatchContains).size(), 1);
}

} // namespace
} // namespace marlow::panel
