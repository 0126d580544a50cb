#pragma once
// The library's report function is a plain C pointer without a user pointer,
// and its reports arrive on the library's own threads. Each owner therefore
// takes a route: a slot with a C function of its own that forwards to the
// owner's receiver. Closing a route waits for a delivery in progress, so a
// receiver never hears from the library after its route has closed.

#include "phone/ifwd_download_dll.h"
#include "phone/phone_library.h"

#include <cstddef>

namespace marlow::phone {

class ReportRoute {
public:
    static constexpr std::size_t kSlots = 8;

    ReportRoute() = default;
    // A free slot bound to `receiver`, or an unbound route when every slot
    // is taken (Bound() is false).
    static ReportRoute Open(ReportReceiver& receiver);

    ReportRoute(ReportRoute&& other) noexcept;
    ReportRoute& operator=(ReportRoute&& other) noexcept;
    ReportRoute(const ReportRoute&) = delete;
    ReportRoute& operator=(const ReportRoute&) = delete;
    ~ReportRoute() { Close(); }

    bool Bound() const { return slot_ != kUnbound; }
    // The function to register with the library; null when unbound.
    IFWD_DL_report Function() const;
    void Close();

private:
    static constexpr std::size_t kUnbound = kSlots;
    explicit ReportRoute(std::size_t slot) : slot_(slot) {}
    std::size_t slot_ = kUnbound;
};

} // namespace marlow::phone
