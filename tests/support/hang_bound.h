#pragma once
// How long a test waits for what should happen at once (a reply, an event,
// a thread's end) before it calls the run stuck: far longer than a busy
// machine's delay, far shorter than ctest's own bound, so that a hang is
// reported within seconds and names the wait that hung.

#include <chrono>
#include <future>

namespace marlow::test {

inline constexpr std::chrono::milliseconds kStuckAfter{5000};
// The same for Qt's waits, which take milliseconds as an int.
inline constexpr int kStuckAfterMs = static_cast<int>(kStuckAfter.count());

// Runs `work` on a thread of its own; when it has not ended within
// kStuckAfter, `unstick` (a stop request, an interrupt) is called so the
// test can go on to report the hang instead of waiting on it for ever.
template <typename Work, typename Unstick> auto Unstuck(Work work, Unstick unstick) {
    auto running = std::async(std::launch::async, std::move(work));
    if (running.wait_for(kStuckAfter) != std::future_status::ready)
        unstick();
    return running.get();
}

} // namespace marlow::test
