#pragma once
// Stand-ins for everything the phone engine talks to, each writing what it
// was asked into a journal so tests can compare exact sequences.

#include "phone/owner_thread.h"
#include "phone/phone_clock.h"
#include "phone/phone_engine.h"
#include "phone/phone_library.h"
#include "phone/phone_ports.h"
#include "skins/front_panel_skin.h"
#include "skins/main_window_skin.h"
#include "support/hang_bound.h"
#include "support/recording_skin.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace marlow::phone::test {

using Journal = std::vector<std::string>;

// Records a run's events, and what its owner's skin makes of them (see
// RecordingSkin for the lines), and "end|Succeeded" when the owner hears the
// run's end.
class RecordingPhoneEvents : public PhoneEventSink, public marlow::test::RecordingSkin {
public:
    void Post(const PhoneRunEvent& event) override;

    PhoneOwner owner = PhoneOwner::MainWindow; // whose skin shows the events
    std::vector<PhoneRunEvent> events;
    std::vector<PhoneRunEnd> ends;

private:
    app::MainWindowSkin mainWindow_{*this};
    panel::FrontPanelSkin frontPanel_{*this};
    PhoneRunEnds ends_;
};

class FakeClock : public PhoneClock {
public:
    explicit FakeClock(Journal& journal) : journal_(journal) {}
    void StartTimer(PhoneTimer timer, std::chrono::milliseconds period) override {
        running_.insert(timer);
        ++starts_[timer];
        journal_.push_back("start " + Name(timer) + " " + std::to_string(period.count()));
    }
    void StopTimer(PhoneTimer timer) override {
        running_.erase(timer);
        journal_.push_back("stop " + Name(timer));
    }
    void Pause(std::chrono::milliseconds duration) override {
        journal_.push_back("pause " + std::to_string(duration.count()));
    }
    std::chrono::steady_clock::time_point Now() const override { return now; }
    bool Running(PhoneTimer timer) const { return running_.contains(timer); }
    int Starts(PhoneTimer timer) const { return starts_.contains(timer) ? starts_.at(timer) : 0; }

    std::chrono::steady_clock::time_point now{};

private:
    static std::string Name(PhoneTimer timer) {
        return timer == PhoneTimer::PortPoll ? "PortPoll" : "BootWatchdog";
    }
    Journal& journal_;
    std::set<PhoneTimer> running_;
    std::map<PhoneTimer, int> starts_;
};

// The owner's event queue, drained by the test.
class ManualOwnerThread : public OwnerThread {
public:
    void Post(std::function<void()> task) override;
    // Runs what is queued now and what those tasks queue; returns how many ran.
    int RunAll();
    // Blocks until a task is queued, then runs it. False when none came in
    // `patience`: a guard against a hung test, not a measured time.
    bool WaitAndRunOne(std::chrono::milliseconds patience = marlow::test::kStuckAfter);

private:
    // The next task, waiting for one at most `patience`; none when none came.
    std::function<void()> Take(std::chrono::milliseconds patience);
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

// An in-process library: every call is journalled; results and status texts
// are set per entry point.
class FakeLibrary : public PhoneLibrary {
public:
    explicit FakeLibrary(Journal& journal) : journal_(journal) {}

    void AttachReports(ReportReceiver& r, StatusText& status) override {
        receiver = &r;
        journal_.push_back("attach");
        status.Set("set-up text");
    }
    void DetachReports() override { receiver = nullptr; }
    std::uint32_t OpenCommPort(std::uint8_t channel, const std::string& port, std::uint32_t baud,
                               StatusText& status) override {
        journal_.push_back("open " + std::to_string(channel) + " " + port + " " +
                           std::to_string(baud));
        if (openThrows)
            throw std::runtime_error("port driver fault");
        return Answer("open", status);
    }
    std::uint32_t CloseCommPort(std::uint8_t channel, StatusText& status) override {
        return Call("close", channel, "", status);
    }
    std::uint32_t BootTarget(std::uint8_t channel, const std::string& flsPath, ControlBlock& block,
                             StatusText& status) override {
        const bool zeros = std::all_of(block.begin(), block.end(), [](auto b) { return b == 0; });
        return Call("boot", channel, flsPath + (zeros ? "" : " (control block not zero)"), status);
    }
    std::uint32_t DownloadFlsFile(std::uint8_t channel, const std::string& path,
                                  StatusText& status) override {
        journal_.push_back("fls " + std::to_string(channel) + " " + path);
        return Answer("fls " + std::filesystem::path(path).filename().string(), status);
    }
    std::uint32_t DownloadEepFile(std::uint8_t channel, const std::string& path,
                                  std::uint32_t option, StatusText& status) override {
        return Call("eep", channel, path + " " + std::to_string(option), status);
    }
    std::uint32_t AbortProcess(std::uint8_t channel, StatusText& status) override {
        return Call("abort", channel, "", status);
    }
    std::uint32_t EndOfProcess(std::uint8_t channel, StatusText& status) override {
        journal_.push_back("end of process " + std::to_string(channel));
        if (onEndOfProcess)
            onEndOfProcess();
        return Answer("end of process", status);
    }

    // Results and status texts by entry name ("open", "boot", "fls psi.flb", "eep", ...).
    std::map<std::string, std::uint32_t> results;
    std::map<std::string, std::string> statusTexts;
    bool openThrows = false;
    std::function<void()> onEndOfProcess;
    ReportReceiver* receiver = nullptr;

private:
    // Journals "entry channel[ arguments]" and answers as set for `entry`.
    std::uint32_t Call(const std::string& entry, std::uint8_t channel, const std::string& arguments,
                       StatusText& status) {
        journal_.push_back(entry + " " + std::to_string(channel) +
                           (arguments.empty() ? "" : " " + arguments));
        return Answer(entry, status);
    }
    std::uint32_t Answer(const std::string& entry, StatusText& status) {
        if (const auto text = statusTexts.find(entry); text != statusTexts.end())
            status.Set(text->second);
        const auto result = results.find(entry);
        return result == results.end() ? 0 : result->second;
    }
    Journal& journal_;
};

// A fixed list of names, each port at /dev/tty<name>; with `watchable` it
// also lets a wait sleep, and the test speaks for the watch through `changed`.
class FakePortSource : public PhonePortSource {
public:
    std::vector<SystemPort> Ports() override {
        ++scans;
        std::vector<SystemPort> ports;
        for (std::size_t i = 0; i < names.size(); ++i)
            ports.push_back({.name = names[i],
                             .path = "/dev/tty" + names[i],
                             .usbPortPath = i < usbPortPaths.size() ? usbPortPaths[i] : ""});
        return ports;
    }
    bool WatchPorts(std::function<void()> onChange) override {
        changed = watchable ? std::move(onChange) : nullptr;
        return watchable;
    }
    void StopWatchingPorts() override { changed = nullptr; }
    bool PortsWatched() const override { return changed != nullptr; }

    std::vector<std::string> names;
    std::vector<std::string> usbPortPaths; // beside the names, where known
    int scans = 0;
    bool watchable = false;
    std::function<void()> changed;
};

} // namespace marlow::phone::test
