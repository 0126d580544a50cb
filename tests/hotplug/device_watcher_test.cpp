// The device watcher: arrival, ReportConnected, and the decision taken when
// a device leaves (completed, aborted, cancelled, close or panel request
// pending), with handsets played by the boot loader emulator.

#include "support/pda_rig.h"

#include "emulators/pda_in_process_device.h"
#include "hotplug/device_watcher.h"
#include "hotplug/download_command.h"

#include <gtest/gtest.h>

#include <map>

namespace marlow::test {
namespace {

using Calls = std::vector<std::string>;
using pda::DownloadTarget;

const std::string kDescription = "PDA boot loader (in-process)";

class RecordingOwner : public hotplug::DeviceWatcherOwner {
public:
    struct Handset {
        pda::PdaRunContext context;
        RecordingPdaEvents out{context};
    };

    Handset& HandsetFor(const std::string& path) {
        std::unique_ptr<Handset>& handset = handsets[path];
        if (!handset)
            handset = std::make_unique<Handset>();
        return *handset;
    }
    pda::PdaRunContext& ContextFor(const std::string& path) override {
        return HandsetFor(path).context;
    }
    pda::PdaEventSink& SinkFor(const std::string& path) override { return HandsetFor(path).out; }
    void FileInformation(std::string_view text) override { Add("info|", text); }
    void MessageBox(std::string_view text) override { Add("box|", text); }
    void Log(std::string_view text) override { Add("log|", text); }
    void ClosePortWaitDialog() override { Add("port-wait-closed"); }
    void SendDownloadCommand(const std::string& path) override {
        Add("download|", path);
        hotplug::OperationDownload(*watcher, ContextFor(path), SinkFor(path), &path);
    }
    void PanelDeviceArrived() override { Add("panel-arrived"); }
    void PdaDownloadDone(bool mainWindow) override { Add(mainWindow ? "done|1,0" : "done|0,1"); }
    void PanelDisconnectedDisplay() override { Add("disconnected-display"); }
    void PanelAbortedDisplay() override { Add("aborted-display"); }
    void EndFrontPanel() override { Add("end-panel"); }
    void PostMainFrameClose() override { Add("MAINFRM_CLOSE"); }
    void CancelInterfaceNotification() override { Add("cancel-notification"); }
    void CloseFrameNow() override { Add("close-now"); }

    void Add(std::string what, std::string_view text = {}) {
        calls.push_back(what + std::string(text));
    }

    hotplug::CDeviceWatcher* watcher = nullptr;
    std::map<std::string, std::unique_ptr<Handset>> handsets;
    Calls calls;
};

// One emulated handset on its own in-process pair.
struct Handset {
    explicit Handset(std::string path, emulators::PdaEmulatorOptions options = {},
                     std::string description = kDescription)
        : emulator(std::move(options)) {
        emulators::InProcessUsbPair pair =
            emulators::MakeInProcessUsbPair(std::move(description), std::move(path));
        device = pair.device;
        host = std::move(pair.host);
        emulators::AttachEmulator(*device, emulator);
    }
    ~Handset() { emulators::DetachEmulator(*device); }

    emulators::PdaBootLoaderEmulator emulator;
    std::shared_ptr<emulators::InProcessUsbDevice> device;
    std::unique_ptr<usb::UsbTransport> host;
};

class WatcherTest : public testing::Test {
protected:
    WatcherTest() : watcher(owner, Timing()) { owner.watcher = &watcher; }

    hotplug::WatcherTiming Timing() {
        hotplug::WatcherTiming timing;
        // Only the thread's end can end a stop's grace this long.
        timing.stopGrace = std::chrono::hours(1);
        timing.openRetry.wait = [this](std::chrono::milliseconds, usb::StopRequest&) {
            ++openPauses;
            return true;
        };
        return timing;
    }

    void Prepare(const std::string& path, DownloadTarget target = DownloadTarget::Ram,
                 bool panel = false) {
        const std::string image = dir.File(path + ".bin");
        WriteFile(image, pda::BuildBootImage(SmallImage(100)));
        owner.ContextFor(path).SetSettings(
            {.downloadPath = image, .target = target, .frontPanelMode = panel});
    }

    void Arrive(Handset& handset) { ASSERT_TRUE(watcher.OnDeviceArrival(std::move(handset.host))); }

    // A prepared handset at `path` that has arrived.
    Handset& Connect(const std::string& path, DownloadTarget target = DownloadTarget::Ram,
                     bool panel = false, emulators::PdaEmulatorOptions options = {}) {
        Prepare(path, target, panel);
        Handset& handset = *handsets.emplace_back(std::make_unique<Handset>(path, options));
        Arrive(handset);
        return handset;
    }

    void FinishDownload(const std::string& path) {
        ASSERT_NE(watcher.FindPipe(path), nullptr);
        watcher.JoinDownload(path);
    }

