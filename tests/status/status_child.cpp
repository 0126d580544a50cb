// A station's publisher in a process of its own, for the test that kills
// it: status_child ADDRESS STATION SLOT publishes the slot's state, says
// "ready" once the broker has acknowledged it and `online`, and waits to be
// killed.

#include "status/status_publisher.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <unistd.h>

int main(int argc, char** argv) {
    using namespace marlow::status;
    if (argc != 4)
        return 2;
    std::mutex mutex;
    std::condition_variable changed;
    PublisherStatus last;
    auto publisher = StatusPublisher::Start({.broker = {.address = argv[1]},
                                             .station = argv[2],
                                             .statusChanged = [&](const PublisherStatus& status) {
                                                 const std::lock_guard lock(mutex);
                                                 last = status;
                                                 changed.notify_all();
                                             }});
    if (!publisher) {
        std::fprintf(stderr, "%s\n", publisher.Error().c_str());
        return 1;
    }
    (*publisher)->Slot({.slot = argv[3], .state = SlotState::Phone, .percent = 7});
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return last.delivered >= 2; });
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}
