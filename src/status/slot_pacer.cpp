#include "status/slot_pacer.h"

#include <algorithm>

namespace marlow::status {

void SlotPacer::Offer(const SlotStatus& status) {
    const auto [it, added] = slots_.try_emplace(status.slot, Slot{.newest = status});
    if (added || it->second.newest == status)
        return;
    it->second.newest = status;
    it->second.unsent = true;
}

std::optional<SlotPacer::Clock::time_point> SlotPacer::DueAt(const Slot& slot) const {
    if (!slot.unsent)
        return std::nullopt;
    if (!slot.sentAt)
        return Clock::time_point::min();
    return *slot.sentAt + interval_;
}

std::vector<SlotStatus> SlotPacer::Due(Clock::time_point now) {
    std::vector<SlotStatus> due;
    for (auto& [name, slot] : slots_) {
        const std::optional<Clock::time_point> at = DueAt(slot);
        if (!at || *at > now)
            continue;
        due.push_back(slot.newest);
        slot.unsent = false;
        slot.sentAt = now;
    }
    return due;
}

std::optional<SlotPacer::Clock::time_point> SlotPacer::NextDue() const {
    std::optional<Clock::time_point> next;
    for (const auto& [name, slot] : slots_)
        if (const std::optional<Clock::time_point> at = DueAt(slot))
            next = next ? std::min(*next, *at) : *at;
    return next;
}

void SlotPacer::ResendAll() {
    // Each slot keeps its time: a state sent just before the connection
    // broke still spaces the next one.
    for (auto& [name, slot] : slots_)
        slot.unsent = true;
}

bool SlotPacer::Waiting() const {
    return NextDue().has_value();
}

} // namespace marlow::status
