// A station handset's faults by the emulate commands' words: each sets its
// half's fault, a wrong one is refused with the reason, and every fault the
// soak mode picks at random is one of the words (a soak discards nothing).

#include "emulators/handset_faults.h"

#include <gtest/gtest.h>

namespace marlow::emulators {
namespace {

TEST(HandsetFaults, EachWordSetsItsFaultAndAWrongOneSaysWhy) {
    HandsetFaults faults;
    for (const char* word : {"nak-at=2", "unexpected-byte=255", "refuse-boot", "fail-part=3"})
        ASSERT_TRUE(AddHandsetFault(word, faults)) << word;
    EXPECT_EQ(faults.pda.nakAtAnswer, 2);
    EXPECT_EQ(faults.pda.unexpectedByte, 255);
    EXPECT_TRUE(faults.modem.refuseBoot);
    EXPECT_EQ(faults.modem.failPart, 3);
    EXPECT_EQ(faults.words, (std::vector<std::string>{"nak-at=2", "unexpected-byte=255",
                                                      "refuse-boot", "fail-part=3"}));

    const std::pair<const char*, std::string> refused[] = {
        {"nak-at", "the fault nak-at takes a number from 0 to 1073741824 (nak-at=N)"},
        {"nak-at=2x", "the fault nak-at takes a number from 0 to 1073741824 (nak-at=N)"},
        {"unexpected-byte=256",
         "the fault unexpected-byte takes a number from 0 to 255 (unexpected-byte=N)"},
        {"refuse-boot=1", "the fault refuse-boot takes no number"},
        {"melt", "there is no fault \"melt\"; the faults are nak-at=N, unexpected=N, "
                 "unexpected-at=N, unexpected-byte=N, silent-at=N, disconnect-after=N, "
                 "flash-ms=N, flash-zeros=N, refuse-boot, stall-boots=N, fail-part=N, "
                 "vanish-at-part=N"},
    };
    for (const auto& [word, why] : refused)
        EXPECT_EQ(AddHandsetFault(word, faults).Error(), why) << word;

    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        const std::string word = RandomHandsetFault(random);
        HandsetFaults one;
        EXPECT_TRUE(AddHandsetFault(word, one)) << word;
    }
}

} // namespace
} // namespace marlow::emulators
