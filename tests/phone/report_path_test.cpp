// The way reports travel from the library's thread to the owner's: the
// mailbox keeps every report in order, the route delivers to its owner only.

#include "phone/report_mailbox.h"
#include "phone/report_router.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace marlow::phone::test {
namespace {

TEST(ReportMailbox, ReportsComeOutOnceAndInOrder) {
    ReportMailbox mailbox;
    constexpr int kReports = 20000;
    std::thread library([&] {
        for (int i = 0; i < kReports; ++i)
            mailbox.Put({1, static_cast<std::uint32_t>(i % 2), std::to_string(i)});
    });
    std::vector<int> seen;
    while (static_cast<int>(seen.size()) < kReports) {
        if (std::optional<PhoneReport> report = mailbox.TakeNext()) {
            EXPECT_TRUE(report->handled);
            seen.push_back(std::stoi(report->text));
        }
    }
    library.join();
    for (int i = 0; i < kReports; ++i)
        ASSERT_EQ(seen[i], i);
    EXPECT_FALSE(mailbox.TakeNext().has_value());
}

TEST(ReportMailbox, ProgressFoldsButNeverSwallowsDone) {
    ReportMailbox mailbox;
    mailbox.Put({1, 2, "10"});
    mailbox.Put({1, 2, "20"});
    mailbox.Put({1, 0, ""});
    mailbox.Put({1, 2, "5"});
    EXPECT_EQ(mailbox.Waiting(), 3u);
    EXPECT_EQ(mailbox.TakeNext()->text, "20");
    EXPECT_EQ(mailbox.TakeNext()->code, 0u);
    EXPECT_EQ(mailbox.TakeNext()->text, "5");
}

TEST(ReportText, MissingTextIsEmptyAndLongTextIsCut) {
    EXPECT_EQ(ReportText(nullptr), "");
    const std::string longText(5000, 'x');
    EXPECT_EQ(ReportText(longText.c_str()).size(), kMaxReportText);
}

struct CountingReceiver : ReportReceiver {
    void ReceiveReport(std::uint8_t channel, std::uint32_t code, const char* text) override {
        ++count;
        last = std::to_string(channel) + "/" + std::to_string(code) + "/" + text;
    }
    std::atomic<int> count{0};
    std::string last;
};

TEST(ReportRoute, EachOwnerHearsOnlyItsOwnFunction) {
    CountingReceiver main;
    CountingReceiver panel;
    ReportRoute mainRoute = ReportRoute::Open(main);
    ReportRoute panelRoute = ReportRoute::Open(panel);
    ASSERT_TRUE(mainRoute.Bound() && panelRoute.Bound());
    ASSERT_NE(mainRoute.Function(), panelRoute.Function());
    mainRoute.Function()(1, 2, "57");
    EXPECT_EQ(main.last, "1/2/57");
    EXPECT_EQ(panel.count, 0);
}

TEST(ReportRoute, SlotsRunOutWithoutCrashingAndComeBack) {
    CountingReceiver receiver;
    std::vector<ReportRoute> routes;
    for (std::size_t i = 0; i < ReportRoute::kSlots; ++i)
        routes.push_back(ReportRoute::Open(receiver));
    ReportRoute extra = ReportRoute::Open(receiver);
    EXPECT_FALSE(extra.Bound());
    EXPECT_EQ(extra.Function(), nullptr);
    routes.pop_back();
    EXPECT_TRUE(ReportRoute::Open(receiver).Bound());
}

TEST(ReportRoute, CloseWaitsForADeliveryFromAnotherThread) {
    CountingReceiver receiver;
    ReportRoute route = ReportRoute::Open(receiver);
    const IFWD_DL_report function = route.Function();
    std::atomic<bool> done{false};
    std::thread library([&] {
        while (!done)
            function(1, 2, "1");
    });
    while (receiver.count == 0) {
    }
    route.Close();
    const int afterClose = receiver.count;
    done = true;
    library.join();
    EXPECT_EQ(receiver.count, afterClose);
}

} // namespace
} // namespace marlow::phone::test
