#pragma once
// A phone engine wired to fakes, with a package of four files on disk.

#include "phone/phone_engine.h"
#include "phone_fakes.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace marlow::phone::test {

class PhoneEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"psi.flb", "slb.flb", "modem.fls", "modem.eep"})
            marlow::test::WriteFile(dir.File(name), std::string("data of ") + name);
        marlow::test::WriteFile(dir.File("modem.brx"),
                                "+psi.flb\n+slb.flb\n+modem.fls\n+modem.eep\n");
    }

    // `given`: a port the owner names, else the one the scan discovers.
    void MakeEngine(PhoneOwner owner, PhonePortLocator* given = nullptr) {
        engine.reset(); // a second run's engine: the first lets go of its port list first
        const std::size_t capacity =
            owner == PhoneOwner::MainWindow ? kMainWindowPortList : kFrontPanelPortList;
        locator = std::make_unique<DiscoveredPhonePort>(ports, "/dev/ttyACM%i", capacity);
        PhoneEngineSetup setup;
        setup.owner = owner;
        out.owner = owner;
        setup.library = &library;
        setup.events = &out;
        setup.clock = &clock;
        setup.ownerThread = &ownerThread;
        setup.ports = given ? given : locator.get();
        setup.phoneSelected = [this] { return selected; };
        engine = std::make_unique<PhoneEngine>(std::move(setup));
        calls.clear();
    }

    // The panel's files come from a list's phone group, not from a package.
    void GivePanelFiles() {
        PhoneFileSet& files = engine->Files();
        files.Assign(PhoneFileRole::PsiLoader, "psi.flb", File("psi.flb"));
        files.Assign(PhoneFileRole::SecondStageLoader, "slb.flb", File("slb.flb"));
        files.Assign(PhoneFileRole::Firmware, "modem.fls", File("modem.fls"));
        files.Assign(PhoneFileRole::Eeprom, "modem.eep", File("modem.eep"));
    }

    // The owner's port wait: the main window's for the package, the panel's
    // for the files its list gave.
    void StartRun(PhoneOwner owner) {
        MakeEngine(owner);
        if (owner == PhoneOwner::FrontPanel) {
            GivePanelFiles();
            engine->BeginPanelPortWait();
            return;
        }
        ASSERT_TRUE(engine->StartMainWindowRun(File("modem.brx"), PhoneStart::Command));
    }

    // The phone's port turns up and the next poll finds it.
    void PlugPhone() {
        ports.names = {"ACM3"};
        engine->PollPort();
    }

    // Start, find the port at once, open and boot.
    void BootRun(PhoneOwner owner = PhoneOwner::MainWindow) {
        StartRun(owner);
        PlugPhone();
        ASSERT_EQ(engine->Inst().state, stBooting);
    }

    // Reports "done" until the engine is in `state`.
    void AdvanceTo(PhoneState state) {
        while (engine->Inst().state != state && engine->Inst().state != stIdle)
            Report(IFWD_DL_OK);
        ASSERT_EQ(engine->Inst().state, state);
    }

    // A run in `state` with nothing journalled yet.
    void RunInState(PhoneState state, PhoneOwner owner = PhoneOwner::MainWindow) {
        BootRun(owner);
        AdvanceTo(state);
        ClearJournals();
    }

    void Report(std::uint32_t code, const char* text = "") {
        engine->ReceiveReport(1, code, text);
        ownerThread.RunAll();
    }

    std::string File(const std::string& name) const { return dir.File(name); }

    void ClearJournals() {
        calls.clear();
        out.ClearCalls();
        out.events.clear();
    }

    // The run's ends among the recorded events: exactly one per run.
    std::vector<RunFinished> Ends() const {
        std::vector<RunFinished> ends;
        for (const PhoneRunEvent& event : out.events)
            if (const auto* end = std::get_if<RunFinished>(&event))
                ends.push_back(*end);
        return ends;
    }

    marlow::test::TempDir dir;
    Journal calls;
    FakeLibrary library{calls};
    FakeClock clock{calls};
    RecordingPhoneEvents out;
    ManualOwnerThread ownerThread;
    FakePortSource ports;
    std::unique_ptr<DiscoveredPhonePort> locator;
    bool selected = true;
    std::unique_ptr<PhoneEngine> engine;
};

} // namespace marlow::phone::test
