#include "emulators/handset_faults.h"

#include <array>
#include <charconv>
#include <functional>

namespace marlow::emulators {
namespace {

// Counts and positions; far above any run's, below any overflow.
constexpr int kLargestNumber = 1 << 30;

struct FaultWord {
    std::string_view name;
    std::function<void(HandsetFaults&, int)> apply; // with the number, when it takes one
    bool takesNumber = true;
    int largest = kLargestNumber;
};

const std::array<FaultWord, 12>& FaultWords() {
    static const std::array<FaultWord, 12> kWords{{
        {"nak-at", [](HandsetFaults& f, int n) { f.pda.nakAtAnswer = n; }},
        {"unexpected", [](HandsetFaults& f, int n) { f.pda.unexpectedReplies = n; }},
        {"unexpected-at", [](HandsetFaults& f, int n) { f.pda.unexpectedAtAnswer = n; }},
        {"unexpected-byte",
         [](HandsetFaults& f, int n) { f.pda.unexpectedByte = static_cast<std::uint8_t>(n); }, true,
         255},
        {"silent-at", [](HandsetFaults& f, int n) { f.pda.silentAtAnswer = n; }},
        {"disconnect-after", [](HandsetFaults& f, int n) { f.pda.disconnectAfterBytes = n; }},
        {"flash-ms",
         [](HandsetFaults& f, int n) { f.pda.flashWriteTime = std::chrono::milliseconds(n); }},
        {"flash-zeros", [](HandsetFaults& f, int n) { f.pda.zeroRepliesDuringFlash = n; }},
        {"refuse-boot", [](HandsetFaults& f, int) { f.modem.refuseBoot = true; }, false},
        {"stall-boots", [](HandsetFaults& f, int n) { f.modem.stallBoots = n; }},
        {"fail-part", [](HandsetFaults& f, int n) { f.modem.failPart = n; }},
        {"vanish-at-part", [](HandsetFaults& f, int n) { f.modem.vanishAtPart = n; }},
    }};
    return kWords;
}

std::string FaultList() {
    std::string list;
    for (const FaultWord& word : FaultWords())
        list +=
            (list.empty() ? "" : ", ") + std::string(word.name) + (word.takesNumber ? "=N" : "");
    return list;
}

} // namespace

Status AddHandsetFault(std::string_view word, HandsetFaults& faults) {
    const std::size_t equals = word.find('=');
    const std::string_view name = word.substr(0, equals);
    for (const FaultWord& known : FaultWords()) {
        if (known.name != name)
            continue;
        int number = 0;
        if (known.takesNumber) {
            const std::string_view digits =
                equals == std::string_view::npos ? std::string_view() : word.substr(equals + 1);
            const auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), number);
            if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
                number < 0 || number > known.largest)
                return Failure{"the fault " + std::string(name) + " takes a number from 0 to " +
                               std::to_string(known.largest) + " (" + std::string(name) + "=N)"};
        } else if (equals != std::string_view::npos) {
            return Failure{"the fault " + std::string(name) + " takes no number"};
        }
        known.apply(faults, number);
        faults.words.emplace_back(word);
        return {};
    }
    return Failure{"there is no fault \"" + std::string(word) + "\"; the faults are " +
                   FaultList()};
}

std::string RandomHandsetFault(std::mt19937& random) {
    const auto pick = [&random](int first, int last) {
        return std::to_string(std::uniform_int_distribution<int>(first, last)(random));
    };
    // Each fires in every run that reaches its half: the first answers and
    // bytes of a PDA download, the four parts of a phone download.
    switch (std::uniform_int_distribution<int>(0, 4)(random)) {
    case 0:
        return "nak-at=" + pick(1, 3);
    case 1:
        return "disconnect-after=" + pick(1, 64);
    case 2:
        return "refuse-boot";
    case 3:
        return "fail-part=" + pick(1, 4);
    default:
        return "vanish-at-part=" + pick(1, 4);
    }
}

} // namespace marlow::emulators
