// The device watcher: arrival, ReportConnected, and what it tells its owner
// when a device leaves (completed, aborted, cancelled, close or panel
// request pending), with handsets played by the boot loader emulator.

#include "support/pda_rig.h"

#include "emulators/pda_in_process_device.h"
#include "hotplug/device_watcher.h"
#include "hotplug/download_command.h"
#include "support/scripted_transport.h"
#include "support/task_queue.h"

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
    void MessageBox(std::string_view text) override { Add("box|", text); }
    void Log(std::string_view text) override { Add("log|", text); }
    void Arrived(std::string_view description) override { Add("arrived|", description); }
    void QueryRemove(std::string_view description) override { Add("query-remove|", description); }
    void HandleClosed(std::string_view description) override { Add("closed|", description); }
    // As the main window and the CLI do, a handset not on the panel
    // downloads at once.
    void Connected(const std::string& path) override {
        Add("connected|", path);
        if (!ContextFor(path).Settings().frontPanelMode)
            hotplug::OperationDownload(*watcher, ContextFor(path), SinkFor(path), &path);
    }
    void Left(const std::string& path, const Leaving& leaving) override {
        Add("left|",
            path + (leaving.completed ? " completed" : "") + (leaving.passed ? " passed" : ""));
    }
    void CancelCarriedOut() override { Add("aborted-display"); }
    void ExitCarriedOut() override { Add("end-panel"); }
    void CloseCarriedOut() override { Add("MAINFRM_CLOSE"); }
    void StopWatching() override { Add("cancel-notification"); }
    void ClosedAtOnce() override { Add("close-now"); }
    bool OpensInBackground() const override { return background; }
    void PostToUi(std::function<void()> task) override { posted.Post(std::move(task)); }

    void Add(std::string what, std::string_view text = {}) {
        calls.push_back(what + std::string(text));
    }

    hotplug::CDeviceWatcher* watcher = nullptr;
    std::map<std::string, std::unique_ptr<Handset>> handsets;
    Calls calls;
    bool background = false;
    TaskQueue posted; // run by the test, as the owner's thread would
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

TEST_F(WatcherTest, ACompletedDownloadsLeavingIsToldAsPassed) {
    Handset& handset = Connect("bus:1");
    FinishDownload("bus:1");
    EXPECT_TRUE(handset.emulator.LeftBus());

    EXPECT_TRUE(watcher.OnDeviceQueryRemove("bus:1"));
    EXPECT_TRUE(watcher.OnDeviceRemoveComplete("bus:1"));

    EXPECT_EQ(
        owner.calls,
        (Calls{"arrived|" + kDescription, "connected|bus:1", "query-remove|" + kDescription,
               "log|case DBT_DEVICEREMOVECOMPLETE:", "log|g_mainfrm->UnloadUsbDrv(FALSE, FALSE)",
               "log|+UnloadUsbDrv()", "log|-UnloadUsbDrv()", "closed|" + kDescription,
               "left|bus:1 completed passed"}));
    const Calls shown = owner.HandsetFor("bus:1").out.Calls();
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(Calls(shown.begin(), shown.begin() + 4),
              (Calls{"clear", "trace|\nDevice Connected!", "trace|\n OnOperationDownload()  - TEST",
                     "trace|\n\nIMAGEHEADER_STATE"}));
    EXPECT_EQ(watcher.DeviceCount(), 0u);
    EXPECT_FALSE(owner.ContextFor("bus:1").deviceConnected);
}

// A download the handset refused (a NAK) did not complete.
TEST_F(WatcherTest, ARefusedDownloadsLeavingIsToldAsIncomplete) {
    Connect("bus:1", DownloadTarget::Ram, false, {.faults = {.nakAtAnswer = 1}});
    FinishDownload("bus:1");
    watcher.OnDeviceRemoveComplete("bus:1");
    EXPECT_EQ(owner.calls.back(), "left|bus:1");
}

TEST_F(WatcherTest, APanelDeviceLeavingBeforeCompletionIsToldSo) {
    Connect("bus:1", DownloadTarget::Flash, true);
    EXPECT_EQ(owner.HandsetFor("bus:1").out.Calls(),
              (Calls{"1032|Device Connected!", "1039|", "1028|enable", "1000|0"}));
    EXPECT_TRUE(owner.ContextFor("bus:1").deviceConnected);
    owner.ContextFor("bus:1").flashWriting = true;

    watcher.OnDeviceRemoveComplete("bus:1");

    EXPECT_EQ(
        owner.calls,
        (Calls{"arrived|" + kDescription, "connected|bus:1", "log|case DBT_DEVICEREMOVECOMPLETE:",
               "log|g_mainfrm->UnloadUsbDrv(FALSE, FALSE)", "log|+UnloadUsbDrv()",
               "log|-UnloadUsbDrv()", "closed|" + kDescription, "left|bus:1"}));
    EXPECT_FALSE(owner.ContextFor("bus:1").flashWriting);
}

