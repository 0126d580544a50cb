#pragma once
// marlow-cli in a process of its own, as a script runs it; with a settings
// folder given, the user's own settings and run store stay out of the test
// (the store is then StorePath(folder)).

#include "phone/usb_tty_paths.h"
#include "support/hang_bound.h"
#include "support/qt_events.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>

namespace marlow::test {

class CliProcess {
public:
    // `deviceTreeRoot`: where the process's port search reads sys/ and dev/.
    explicit CliProcess(const std::string& settingsFolder = {},
                        const std::string& deviceTreeRoot = {}) {
        EnsureCoreApplication();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!settingsFolder.empty()) {
            environment.insert("XDG_CONFIG_HOME", QString::fromStdString(settingsFolder));
            environment.insert("XDG_DATA_HOME", QString::fromStdString(settingsFolder));
        }
        if (!deviceTreeRoot.empty())
            environment.insert(phone::kDeviceTreeRootVariable,
                               QString::fromStdString(deviceTreeRoot));
        process_.setProcessEnvironment(environment);
    }
    // Where the runs of a process given `settingsFolder` are recorded.
    static std::string StorePath(const std::string& settingsFolder) {
        return settingsFolder + "/Korvane/Marlow/runs.sqlite";
    }
    ~CliProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    void Start(const QStringList& arguments) {
        process_.start(MARLOW_CLI, arguments);
        ASSERT_TRUE(process_.waitForStarted());
    }
    // Reads stderr (stdout) until `text` has appeared; false when the process
    // ended first or went on without saying it for kStuckAfter.
    bool WaitForError(const std::string& text) { return WaitForText(err_, text); }
    bool WaitForOutput(const std::string& text) { return WaitForText(out_, text); }
    // Until `path` exists; false when the process ended first or made no
    // such file within kStuckAfter.
    bool WaitForFile(const std::string& path) {
        const auto until = std::chrono::steady_clock::now() + kStuckAfter;
        while (!std::filesystem::exists(path) && !std::filesystem::is_symlink(path)) {
            process_.waitForFinished(10); // also what tells QProcess it has ended
            if (process_.state() == QProcess::NotRunning ||
                std::chrono::steady_clock::now() > until)
                return false;
        }
        return true;
    }
    // Nothing when the process has ended already: kill(0) would signal the
    // test's own process group.
    void Interrupt(int signal = SIGINT) {
        if (const auto pid = static_cast<pid_t>(process_.processId()); pid > 0)
            ::kill(pid, signal);
    }
    // Waits for the end: the exit code, or -1 when the process crashed. A
    // run given a time of its own (its --timeout) ends within it; one still
    // going kStuckAfter after that is stuck: it is killed and the test fails.
    int Finish(std::chrono::milliseconds ownTime = {}) {
        if (!process_.waitForFinished(static_cast<int>((ownTime + kStuckAfter).count()))) {
            ADD_FAILURE() << "still running " << (ownTime + kStuckAfter).count() << " ms on";
            process_.kill();
            process_.waitForFinished();
        }
        Collect();
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    const std::string& Out() const { return out_; }
    const std::string& Err() const { return err_; }
    QProcess& Process() { return process_; }

private:
    bool WaitForText(const std::string& collected, const std::string& text) {
        const auto until = std::chrono::steady_clock::now() + kStuckAfter;
        while (collected.find(text) == std::string::npos) {
            if (process_.state() == QProcess::NotRunning ||
                std::chrono::steady_clock::now() > until)
                return false;
            process_.waitForReadyRead(100);
            Collect();
        }
        return true;
    }
    void Collect() {
        out_ += process_.readAllStandardOutput().toStdString();
        err_ += process_.readAllStandardError().toStdString();
    }

    QProcess process_;
    std::string out_;
    std::string err_;
};

} // namespace marlow::test
