#pragma once
// How often each slot's state goes out: at most once an interval a slot, the
// newest state of the slot always (the ones in between are left out, never
// the last), and a slot's first change after a quiet spell at once. Pure
// bookkeeping on the times it is given, so that what goes out can be
// reckoned without a clock.

#include "status/slot_status.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace marlow::status {

class SlotPacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit SlotPacer(std::chrono::milliseconds interval) : interval_(interval) {}

    // The newest state of its slot. One equal to the slot's newest changes
    // nothing.
    void Offer(const SlotStatus& status);
    // The states to send at `now`, each slot's newest, counted as sent then.
    std::vector<SlotStatus> Due(Clock::time_point now);
    // When the next unsent state falls due; none while all went out.
    std::optional<Clock::time_point> NextDue() const;
    // Every slot's newest state unsent again: a new connection to a broker
    // that may have lost them.
    void ResendAll();
    bool Waiting() const;

private:
    struct Slot {
        SlotStatus newest{};
        bool unsent = true;
        std::optional<Clock::time_point> sentAt{};
    };
    std::optional<Clock::time_point> DueAt(const Slot& slot) const;

    const std::chrono::milliseconds interval_;
    std::map<std::string, Slot> slots_;
};

} // namespace marlow::status
