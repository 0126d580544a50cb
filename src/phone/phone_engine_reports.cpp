// The library's reports: copied on its thread, acted on in the owner's.

#include "phone/phone_engine.h"

#include <cctype>

namespace marlow::phone {
namespace {

// The percentage as the modem tools read it: leading blanks, a sign, then
// digits up to the first other character; no digits give 0.
int DecimalValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), 1'000'000'000);
    return static_cast<int>(negative ? -value : value);
}

} // namespace

void PhoneEngine::ReceiveReport(std::uint8_t channel, std::uint32_t code, const char* text) {
    mailbox_.Put(PhoneReport{.channel = channel, .code = code, .text = ReportText(text)});
    setup_.ownerThread->Post([alive = std::weak_ptr<int>(alive_), this] {
        if (alive.lock())
            HandleReportMessage();
    });
}

// A run with a boot watchdog leaves a stalled first boot to it: only "done"
// gets through then. After its one re-boot, or once the PSI loader goes, an
// error is the run's end; progress shows from the second-stage loader on.
bool PhoneEngine::Dropped(const PhoneReport& report) const {
    if (!policy_.onlyDoneWhileBooting || report.code == IFWD_DL_OK)
        return false;
    if (report.code == IFWD_DL_Error)
        return inst_.state == stBooting && !reBooted_;
    return inst_.state == stBooting || inst_.state == stDownloadPsi;
}

bool PhoneEngine::HandleReportMessage() {
    std::optional<PhoneReport> report = mailbox_.TakeNext();
    if (!report || !setup_.phoneSelected() || Dropped(*report))
        return false;

    if (!status_.Empty())
        Post(StatusBeforeReport{std::string(status_.View())});
    status_.Clear();

    Post(LibraryReport{report->code, report->text, DecimalValue(report->text)});
    switch (report->code) {
    case IFWD_DL_OK:
        HandlePhoneEvent(EVT_DONE, report->text);
        break;
    case IFWD_DL_Error:
        // A failure must say something, even when the library did not.
        HandlePhoneEvent(EVT_ERROR, report->text.empty()
                                        ? "The modem download library reported a failure "
                                          "without saying why."
                                        : report->text);
        break;
    default:
        break;
    }
    return true;
}

} // namespace marlow::phone
