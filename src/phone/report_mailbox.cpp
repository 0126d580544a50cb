#include "phone/report_mailbox.h"

#include "phone/ifwd_download_dll.h"

#include <cstring>

namespace marlow::phone {

void ReportMailbox::Put(PhoneReport report) {
    const std::lock_guard lock(mutex_);
    const bool foldsIntoLast = report.code == IFWD_DL_Progress && !reports_.empty() &&
                               reports_.back().code == IFWD_DL_Progress;
    if (foldsIntoLast)
        reports_.back() = std::move(report);
    else
        reports_.push_back(std::move(report));
}

std::optional<PhoneReport> ReportMailbox::TakeNext() {
    const std::lock_guard lock(mutex_);
    if (reports_.empty())
        return std::nullopt;
    PhoneReport report = std::move(reports_.front());
    reports_.pop_front();
    report.handled = true;
    return report;
}

void ReportMailbox::Clear() {
    const std::lock_guard lock(mutex_);
    reports_.clear();
}

std::size_t ReportMailbox::Waiting() const {
    const std::lock_guard lock(mutex_);
    return reports_.size();
}

std::string ReportText(const char* text) {
    if (text == nullptr)
        return {};
    return std::string(text, ::strnlen(text, kMaxReportText));
}

} // namespace marlow::phone
