#pragma once
// Reports on their way from the library's thread to the owner's. Each
// report is taken once and in the order it came; a later report never
// overwrites one that is still waiting, so a "done" cannot be lost behind a
// burst of progress. Consecutive progress reports fold into the newest one,
// which keeps a chatty library from filling memory.

#include "phone/phone_states.h"

#include <deque>
#include <mutex>
#include <optional>

namespace marlow::phone {

class ReportMailbox {
public:
    // Any thread.
    void Put(PhoneReport report);
    // The oldest waiting report, marked handled; nullopt when none waits.
    std::optional<PhoneReport> TakeNext();
    std::size_t Waiting() const;
    // Forgets every waiting report (those of a process that was abandoned).
    void Clear();

private:
    mutable std::mutex mutex_;
    std::deque<PhoneReport> reports_;
};

// The text as the report keeps it: empty for a missing text, and cut to the
// report's field so a runaway string from the library cannot grow unbounded.
std::string ReportText(const char* text);

} // namespace marlow::phone
