#include "phone_fakes.h"

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

void ManualOwnerThread::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    posted_.notify_all();
}

int ManualOwnerThread::RunAll() {
    int ran = 0;
    for (; std::function<void()> task = Take(std::chrono::seconds(0)); ++ran)
        task();
    return ran;
}

bool ManualOwnerThread::WaitAndRunOne(std::chrono::milliseconds patience) {
    const std::function<void()> task = Take(patience);
    if (task)
        task();
    return task != nullptr;
}

std::function<void()> ManualOwnerThread::Take(std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_);
    if (!posted_.wait_for(lock, patience, [this] { return !tasks_.empty(); }))
        return nullptr;
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    return task;
}

} // namespace marlow::phone::test
