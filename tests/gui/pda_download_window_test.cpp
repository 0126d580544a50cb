// A whole PDA download as the main window runs it: the device arrives on a
// bus, the download starts by itself, the Device State window shows the
// trace, and the device leaving completes it. Closing with a device still
// connected first tells it to leave and closes once it has gone.

#include "cli/recorded_runs.h"
#include "controls/animation_dialog.h"
#include "emulators/in_process_usb.h"
#include "emulators/modem_emulator.h"
#include "emulators/pda_bootloader_emulator.h"
#include "emulators/pda_in_process_device.h"
#include "emulators/sample_set.h"
#include "gui/frame_devices.h"
#include "gui/message_view.h"
#include "gui/panel_frame.h"
#include "main_window_rig.h"
#include "pda/boot_image_writer.h"
#include "pda/download_plan_check.h"
#include "support/scripted_bus.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QStatusBar>
#include <QTest>
#include <algorithm>
#include <deque>
#include <gtest/gtest.h>

namespace marlow::test {
namespace {

std::size_t Count(const std::string& text, std::string_view what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// What the window holds after the printer's line-end rule.
std::string AsShown(std::string_view traces) {
    std::string shown;
    for (const char c : traces) {
        if (c == '\n')
            shown += "\r\n";
        else if (c != '\r')
            shown += c;
    }
    return shown;
}

class PdaDownloadWindowTest : public testing::Test, protected MainWindowRig {
protected:
    PdaDownloadWindowTest() : MainWindowRig({{"RegDownTo", "R"}}) {}
    void SetUp() override {
        PrepareEnvironment();
        Open().activateWindow();
        Flush();
        context->frameForeground = true;
        auto source = std::make_unique<ScriptedBus>();
        bus = source.get();
        ASSERT_TRUE(frame->Devices().AddSource(std::move(source)));
    }
    ~PdaDownloadWindowTest() override { frame.reset(); }

    // A handset on the bus at `path`, its boot loader played by `emulator`.
    void Plug(emulators::PdaBootLoaderEmulator& emulator, const char* path,
              std::string serialNumber = {}) {
        emulators::InProcessUsbPair pair =
            emulators::MakeInProcessUsbPair("Quillon USB boot loader", path);
        pair.host->serialNumber = std::move(serialNumber);
        emulators::AttachEmulator(*pair.device, emulator);
        bus->Plug(std::move(pair.host));
        plugged.push_back(pair.device); // its end lives as long as the test
    }
    // What the window's phone engine binds to; read when the window is made.
    virtual void PrepareEnvironment() {}
    void DownloadOneSmallImage() {
        context->settings.Values().downloadPath = dir.File("NK.bin");
        WriteFile(dir.File("NK.bin"),
                  pda::BuildBootImage(pda::MakeBootImagePlan(
                      0x80001000, 0x100,
                      {pda::RecordPlan{0x80001000, std::vector<std::uint8_t>(32, 7), std::nullopt}},
                      0x80001000)));
    }

    TempDir dir;
    ScriptedBus* bus = nullptr;
    std::vector<std::shared_ptr<emulators::InProcessUsbDevice>> plugged;
};

TEST_F(PdaDownloadWindowTest, AnArrivingDeviceDownloadsAndItsLeavingCompletes) {
    DownloadOneSmallImage();
    emulators::PdaBootLoaderEmulator emulator;
    Plug(emulator, "inproc:7");
    ASSERT_TRUE(ProcessUntil([&] { return emulator.LeftBus(); })) << emulator.Report().violation;
    ASSERT_TRUE(ProcessUntil(
        [&] { return context->deviceState.Bytes().find("EXIT_STATE") != std::string::npos; }));
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    EXPECT_TRUE(frame->FlashWaitBox()->isVisible());
    bus->Unplug("inproc:7");
    ASSERT_TRUE(ProcessUntil([&] {
        return context->fileInformation.Bytes().find("Removed Complete") != std::string::npos;
    })) << context->fileInformation.Bytes();
    Flush();
    EXPECT_FALSE(frame->FlashWaitBox()->isVisible());

    EXPECT_EQ(emulator.Report().violation, "");
    EXPECT_EQ(emulator.Report().leftWith, std::optional<std::uint8_t>(0x06));
    // The trace between is the download's own (its tests pin it down); the
    // window adds the arrival before it and prints it with its line ends.
    const std::string state = context->deviceState.Bytes();
    EXPECT_TRUE(state.starts_with(AsShown("\nDevice Connected!\n OnOperationDownload()  - TEST")))
        << state;
    EXPECT_TRUE(state.ends_with(AsShown("\n\nEXIT_STATE\n\n Downloaded to Device Successfully!")));
    EXPECT_EQ(context->debugMessage.Bytes(),
              AsShown("\nStart Address =[80001000]\n\nImage Length=[00000256]\n"));
    const std::string info = context->fileInformation.Bytes();
    EXPECT_NE(info.find("New device Arrived: Quillon USB boot loader"), std::string::npos);
    EXPECT_NE(info.find("Removed Complete: Quillon USB boot loader"), std::string::npos);
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Launching with the New Image....");
    EXPECT_EQ(dialogs.messages, (std::vector<QString>{"Completed Downloaded!"}));
    EXPECT_EQ(frame->View(gui::WindowRole::DeviceState)->DownloadProgress(), nullptr);
    EXPECT_TRUE(frame->View(gui::WindowRole::DeviceState)
                    ->toPlainText()
                    .endsWith("Downloaded to Device Successfully!"));
}

// A bad image or list is refused before a byte goes to the handset, with
// the check's reason in the main window's message box.
TEST_F(PdaDownloadWindowTest, ABadFileIsRefusedBeforeTheHandsetIsTouched) {
    WriteFile(dir.File("CUT.bin"), std::string_view("B000FF\n"));
    WriteFile(dir.File("EMPTY.lst"), std::string_view("\n"));
    for (const char* name : {"CUT.bin", "EMPTY.lst"}) {
        SCOPED_TRACE(name);
        const std::string path = dir.File(name);
        context->settings.Values().downloadPath = path;
        emulators::PdaBootLoaderEmulator emulator;
        dialogs.messages.clear();
        Plug(emulator, "inproc:8");
        ASSERT_TRUE(ProcessUntil([&] { return !dialogs.messages.empty(); }));
        const auto plan = pda::CheckDownloadPlan(path, {.wholeFiles = true});
        ASSERT_FALSE(plan);
        EXPECT_EQ(dialogs.messages, (std::vector<QString>{QString::fromStdString(plan.Error())}));
        EXPECT_TRUE(emulator.Report().transcript.empty());
        bus->Unplug("inproc:8");
        ASSERT_TRUE(ProcessUntil([&] { return frame->Devices().Watcher().DeviceCount() == 0; }));
    }
}

// The wait box never comes up over another window than the frame (over the
// frame it does, and stays until the handset has gone: above).
TEST_F(PdaDownloadWindowTest, TheWaitBoxShowsOverTheForegroundFrameOnly) {
    DownloadOneSmallImage();
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    emulators::PdaBootLoaderEmulator emulator;
    Plug(emulator, "inproc:7");
    ASSERT_TRUE(ProcessUntil([&] { return emulator.LeftBus(); }));
    Flush();
    EXPECT_FALSE(frame->FlashWaitBox()->isVisible());
}

// Typing "u" waits for a device, whose arrival ends the wait.
TEST_F(PdaDownloadWindowTest, ClosingWithADeviceSaysSoAndClosesWhenItHasGone) {
    frame->View(gui::WindowRole::DebugMessage)->onCharacter('u');
    ASSERT_NE(frame->PortWaitDialog(), nullptr);
    context->settings.Values().downloadPath = dir.File("missing.bin");
    emulators::InProcessUsbPair pair =
        emulators::MakeInProcessUsbPair("Quillon USB boot loader", "inproc:9");
    std::shared_ptr<emulators::InProcessUsbDevice> device = pair.device;
    bus->Plug(std::move(pair.host));
    ASSERT_TRUE(ProcessUntil([&] { return context->run.deviceConnected.load(); }));
    EXPECT_EQ(frame->PortWaitDialog(), nullptr);
    EXPECT_FALSE(context->portWaitShown.load());
    ASSERT_TRUE(ProcessUntil([&] { return !dialogs.messages.empty(); }));
    EXPECT_EQ(dialogs.messages, (std::vector<QString>{"File not found"}));

    // What the handset is sent is the watcher's tests' matter. The window
    // says at once that it is closing, and stays so until the handset goes.
    const auto closingShown = [&] {
        return frame->statusBar()->currentMessage() ==
                   "Closing: waiting for the handset to leave USB..." &&
               QApplication::overrideCursor() != nullptr &&
               !frame->Command(gui::ID_APP_EXIT)->isEnabled();
    };
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(closingShown());
    EXPECT_FALSE(frame->close());
    Flush();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(closingShown());
    device->Disconnect();
    bus->Unplug("inproc:9");
    ASSERT_TRUE(ProcessUntil([&] { return !frame->isVisible(); }));
    EXPECT_FALSE(context->debugPort.IsOpen());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// What the sources tell besides arrivals: the bus's problems go to the
// Debug Message window; handsets plugged in before the start, which the
// source leaves alone, are named once in the File Information window,
// however many there are.
TEST_F(PdaDownloadWindowTest, WhatTheSourcesTellShowsInTheWindows) {
    const std::string refused =
        "Virtual USB device bus:2 disconnected before it sent its description";
    bus->Complain(refused);
    bus->AttachedBeforeStart("Quillon USB boot loader");
    bus->AttachedBeforeStart("Quillon USB boot loader");
    ASSERT_TRUE(ProcessUntil([&] { return !context->debugMessage.Bytes().empty(); }));
    Flush();
    EXPECT_EQ(context->debugMessage.Bytes(), AsShown("\n" + refused));
    const std::string info = context->fileInformation.Bytes();
    const std::string told = AsShown("\nA handset was already connected when Marlow started "
                                     "(Quillon USB boot loader).\nUnplug it and plug it in "
                                     "again to download to it.");
    EXPECT_NE(info.find(told), std::string::npos) << info;
    EXPECT_EQ(info.find(told), info.rfind(told));
}

// In front-panel mode the hidden main frame hands its bus's devices to the
// panel's run: the list downloads and the handset's leaving completes it. A
// download library that did not load is told when a phone run would start.
TEST(PanelFrameTest, TheHiddenFrameHandsItsDevicesToThePanel) {
    EnsureApplication();
    TempDir dir;
    TempStore store;
    RecordingDialogs dialogs;
    const auto set = samples::WriteSampleSet(dir.File("set"));
    ASSERT_TRUE(set) << set.Error();
    qputenv("MARLOW_PANEL_LIST", set->images.front().c_str());
    qputenv("MARLOW_DOWNLOAD_LIBRARY", QByteArray::fromStdString(dir.File("absent.so")));
    gui::MarlowContext context(store.Store());
    ASSERT_EQ(context.settings.PrepareStart(), app::Presentation::FrontPanel);
    gui::PanelFrame frame(context);
    qunsetenv("MARLOW_PANEL_LIST");
    qunsetenv("MARLOW_DOWNLOAD_LIBRARY");
    auto source = std::make_unique<ScriptedBus>();
    ScriptedBus& bus = *source;
    ASSERT_TRUE(frame.AddSource(std::move(source)));
    frame.Panel().show();
    emulators::PdaBootLoaderEmulator emulator;
    emulators::InProcessUsbPair pair =
        emulators::MakeInProcessUsbPair("Quillon USB boot loader", "inproc:2");
    emulators::AttachEmulator(*pair.device, emulator);

    bus.Plug(std::move(pair.host));
    ASSERT_TRUE(ProcessUntil([&] { return context.run.deviceConnected.load(); }));
    emit frame.Panel().downStartPressed();
    ASSERT_TRUE(ProcessUntil([&] { return emulator.LeftBus(); }));
    bus.Unplug("inproc:2");
    ASSERT_TRUE(
        ProcessUntil([&] { return frame.Panel().StatusText() == "Download Successfully!"; }));
    EXPECT_FALSE(frame.isVisible());
    EXPECT_EQ(store.Value("USB Downloader"), "0");

    frame.Panel().findChild<QAbstractButton*>("1135")->setChecked(true);
    emit frame.Panel().downStartPressed();
    EXPECT_TRUE(dialogs.messages.size() == 1 && dialogs.messages.front().contains("absent.so"));
}

#ifdef MARLOW_TEST_DOWNLOAD_LIBRARY
// The whole handset: the PDA list hands over to the phone, whose download
// then runs through our stand-in library against the modem emulator. The
// list's phone group starts it with or without the "Phone" option: the
// handset has left for its modem either way.
class HandsetWindowTest : public PdaDownloadWindowTest {
protected:
    void PrepareEnvironment() override {
        auto written = samples::WriteSampleSet(dir.File("set"));
        ASSERT_TRUE(written) << written.Error();
        set = std::move(*written);
        auto started = emulators::ModemEmulator::Start(dir.File("modem"), {});
        ASSERT_TRUE(started) << started.Error();
        modem = std::move(*started);
        qputenv("MARLOW_MODEM_PORT", QByteArray::fromStdString(dir.File("modem")));
        qputenv("MARLOW_DOWNLOAD_LIBRARY", MARLOW_TEST_DOWNLOAD_LIBRARY);
    }
    ~HandsetWindowTest() override {
        frame.reset();
        qunsetenv("MARLOW_MODEM_PORT");
        qunsetenv("MARLOW_DOWNLOAD_LIBRARY");
    }

    // The record of the run just made: one more than the last call saw, finished.
    std::string Recorded() {
        const std::string path = store.Value("RunStore");
        EXPECT_TRUE(ProcessUntil([&] {
            const std::vector<std::string> runs = RecordedRuns(path);
            return runs.size() > recordsSeen && !runs.back().starts_with("running");
        }));
        recordsSeen = RecordedRuns(path).size();
        return LastRecordWithFiles(path).second;
    }
    std::size_t recordsSeen = 0;

    samples::SampleSet set;
    std::unique_ptr<emulators::ModemEmulator> modem;
};

class HandsetDownloadTest : public HandsetWindowTest, public testing::WithParamInterface<bool> {};

TEST_P(HandsetDownloadTest, ThePhoneFollowsAListThatHandsOver) {
    context->settings.Values().downloadPath = set.list;
    // The files are the list's phone group, not a package.
    context->settings.Values().phonePackagePath = dir.File("absent.brx");
    context->optionFlags = GetParam() ? 2 : 0;
    emulators::PdaBootLoaderEmulator emulator;
    Plug(emulator, "inproc:5", "QE1-0005");
    ASSERT_TRUE(ProcessUntil([&] { return emulator.LeftBus(); }));
    ASSERT_TRUE(ProcessUntil(
        [&] { return context->deviceState.Bytes().find("EXIT_STATE") != std::string::npos; }));
    EXPECT_EQ(emulator.Report().leftWith, std::optional<std::uint8_t>(0x08));
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    bus->Unplug("inproc:5");

    const std::string success = "\r\n Phone Downloaded Successfully! \r\n";
    ASSERT_TRUE(ProcessUntil([&] {
        return context->deviceState.Bytes().find(success) != std::string::npos;
    })) << context->deviceState.Bytes();
    EXPECT_NE(context->debugMessage.Bytes().find(
                  "\r\n PDA Download Completed!! \r\n\r\n -- Phone Download Start!! -- \r\n"),
              std::string::npos);
    EXPECT_NE(context->debugMessage.Bytes().find(success), std::string::npos);
    EXPECT_EQ(modem->Files().size(), 4u);
    EXPECT_FALSE(frame->PhoneRunning());
    EXPECT_TRUE(frame->Command(gui::ID_PHONE_DOWN_START)->isEnabled());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Phone Downloaded Successfully!");
    // One record for both halves; the modem port is the one the run found,
    // the serial number the boot loader's.
    EXPECT_EQ(Recorded(),
              "main window total passed// inproc:5: pda-image eboot.bin passed, "
              "pda-image nk.bin passed, hand-over PHONE_DOWN_CMD passed, port-wait "
              "modem port passed, phone-boot boot passed, phone-part psi.flb passed, "
              "phone-part slb.flb passed, phone-part modem.fls passed, phone-part "
              "modem.eep passed, list ok image ok image ok psi ok slb ok firmware ok eeprom ok "
              "modem " +
                  dir.File("modem") + " serial QE1-0005");
}

// Each run the window makes leaves one record, however it ends. A
// connection starts its own handset's download and no other: one left
// plugged in after its download failed is not downloaded to again.
TEST_F(HandsetWindowTest, EachRunLeavesOneRecord) {
    const std::string image = std::filesystem::path(set.images.front()).filename().string();
    const struct {
        const char* path;
        emulators::PdaEmulatorFaults faults;
        std::string ending, step;
    } rows[] = {
        {"inproc:3", {.nakAtAnswer = 1}, "failed/device/pda", "failed"},
        {"inproc:4", {}, "passed//", "passed"},
        {"inproc:5", {.silentAtAnswer = 2}, "device-removed/removal/pda", "failed"},
    };
    context->settings.Values().downloadPath = set.images.front();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    std::deque<emulators::PdaBootLoaderEmulator> handsets;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        auto& emulator = handsets.emplace_back(emulators::PdaEmulatorOptions{.faults = row.faults});
        Plug(emulator, row.path);
        ASSERT_TRUE(ProcessUntil([&] {
            return row.step == "passed" ? emulator.LeftBus()
                                        : !emulator.Report().transcript.empty();
        }));
        if (row.faults.nakAtAnswer == 0) // the refused handset stays plugged in
            bus->Unplug(row.path);
        EXPECT_EQ(Recorded(), "main window pda " + row.ending + " " + row.path + ": pda-image " +
                                  image + " " + row.step + ", image ok");
    }
    // The refused handset heard its one command, and nothing since.
    EXPECT_EQ(handsets.front().Report().transcript.size(), 1u);
    // A phone run stopped while it waits for a modem port that is not there.
    modem.reset();
    context->settings.Values().phonePackagePath = set.phonePackage;
    context->optionFlags = 2;
    frame->OnPhoneDownStart();
    frame->OnPhoneDownCancel();
    EXPECT_EQ(Recorded(), "main window phone stopped/operator-stop/phone : port-wait modem port "
                          "stopped, package ok psi ok slb ok firmware ok eeprom ok");
}

// Handsets served at once each keep a record of their own: one pulled while
// two others hand over, each going on with its own phone half, the second
// once the first's is done.
TEST_F(HandsetWindowTest, HandsetsAtOnceKeepARecordEach) {
    context->settings.Values().downloadPath = set.list;
    emulators::PdaBootLoaderEmulator pulled({.faults = {.silentAtAnswer = 2}});
    Plug(pulled, "inproc:6");
    ASSERT_TRUE(ProcessUntil([&] { return !pulled.Report().transcript.empty(); }));
    std::deque<emulators::PdaBootLoaderEmulator> passing(2);
    for (int i = 0; i < 2; ++i) {
        Plug(passing[i], i == 0 ? "inproc:7" : "inproc:8");
        ASSERT_TRUE(ProcessUntil([&] { return passing[i].LeftBus(); }));
    }
    for (const char* path : {"inproc:7", "inproc:8", "inproc:6"})
        bus->Unplug(path);
    const std::string path = store.Value("RunStore");
    ASSERT_TRUE(ProcessUntil([&] {
        const std::vector<std::string> runs = RecordedRuns(path);
        return runs.size() == 3 && std::none_of(runs.begin(), runs.end(), [](const auto& run) {
                   return run.starts_with("running");
               });
    })) << testing::PrintToString(RecordedRuns(path));
    const std::string total =
        ": pda-image eboot.bin passed, pda-image nk.bin passed, hand-over PHONE_DOWN_CMD passed, "
        "port-wait modem port passed, phone-boot boot passed, phone-part psi.flb passed, "
        "phone-part slb.flb passed, phone-part modem.fls passed, phone-part modem.eep passed,";
    EXPECT_EQ(RecordedRuns(path),
              (std::vector<std::string>{"device-removed/removal/pda inproc:6: pda-image eboot.bin "
                                        "failed,",
                                        "passed// inproc:7" + total, "passed// inproc:8" + total}));
    EXPECT_EQ(modem->Files().size(), 8u);
}

// An operator's retry: a handset whose download failed is pulled and
// plugged in again on the same port, and its second run passes; each run
// leaves a record of its own.
TEST_F(HandsetWindowTest, AHandsetPluggedInAgainAfterAFailureIsARunOfItsOwn) {
    context->settings.Values().downloadPath = set.images.front();
    emulators::PdaBootLoaderEmulator refusing({.faults = {.nakAtAnswer = 1}});
    Plug(refusing, "inproc:31");
    ASSERT_TRUE(ProcessUntil([&] { return !refusing.Report().transcript.empty(); }));
    EXPECT_TRUE(Recorded().starts_with("main window pda failed/device/pda inproc:31:"));
    bus->Unplug("inproc:31");
    emulators::PdaBootLoaderEmulator passing;
    Plug(passing, "inproc:31");
    ASSERT_TRUE(ProcessUntil([&] { return passing.LeftBus(); }));
    EXPECT_TRUE(Recorded().starts_with("main window pda passed// inproc:31:"));
    EXPECT_EQ(refusing.Report().transcript.size(), 1u);
}

// Only a frame in the foreground says a download is done; behind another
// program nothing. A handset handed over to its modem gets its phone
// download wherever the operator is looking; one not handed over never
// does, whatever the "Phone" option says by the time it leaves.
TEST_F(HandsetWindowTest, ACompletedDownloadSaysSoOnlyInTheForeground) {
    const struct {
        const char* path;
        bool foreground, list;
        std::vector<QString> boxes;
        std::string ending;
    } rows[] = {
        {"inproc:11", false, false, {}, "pda passed//"},
        {"inproc:12", true, false, {"Completed Downloaded!"}, "pda passed//"},
        {"inproc:13", false, true, {}, "total passed//"},
    };
    QWidget elsewhere;
    std::deque<emulators::PdaBootLoaderEmulator> handsets;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        dialogs.messages.clear();
        context->optionFlags = 0;
        context->settings.Values().downloadPath = row.list ? set.list : set.images.front();
        // The download's wait box keeps another program from the front
        // until the handset leaves; the frame comes forward over it.
        if (!row.foreground) {
            elsewhere.show();
            elsewhere.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
        }
        auto& emulator = handsets.emplace_back();
        Plug(emulator, row.path);
        ASSERT_TRUE(ProcessUntil([&] { return emulator.LeftBus(); }));
        context->optionFlags = 2;
        if (row.foreground) {
            frame->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        }
        const std::size_t left = Count(context->fileInformation.Bytes(), "Removed Complete");
        bus->Unplug(row.path);
        ASSERT_TRUE(ProcessUntil(
            [&] { return Count(context->fileInformation.Bytes(), "Removed Complete") > left; }));
        EXPECT_TRUE(Recorded().starts_with("main window " + row.ending + " " + row.path));
        Flush();
        EXPECT_FALSE(frame->PhoneRunning());
        EXPECT_EQ(dialogs.messages, row.boxes);
    }
    EXPECT_EQ(modem->Files().size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(PhoneOption, HandsetDownloadTest, testing::Bool());
#endif

} // namespace
} // namespace marlow::test
