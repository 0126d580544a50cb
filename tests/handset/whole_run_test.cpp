// One handset's whole run on the emulators, through every way it ends:
// the boot loader in-process, the modem emulator on a pseudo-terminal
// behind the stand-in download library. The test's thread is the owner's;
// the port poll's ticks are fired by hand, so no row waits on time.

#include "handset/whole_run.h"

#include "emulators/in_process_usb.h"
#include "emulators/modem_emulator.h"
#include "emulators/pda_in_process_device.h"
#include "emulators/sample_set.h"
#include "phone/phone_package.h"
#include "phone/vendor_library.h"
#include "support/task_queue.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace marlow::handset {
namespace {

class Owner : public phone::OwnerThread, public phone::PhoneClock, public test::TaskQueue {
public:
    void Post(std::function<void()> task) override { TaskQueue::Post(std::move(task)); }
    void StartTimer(phone::PhoneTimer timer, std::chrono::milliseconds) override {
        running.insert(timer);
    }
    void StopTimer(phone::PhoneTimer timer) override { running.erase(timer); }
    void Pause(std::chrono::milliseconds) override {}
    std::set<phone::PhoneTimer> running;
};

// The modem's port: there while the emulator's link is and the row allows.
class ModemPorts : public phone::PhonePortLocator {
public:
    std::optional<phone::ModemPort> FindPort(const std::string& = {}) override {
        if (!present || !std::filesystem::exists(path))
            return std::nullopt;
        return phone::ModemPort{path, "", 1};
    }
    bool WatchPorts(std::function<void()>) override { return false; }
    void StopWatchingPorts() override {}
    std::string path;
    bool present = true;
};

// Where a row steps in: at the first event that `when` matches.
enum class Moment { Never, Start, Connected, PdaProgress, PortWait, PhonePart };
enum class Act { None, Stop, PortGone, NoModem, ListGone, Unplug };

struct Row {
    const char* name;
    RunMode mode;
    emulators::PdaEmulatorFaults pda;
    emulators::ModemFaults modem;
    Moment moment;
    Act act;
    RunFinished expected;
};

bool At(Moment moment, const HandsetEvent& event) {
    switch (moment) {
    case Moment::Never:
    case Moment::Start:
        return false;
    case Moment::Connected:
        return std::holds_alternative<pda::PdaEvent>(event) &&
               std::holds_alternative<pda::DeviceConnected>(std::get<pda::PdaEvent>(event));
    case Moment::PdaProgress:
        return std::holds_alternative<pda::PdaEvent>(event) &&
               std::holds_alternative<pda::PercentReached>(std::get<pda::PdaEvent>(event));
    case Moment::PortWait:
        return std::holds_alternative<ModemPortWait>(event);
    case Moment::PhonePart:
        return std::holds_alternative<phone::PhoneRunEvent>(event) &&
               std::holds_alternative<phone::PartStarted>(std::get<phone::PhoneRunEvent>(event));
    }
    return false;
}

class Heard : public HandsetEventSink {
public:
    void Post(const HandsetEvent& event) override {
        if (std::holds_alternative<RunFinished>(event))
            ends.push_back(std::get<RunFinished>(event));
        else if (!ends.empty())
            afterEnd = true;
        if (onEvent)
            onEvent(event);
    }
    std::vector<RunFinished> ends;
    bool afterEnd = false;
    std::function<void(const HandsetEvent&)> onEvent;
};

TEST(WholeRun, EndsOnceWithTheVerdictOfTheHalfThatEndedIt) {
    test::TempDir dir;
    const auto samples = samples::WriteSampleSet(dir.File("set"));
    ASSERT_TRUE(samples) << samples.Error();
    auto library = phone::LoadDownloadLibrary(MARLOW_STANDIN_LIBRARY);
    ASSERT_TRUE(library) << library.Error();
    using enum Verdict;
    const RunFinished passedPhone{{Passed, ""}, Half::Phone};
    const Row rows[] = {
        {"both halves pass", RunMode::Total, {}, {}, Moment::Never, Act::None, passedPhone},
        {"the PDA half alone",
         RunMode::PdaOnly,
         {},
         {},
         Moment::Never,
         Act::None,
         {{Passed, ""}, Half::Pda}},
        {"the phone half alone", RunMode::PhoneOnly, {}, {}, Moment::Never, Act::None, passedPhone},
        {"the PDA half fails",
         RunMode::Total,
         {.nakAtAnswer = 1},
         {},
         Moment::Never,
         Act::None,
         {{Failed, "ERASE_RAM_CMD: the device answered NAK"}, Half::Pda}},
        {"the phone half fails",
         RunMode::Total,
         {},
         {.failPart = 1},
         Moment::Never,
         Act::None,
         {{Failed, "Flash write failed: psi.flb"}, Half::Phone}},
        {"a stop in the PDA half",
         RunMode::Total,
         {},
         {},
         Moment::PdaProgress,
         Act::Stop,
         {{Stopped, "stopped"}, Half::Pda}},
        {"a stop in the port wait",
         RunMode::Total,
         {},
         {},
         Moment::PortWait,
         Act::Stop,
         {{Stopped, "stopped"}, Half::Phone}},
        {"a stop in the phone half",
         RunMode::Total,
         {},
         {},
         Moment::PhonePart,
         Act::Stop,
         {{Stopped, "stopped"}, Half::Phone}},
        {"removed in the PDA half",
         RunMode::Total,
         {.disconnectAfterBytes = 2000},
         {},
         Moment::Never,
         Act::None,
         {{DeviceRemoved, "the handset was removed during LAST_DATA_IN_RECORD"}, Half::Pda}},
        {"removed in the phone half",
         RunMode::Total,
         {},
         {.vanishAtPart = 2},
         Moment::Never,
         Act::None,
         {{Failed, "The modem link has gone (FileBegin)"}, Half::Phone}},
        {"no modem port",
         RunMode::Total,
         {},
         {},
         Moment::PortWait,
         Act::PortGone,
         {{Failed, "the modem's port did not appear"}, Half::Phone}},
        {"a port that is no modem's",
         RunMode::Total,
         {},
         {},
         Moment::PortWait,
         Act::NoModem,
         {{Failed, "the modem port could not be opened"}, Half::Phone}},
        {"a modem port that appears and vanishes",
         RunMode::Total,
         {},
         {.vanishAtPart = 1},
         Moment::Never,
         Act::None,
         {{Failed, "The modem link has gone (FileBegin)"}, Half::Phone}},
        {"a boot loader that does not open",
         RunMode::Total,
         {},
         {},
         Moment::Start,
         Act::Unplug,
         {{Failed, "the handset's boot loader could not be opened"}, Half::Pda, Ending::NotOpened}},
        // Last: the list stays gone.
        {"the list gone as the download begins",
         RunMode::Total,
         {},
         {},
         Moment::Connected,
         Act::ListGone,
         {{Failed, "the list cannot be opened"}, Half::Pda, Ending::ListGone}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Owner owner;
        ModemPorts ports;
        ports.path = dir.File("modem");
        emulators::ModemEmulatorOptions modemOptions;
        modemOptions.faults = row.modem;
        auto modem = emulators::ModemEmulator::Start(ports.path, modemOptions);
        ASSERT_TRUE(modem) << modem.Error();
        emulators::PdaBootLoaderEmulator bootLoader({.faults = row.pda});
        emulators::InProcessUsbPair pair = emulators::MakeInProcessUsbPair("handset", "inproc:1");
        emulators::AttachEmulator(*pair.device, bootLoader);
        phone::PhoneEngineSetup engine;
        engine.owner = phone::PhoneOwner::FrontPanel;
        engine.library = library->get();
        engine.clock = &owner;
        engine.ownerThread = &owner;
        engine.ports = &ports;
        RunPhoneEngine phone(std::move(engine));
        phone::PhoneFileSet files; // a phone-only run's, from the package
        if (row.mode == RunMode::PhoneOnly) {
            ASSERT_TRUE(phone::LoadPhonePackage(samples->phonePackage, files).Succeeded());
        }
        Heard heard;
        WholeRun run({.mode = row.mode,
                      .pda = {.downloadPath = samples->list},
                      .phoneFiles = files,
                      .phone = &phone,
                      .ownerThread = &owner,
                      .openRetry = {.attempts = 1, .pause = {}, .wait = {}},
                      .events = &heard});
        bool acted = false;
        heard.onEvent = [&](const HandsetEvent& event) {
            if (acted || !At(row.moment, event))
                return;
            acted = true;
            if (row.act == Act::Stop)
                run.Abandon({Stopped, "stopped"});
            else if (row.act == Act::PortGone)
                ports.present = false;
            else if (row.act == Act::NoModem)
                ports.path = samples->phonePackage;
            else if (row.act == Act::ListGone)
                std::filesystem::remove(samples->list);
        };
        if (row.act == Act::Unplug)
            pair.device->Disconnect();
        run.Start(std::move(pair.host));
        bool leftTold = false;
        for (int step = 0; heard.ends.empty() && step < 20000; ++step) {
            if (!leftTold && bootLoader.LeftBus()) {
                leftTold = true;
                run.Removed("inproc:1");
            } else if (owner.RunAll() == 0) {
                if (owner.running.contains(phone::PhoneTimer::PortPoll))
                    phone.Engine().OnTimer(phone::PhoneTimer::PortPoll);
                else if (!owner.WaitAndRunOne())
                    break;
            }
        }
        owner.RunAll();
        EXPECT_EQ(heard.ends, std::vector<RunFinished>{row.expected});
        EXPECT_FALSE(heard.afterEnd);
    }
}

} // namespace
} // namespace marlow::handset
