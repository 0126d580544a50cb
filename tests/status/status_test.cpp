// The status side without a broker: what the pacer lets out and when, the
// payloads and topics read back as written, and the settings refused with
// their reasons.

#include "status/broker_settings.h"
#include "status/slot_pacer.h"
#include "status/slot_status.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace marlow::status {
namespace {

using namespace std::chrono_literals;

SlotStatus At(const std::string& slot, int percent) {
    return {.slot = slot, .state = SlotState::Pda, .file = "NK.bin", .percent = percent};
}

// A script for the pacer: at each time, offers (slot, percent) or asks
// what is due, expecting "slot:percent" of each state sent.
struct Step {
    std::chrono::milliseconds at;
    std::vector<std::pair<std::string, int>> offers{};
    std::vector<std::string> sent{};
    bool reconnect = false;
};

TEST(SlotPacer, SendsEachSlotsNewestAtMostOnceAnInterval) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"a first change goes at once", {{.at = 0ms, .offers = {{"A", 1}}, .sent = {"A:1"}}}},
        {"changes within the interval leave only the newest, at its end",
         {{.at = 0ms, .offers = {{"A", 1}}, .sent = {"A:1"}},
          {.at = 100ms, .offers = {{"A", 2}, {"A", 3}}},
          {.at = 499ms},
          {.at = 500ms, .sent = {"A:3"}},
          {.at = 700ms, .offers = {{"A", 4}}},
          {.at = 1000ms, .sent = {"A:4"}}}},
        {"a change after a quiet spell goes at once",
         {{.at = 0ms, .offers = {{"A", 1}}, .sent = {"A:1"}},
          {.at = 5000ms, .offers = {{"A", 2}}, .sent = {"A:2"}}}},
        {"the same state again is no change",
         {{.at = 0ms, .offers = {{"A", 1}}, .sent = {"A:1"}}, {.at = 600ms, .offers = {{"A", 1}}}}},
        {"slots keep their own times",
         {{.at = 0ms, .offers = {{"A", 1}}, .sent = {"A:1"}},
          {.at = 100ms, .offers = {{"B", 1}, {"A", 2}}, .sent = {"B:1"}},
          {.at = 500ms, .sent = {"A:2"}},
          {.at = 550ms, .offers = {{"B", 2}}},
          {.at = 600ms, .sent = {"B:2"}}}},
        {"a new connection sends every slot again, still spaced",
         {{.at = 0ms, .offers = {{"A", 1}, {"B", 1}}, .sent = {"A:1", "B:1"}},
          {.at = 200ms, .reconnect = true},
          {.at = 500ms, .sent = {"A:1", "B:1"}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SlotPacer pacer(500ms);
        const SlotPacer::Clock::time_point start{};
        for (const Step& step : c.steps) {
            for (const auto& [slot, percent] : step.offers)
                pacer.Offer(At(slot, percent));
            if (step.reconnect)
                pacer.ResendAll();
            std::vector<std::string> sent;
            for (const SlotStatus& status : pacer.Due(start + step.at))
                sent.push_back(status.slot + ":" + std::to_string(status.percent));
            EXPECT_EQ(sent, step.sent) << "at " << step.at.count() << " ms";
        }
        EXPECT_FALSE(pacer.Waiting()); // nothing is ever left behind
    }
}

TEST(StatusPayloads, ReadBackAsWritten) {
    const SlotStatus slot{.slot = "A/1 \"left\"",
                          .state = SlotState::HandOver,
                          .file = "/img/quill_all.lst",
                          .percent = 42,
                          .elapsedMs = 83'000,
                          .lastVerdict = "failed",
                          .lastReason = "PSI loader: no answer",
                          .units = 17,
                          .firstPass = 16};
    const std::string payload = SlotPayload("line-4", slot, 1'700'000'000'000);
    const Result<SlotStatus> read = ReadSlotPayload(payload);
    ASSERT_TRUE(read) << read.Error();
    EXPECT_EQ(*read, slot);
    EXPECT_NE(payload.find("\"firstPassYield\":0.941"), std::string::npos) << payload;

    const RunSummary run{.runId = "6f1c", .kind = "total", .verdict = "failed", .endedMs = 2};
    EXPECT_EQ(*ReadRunPayload(RunPayload("line-4", run)), run);

    for (const char* wrong : {"", "[1]", "{\"state\":\"dancing\"}", "{\"state\":"})
        EXPECT_FALSE(ReadSlotPayload(wrong)) << wrong;
}

TEST(StatusTopics, NamesAreOneLevelEachAndReadBack) {
    for (const std::string& name :
         std::vector<std::string>{"line-4", "a/b", "+#", "100%", std::string("a\0b", 3)}) {
        SCOPED_TRACE(name);
        const std::string topic = SlotTopic(name, name);
        EXPECT_EQ(std::count(topic.begin(), topic.end(), '/'), 4) << topic;
        EXPECT_EQ(topic.find_first_of("+#"), std::string::npos);
        EXPECT_EQ(ParseTopic(topic),
                  (StatusTopic{.kind = StatusTopic::Kind::Slot, .station = name, .slot = name}));
    }
    EXPECT_EQ(ParseTopic(OnlineTopic("s"))->kind, StatusTopic::Kind::Online);
    EXPECT_EQ(ParseTopic(RunsTopic("s"))->kind, StatusTopic::Kind::Runs);
    for (const char* foreign : {"marlow/s", "marlow/s/slot/a", "other/s/online", "marlow/s/x"})
        EXPECT_EQ(ParseTopic(foreign), std::nullopt) << foreign;
}

TEST(BrokerSettings, AddressesAndCredentialsAreCheckedFirst) {
    test::TempDir dir;
    const std::string good = dir.Write("good", "line4:s3cret:with colon\n", 0600);
    const std::string shared = dir.Write("shared", "line4:s3cret\n", 0644);
    const std::string noUser = dir.Write("no-user", "s3cret\n", 0600);
    struct Case {
        BrokerSettings settings;
        std::string placeOrError;
    };
    const std::vector<Case> cases = {
        {{"broker.example:1884"}, "broker.example:1884"},
        {{"broker.example"}, "broker.example:1883"},
        {{"[fd00::5]:1883"}, "[fd00::5]:1883"},
        {{"10.0.0.5", good, good}, "10.0.0.5:8883"},
        {{"broker.example:99999"}, "is no host:port"},
        {{"fd00::5"}, "is no host:port"},
        {{}, "no status broker is named"},
        {{"b:1", dir.File("missing.pem")},
         "the status broker's CA file " + dir.File("missing.pem") + " cannot be read"},
        {{"b:1", "", shared},
         "the password file " + shared +
             " may be read by others (mode 0644); make it its owner's alone: chmod 600 " + shared},
        {{"b:1", "", noUser}, "holds no user; put user:password on its first line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings.address);
        const Result<BrokerAccess> access = ResolveBroker(c.settings);
        const std::string said = access ? access->Place() : access.Error();
        EXPECT_NE(said.find(c.placeOrError), std::string::npos) << said;
        EXPECT_EQ(said.find("s3cret"), std::string::npos);
    }
    const Result<BrokerAccess> login = ResolveBroker({"b:1", "", good});
    EXPECT_EQ(login->user, "line4");
    EXPECT_EQ(login->password, "s3cret:with colon");
}

} // namespace
} // namespace marlow::status