// A close, or the panel's exit, tells the device to leave and is carried
// out once it has gone.
TEST_F(WatcherTest, CloseAndServiceExitUnloadTheDeviceAndEndOnceItHasGone) {
    for (const bool close : {true, false}) {
        SCOPED_TRACE(close);
        Handset& handset = Connect("bus:1", DownloadTarget::Flash, true);
        owner.calls.clear();
        close ? watcher.OnClose() : static_cast<void>(watcher.OnServiceDlgExit());
        EXPECT_TRUE(close ? watcher.ClosePending() : watcher.ServiceExitPending());
        EXPECT_EQ(handset.emulator.Report().transcript, (Calls{"USB_UNLOAD_CMD"}));
        EXPECT_TRUE(handset.emulator.LeftBus());
        EXPECT_EQ(Calls(owner.calls.end() - 3, owner.calls.end()),
                  (Calls{"log|+UnloadUsbDrv()", "log|if(bUnload)", "log|-UnloadUsbDrv()"}));

        owner.calls.clear();
        watcher.OnDeviceRemoveComplete("bus:1");
        EXPECT_EQ(owner.calls,
                  (Calls{"log|case DBT_DEVICEREMOVECOMPLETE:", "closed|" + kDescription,
                         "cancel-notification", close ? "MAINFRM_CLOSE" : "end-panel"}));
        EXPECT_FALSE(watcher.ClosePending() || watcher.ServiceExitPending());
    }
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
    EXPECT_EQ(owner.calls, (Calls{"log|case DBT_DEVICEREMOVECOMPLETE:", "closed|" + kDescription,
                                  "aborted-display"}));
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

// Opened by the arrival call (the CLI) or in background (a window), a
// device is reported alike once it opens; one that never opens is dropped
// after its thirty attempts.
TEST_F(WatcherTest, DeviceIsReportedOnceItOpensAndDroppedWhenItNeverDoes) {
    for (const auto& [background, failures] :
         std::vector<std::pair<bool, int>>{{false, 2}, {true, 2}, {false, 30}, {true, 30}}) {
        SCOPED_TRACE(testing::Message() << background << " " << failures);
        const bool opens = failures < 30;
        openPauses = 0;
        owner.calls.clear();
        owner.handsets.clear();
        owner.background = background;
        hotplug::CDeviceWatcher local(owner, Timing());
        Prepare("test:7", DownloadTarget::Ram, /*panel=*/true);
        auto transport = std::make_unique<ScriptedTransport>();
        transport->openFailuresLeft = failures;
        transport->description = opens ? kDescription : "";
        ASSERT_TRUE(local.OnDeviceArrival(std::move(transport)));
        EXPECT_TRUE(!background || owner.posted.WaitAndRunOne());

        EXPECT_EQ(openPauses, failures);
        EXPECT_EQ(local.DeviceCount(), opens ? 1u : 0u);
        EXPECT_EQ(owner.ContextFor("test:7").deviceConnected.load(), opens);
        EXPECT_EQ(owner.calls, opens ? (Calls{"arrived|" + kDescription, "connected|test:7"})
                                     : (Calls{"box|GetDeviceDescription failed", "arrived|"}));
    }
}

// A device whose open does not end leaves the arrival call free; a removal,
// a release or the watcher's end ends the open at once (its thread has
// posted its last), and nothing is told of it.
TEST_F(WatcherTest, StopDuringABackgroundOpenEndsItUnreported) {
    const struct {
        std::function<void(std::unique_ptr<hotplug::CDeviceWatcher>&)> stop;
        Calls calls;
    } cases[] = {
        {[](auto& w) { w->OnDeviceRemoveComplete("test:7"); },
         {"log|case DBT_DEVICEREMOVECOMPLETE:"}},
        {[](auto& w) { w->OnClose(); }, {"log|+UnloadUsbDrv()", "close-now"}},
        {[](auto& w) { w->OnServiceDlgCancel(); },
         {"log|case SERVICE_DLG_CANCEL:", "log|+UnloadUsbDrv()", "log|-UnloadUsbDrv()",
          "aborted-display"}},
        {[](auto& w) { w.reset(); }, {}},
    };
    owner.background = true;
    Prepare("test:7");
    for (const auto& row : cases) {
        SCOPED_TRACE(&row - cases);
        auto local = std::make_unique<hotplug::CDeviceWatcher>(owner, Timing());
        auto transport = std::make_unique<ScriptedTransport>();
        transport->holdOpen = true;
        ScriptedTransport& held = *transport;
        ASSERT_TRUE(local->OnDeviceArrival(std::move(transport)));
        held.WaitForOpenAttempts(1);
        owner.calls.clear();

        row.stop(local);
        EXPECT_EQ(owner.posted.RunAll(), 1); // the open's result, posted before it ended
        EXPECT_EQ(owner.calls, row.calls);
    }
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

    EXPECT_EQ(owner.calls.back(), "left|bus:1 completed passed");
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
