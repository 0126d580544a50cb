#include "phone_fakes.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace marlow::phone::test {

void RecordingPhoneEvents::Post(const PhoneRunEvent& event) {
    events.push_back(event);
    // The owner hears the end before the skin's last (modal) box.
    if (const std::optional<PhoneRunEnd> end = ends_.Follow(event)) {
        ends.push_back(*end);
        const char* names[] = {"Succeeded", "Failed", "PortNotFound"};
        Add(std::string("end|") + names[static_cast<int>(*end)]);
    }
    if (owner == PhoneOwner::FrontPanel)
        frontPanel_.Show(event);
    else
        mainWindow_.Show(event);
}

namespace {
const char* TimerName(PhoneTimer timer) {
    return timer == PhoneTimer::PortPoll ? "PortPoll" : "BootWatchdog";
}
} // namespace

void FakeClock::StartTimer(PhoneTimer timer, std::chrono::milliseconds period) {
    running_[timer] = true;
    ++starts_[timer];
    journal_.push_back(std::string("start ") + TimerName(timer) + " " +
                       std::to_string(period.count()));
}

void FakeClock::StopTimer(PhoneTimer timer) {
    running_[timer] = false;
    journal_.push_back(std::string("stop ") + TimerName(timer));
}

void FakeClock::Pause(std::chrono::milliseconds duration) {
    journal_.push_back("pause " + std::to_string(duration.count()));
}

bool FakeClock::Running(PhoneTimer timer) const {
    const auto it = running_.find(timer);
    return it != running_.end() && it->second;
}

int FakeClock::Starts(PhoneTimer timer) const {
    const auto it = starts_.find(timer);
    return it == starts_.end() ? 0 : it->second;
}

void ManualOwnerThread::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    posted_.notify_all();
}

int ManualOwnerThread::RunAll() {
    int ran = 0;
    for (;;) {
        std::function<void()> task;
        {
            const std::lock_guard lock(mutex_);
            if (tasks_.empty())
                return ran;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        ++ran;
    }
}

bool ManualOwnerThread::WaitAndRunOne(std::chrono::seconds patience) {
    std::function<void()> task;
    {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_for(lock, patience, [this] { return !tasks_.empty(); }))
            return false;
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    task();
    return true;
}

std::size_t ManualOwnerThread::Queued() const {
    const std::lock_guard lock(mutex_);
    return tasks_.size();
}

void FakeLibrary::AttachReports(ReportReceiver& r, StatusText& status) {
    receiver = &r;
    journal_.push_back("attach");
    status.Set("set-up text");
}

void FakeLibrary::DetachReports() {
    receiver = nullptr;
}

std::uint32_t FakeLibrary::Answer(const std::string& entry, StatusText& status) {
    if (const auto text = statusTexts.find(entry); text != statusTexts.end())
        status.Set(text->second);
    const auto result = results.find(entry);
    return result == results.end() ? 0 : result->second;
}

std::uint32_t FakeLibrary::OpenCommPort(std::uint8_t channel, const std::string& port,
                                        std::uint32_t baud, StatusText& status) {
    journal_.push_back("open " + std::to_string(channel) + " " + port + " " + std::to_string(baud));
    if (openThrows)
        throw std::runtime_error("port driver fault");
    return Answer("open", status);
}

std::uint32_t FakeLibrary::CloseCommPort(std::uint8_t channel, StatusText& status) {
    journal_.push_back("close " + std::to_string(channel));
    return Answer("close", status);
}

std::uint32_t FakeLibrary::BootTarget(std::uint8_t channel, const std::string& flsPath,
                                      ControlBlock& controlBlock, StatusText& status) {
    const bool zeros =
        std::all_of(controlBlock.begin(), controlBlock.end(), [](auto b) { return b == 0; });
    journal_.push_back("boot " + std::to_string(channel) + " " + flsPath +
                       (zeros ? "" : " (control block not zero)"));
    return Answer("boot", status);
}

std::uint32_t FakeLibrary::DownloadFlsFile(std::uint8_t channel, const std::string& path,
                                           StatusText& status) {
    journal_.push_back("fls " + std::to_string(channel) + " " + path);
    return Answer("fls " + std::filesystem::path(path).filename().string(), status);
}

std::uint32_t FakeLibrary::DownloadEepFile(std::uint8_t channel, const std::string& path,
                                           std::uint32_t option, StatusText& status) {
    journal_.push_back("eep " + std::to_string(channel) + " " + path + " " +
                       std::to_string(option));
    return Answer("eep", status);
}

std::uint32_t FakeLibrary::AbortProcess(std::uint8_t channel, StatusText& status) {
    journal_.push_back("abort " + std::to_string(channel));
    return Answer("abort", status);
}

std::uint32_t FakeLibrary::EndOfProcess(std::uint8_t channel, StatusText& status) {
    journal_.push_back("end of process " + std::to_string(channel));
    if (onEndOfProcess)
        onEndOfProcess();
    return Answer("end of process", status);
}

} // namespace marlow::phone::test