    TempDir dir;
    RecordingOwner owner;
    hotplug::CDeviceWatcher watcher;
    int openPauses = 0;
    std::vector<std::unique_ptr<Handset>> handsets; // gone before the watcher
};

TEST_F(WatcherTest, CompletedDownloadLeavingPostsDownloadDone) {
    Handset& handset = Connect("bus:1");
    FinishDownload("bus:1");
    EXPECT_TRUE(handset.emulator.LeftBus());

    EXPECT_TRUE(watcher.OnDeviceQueryRemove("bus:1"));
    EXPECT_TRUE(watcher.OnDeviceRemoveComplete("bus:1"));

    EXPECT_EQ(
        owner.calls,
        (Calls{"info|\nNew device Arrived: " + kDescription, "port-wait-closed", "download|bus:1",
               "info|\nQuery Remove: " + kDescription, "log|case DBT_DEVICEREMOVECOMPLETE:",
               "log|g_mainfrm->UnloadUsbDrv(FALSE, FALSE)", "log|+UnloadUsbDrv()",
               "log|-UnloadUsbDrv()", "info|\nClosed handle to device: " + kDescription, "done|1,0",
               "info|\nRemoved Complete: " + kDescription}));
    const Calls shown = owner.HandsetFor("bus:1").out.Calls();
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(Calls(shown.begin(), shown.begin() + 4),
              (Calls{"clear", "trace|\nDevice Connected!", "trace|\n OnOperationDownload()  - TEST",
                     "trace|\n\nIMAGEHEADER_STATE"}));
    EXPECT_EQ(watcher.DeviceCount(), 0u);
    EXPECT_FALSE(owner.ContextFor("bus:1").deviceConnected);
}

// A download the handset refused (a NAK) passed nothing.
TEST_F(WatcherTest, AbortedDownloadLeavingPostsNothing) {
    Connect("bus:1", DownloadTarget::Ram, false, {.faults = {.nakAtAnswer = 1}});
    FinishDownload("bus:1");
    watcher.OnDeviceRemoveComplete("bus:1");
    EXPECT_EQ(std::count(owner.calls.begin(), owner.calls.end(), "done|1,0"), 0);
    EXPECT_EQ(owner.calls.back(), "info|\nRemoved Complete: " + kDescription);
}

TEST_F(WatcherTest, FrontPanelDeviceLeavingBeforeCompletionShowsDisconnected) {
    Connect("bus:1", DownloadTarget::Flash, true);
    EXPECT_EQ(owner.HandsetFor("bus:1").out.Calls(),
              (Calls{"1032|Device Connected!", "1039|", "1028|enable", "1000|0"}));
    EXPECT_TRUE(owner.ContextFor("bus:1").deviceConnected);
    owner.ContextFor("bus:1").flashWriting = true;

    watcher.OnDeviceRemoveComplete("bus:1");

    EXPECT_EQ(owner.calls,
              (Calls{"panel-arrived", "log|case DBT_DEVICEREMOVECOMPLETE:",
                     "log|g_mainfrm->UnloadUsbDrv(FALSE, FALSE)", "log|+UnloadUsbDrv()",
                     "log|-UnloadUsbDrv()", "disconnected-display"}));
    EXPECT_FALSE(owner.ContextFor("bus:1").flashWriting);
}

TEST_F(WatcherTest, FrontPanelCompletedDownloadPostsDoneToThePanel) {
    Connect("bus:1", DownloadTarget::Flash, true);
    ASSERT_TRUE(watcher.StartPdaDownloads());
    FinishDownload("bus:1");
    watcher.OnDeviceRemoveComplete("bus:1");
    EXPECT_EQ(owner.calls.back(), "done|0,1");
}

TEST_F(WatcherTest, CloseWithADeviceUnloadsItAndClosesOnceItHasGone) {
    Handset& handset = Connect("bus:1", DownloadTarget::Flash, true);
    owner.calls.clear();

    watcher.OnClose();

    EXPECT_TRUE(watcher.ClosePending());
    EXPECT_EQ(handset.emulator.Report().transcript, (Calls{"USB_UNLOAD_CMD"}));
    EXPECT_TRUE(handset.emulator.LeftBus());
    EXPECT_EQ(owner.calls,
              (Calls{"log|+UnloadUsbDrv()", "log|if(bUnload)", "log|-UnloadUsbDrv()"}));

    owner.calls.clear();
    watcher.OnDeviceRemoveComplete("bus:1");
    EXPECT_EQ(owner.calls, (Calls{"log|case DBT_DEVICEREMOVECOMPLETE:", "cancel-notification",
                                  "MAINFRM_CLOSE"}));
    EXPECT_FALSE(watcher.ClosePending());
}

TEST_F(WatcherTest, ServiceExitEndsThePanelWhenTheDeviceHasGone) {
    Connect("bus:1", DownloadTarget::Flash, true);
    EXPECT_TRUE(watcher.OnServiceDlgExit());
    EXPECT_TRUE(watcher.ServiceExitPending());
    owner.calls.clear();
    watcher.OnDeviceRemoveComplete("bus:1");
    EXPECT_EQ(owner.calls,
              (Calls{"log|case DBT_DEVICEREMOVECOMPLETE:", "cancel-notification", "end-panel"}));
}

TEST_F(WatcherTest, ServiceCancelShowsTheAbortedDisplayWhenTheDeviceHasGone) {
    Handset& handset =
        Connect("bus:1", DownloadTarget::Flash, true, {.faults = {.silentAtAnswer = 4}});
    ASSERT_TRUE(watcher.StartPdaDownloads());
    ASSERT_TRUE(handset.device->WaitForHostReading()); // writing its flash

    EXPECT_TRUE(watcher.OnServiceDlgCancel());

    EXPECT_FALSE(watcher.DownloadRunning("bus:1"));
    EXPECT_EQ(handset.emulator.Report().transcript.back(), "USB_UNLOAD_CMD");
    owner.calls.clear();
    watcher.OnDeviceRemoveComplete("bus:1");
    EXPECT_EQ(owner.calls, (Calls{"log|case DBT_DEVICEREMOVECOMPLETE:", "aborted-display"}));
}

TEST_F(WatcherTest, RemovalsOfNoDeviceChangeNothingAndRequestsAreCarriedOutAtOnce) {
    EXPECT_TRUE(watcher.OnDeviceRemoveComplete("bus:9"));
    EXPECT_TRUE(watcher.OnDeviceQueryRemove("bus:9"));
    watcher.OnClose();
    EXPECT_EQ(owner.calls,
              (Calls{"log|case DBT_DEVICEREMOVECOMPLETE:", "log|+UnloadUsbDrv()", "close-now"}));
    EXPECT_FALSE(watcher.ClosePending());
    watcher.OnServiceDlgExit();
    EXPECT_EQ(owner.calls.back(), "end-panel");
    watcher.OnServiceDlgCancel();
    EXPECT_EQ(owner.calls.back(), "aborted-display");
    EXPECT_FALSE(watcher.ServiceExitPending());
    EXPECT_FALSE(watcher.ServiceCancelPending());
}

TEST_F(WatcherTest, DeviceThatNeverOpensIsDroppedAfterThirtyAttempts) {
    Prepare("bus:1");
    Handset handset("bus:1", {}, "");
    handset.device->Disconnect();
    Arrive(handset);
    EXPECT_EQ(openPauses, 30);
    EXPECT_EQ(watcher.DeviceCount(), 0u);
    EXPECT_EQ(owner.calls,
              (Calls{"box|GetDeviceDescription failed", "info|\nNew device Arrived: "}));
}

TEST_F(WatcherTest, DownloadCommandChecksDeviceAndFile) {
    pda::PdaRunContext& context = owner.ContextFor("bus:1");
    RecordingPdaEvents& out = owner.HandsetFor("bus:1").out;
    context.SetSettings({.downloadPath = dir.File("absent.bin"), .phoneOption = true});
    EXPECT_FALSE(hotplug::OperationDownload(watcher, context, out));
    context.deviceConnected = true;
    EXPECT_FALSE(hotplug::OperationDownload(watcher, context, out));
    EXPECT_EQ(out.Calls(), (Calls{"box|Device Disconnected!!  Retry to Connect Device!!!|",
                                  "trace|\n OnOperationDownload()  - TEST",
                                  "trace|\n g_AllDownLoad = FALSE;\t \n", "box|File not found|"}));
}

TEST_F(WatcherTest, TwoHandsetsDownloadAtOnceAndOneLeavingLeavesTheOtherRunning) {
    Prepare("bus:1", DownloadTarget::Flash);
    Prepare("bus:2", DownloadTarget::Flash);
    emulators::PdaEmulatorOptions slowFlash;
    slowFlash.faults.silentAtAnswer = 4; // never confirms its flash write
    Handset first("bus:1");
    Handset second("bus:2", slowFlash);
    Arrive(second);
    Arrive(first);
    ASSERT_TRUE(second.device->WaitForHostReading());
    FinishDownload("bus:1");

    watcher.OnDeviceRemoveComplete("bus:1");

    EXPECT_EQ(owner.calls.end()[-2], "done|1,0");
    usb::CUsbPipe* other = watcher.FindPipe("bus:2");
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(watcher.DownloadRunning("bus:2"));
    EXPECT_EQ(first.emulator.Report().flash.size(), 1u);

    // The removal is seen while the run still waits for the flash write.
    watcher.OnDeviceRemoveComplete("bus:2");
    EXPECT_EQ(watcher.DeviceCount(), 0u);
    const RunFinished secondEnd = owner.HandsetFor("bus:2").out.Finished();
    EXPECT_EQ(secondEnd.verdict, Verdict::DeviceRemoved);
    EXPECT_EQ(secondEnd.reason, "the handset was removed during WRITE_FLSH_CMD");
    EXPECT_EQ(owner.HandsetFor("bus:1").out.Finished().verdict, Verdict::Passed);
}

} // namespace
} // namespace marlow::test
