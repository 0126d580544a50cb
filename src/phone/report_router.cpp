#include "phone/report_router.h"

#include <array>
#include <mutex>
#include <utility>

namespace marlow::phone {
namespace {

struct Registry {
    std::mutex mutex;
    std::array<ReportReceiver*, ReportRoute::kSlots> receivers{};
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

// Runs on the library's thread, behind its C boundary: nothing may leave it
// by exception. A report that cannot be taken (memory gone) is dropped; the
// owner's watchdog or its operator's stop deals with a run that stalls.
void Deliver(std::size_t slot, std::uint8_t channel, std::uint32_t code,
             const char* text) noexcept {
    try {
        Registry& registry = TheRegistry();
        const std::lock_guard lock(registry.mutex);
        if (ReportReceiver* receiver = registry.receivers[slot])
            receiver->ReceiveReport(channel, code, text);
    } catch (...) {
    }
}

template <std::size_t Slot>
void Trampoline(std::uint8_t channel, std::uint32_t code, const char* text) noexcept {
    Deliver(Slot, channel, code, text);
}

template <std::size_t... Slots>
constexpr std::array<IFWD_DL_report, sizeof...(Slots)>
MakeTrampolines(std::index_sequence<Slots...>) {
    return {&Trampoline<Slots>...};
}

constexpr auto kTrampolines = MakeTrampolines(std::make_index_sequence<ReportRoute::kSlots>{});

} // namespace

ReportRoute ReportRoute::Open(ReportReceiver& receiver) {
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.mutex);
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        if (registry.receivers[slot] == nullptr) {
            registry.receivers[slot] = &receiver;
            return ReportRoute(slot);
        }
    }
    return ReportRoute();
}

ReportRoute::ReportRoute(ReportRoute&& other) noexcept
    : slot_(std::exchange(other.slot_, kUnbound)) {}

ReportRoute& ReportRoute::operator=(ReportRoute&& other) noexcept {
    if (this != &other) {
        Close();
        slot_ = std::exchange(other.slot_, kUnbound);
    }
    return *this;
}

IFWD_DL_report ReportRoute::Function() const {
    return Bound() ? kTrampolines[slot_] : nullptr;
}

void ReportRoute::Close() {
    if (!Bound())
        return;
    Registry& registry = TheRegistry();
    const std::lock_guard lock(registry.mutex);
    registry.receivers[slot_] = nullptr;
    slot_ = kUnbound;
}

} // namespace marlow::phone
