#include "emulators/uart_script.h"

#include "uartloader/request_codes.h"
#include "uartloader/uart_frames.h"

#include <array>
#include <charconv>
#include <optional>

namespace marlow::emulators {

namespace {

using namespace marlow::uartloader;
using Kind = UartScriptStep::Kind;

struct PartitionName {
    const char* name;
    std::uint32_t code;
};

constexpr std::array<PartitionName, 5> kPartitions = {{
    {"xloader", REQ_FLASH_XLOADER},
    {"normal", REQ_FLASH_NORMAL},
    {"adl", REQ_FLASH_ADL},
    {"production", REQ_FLASH_PRODUCTION},
    {"ext-mem-init", REQ_FLASH_EXT_MEM_INIT},
}};

std::optional<std::uint32_t> ParseNumber(std::string_view text) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::uint32_t> PartitionCode(std::string_view name) {
    for (const PartitionName& p : kPartitions)
        if (name == p.name)
            return p.code;
    const std::optional<std::uint32_t> code = ParseNumber(name);
    if (code && IsFlashRequest(*code))
        return code;
    return std::nullopt;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

UartScriptStep Step(Kind kind, std::uint32_t code = 0, std::string text = {},
                    std::uint32_t length = 0) {
    UartScriptStep step;
    step.kind = kind;
    step.code = code;
    step.text = std::move(text);
    step.length = length;
    return step;
}

} // namespace

std::vector<UartScriptStep> DefaultUartScript() {
    std::vector<UartScriptStep> script = {
        Step(Kind::ExtMemInit),
        Step(Kind::Flasher),
        Step(Kind::Text, 0, "Boot flasher running"),
        Step(Kind::Arrow, 0, "Flashing partitions"),
        Step(Kind::Ping),
    };
    for (const PartitionName& p : kPartitions)
        script.push_back(Step(Kind::Flash, p.code));
    script.push_back(Step(Kind::Done, 0, "Flashing complete"));
    return script;
}

Result<UartScriptStep> ParseUartStep(std::string_view text) {
    text = Trim(text);
    const std::size_t colon = text.find(':');
    const std::string_view word = text.substr(0, colon);
    const std::string_view argument = colon == std::string_view::npos ? "" : text.substr(colon + 1);
    const std::string value(argument);

    if (word == "ext-mem-init")
        return Step(Kind::ExtMemInit);
    if (word == "flasher")
        return Step(Kind::Flasher);
    if (word == "ping")
        return Step(Kind::Ping);
    if (word == "silence")
        return Step(Kind::Silence);
    if (word == "vanish")
        return Step(Kind::Vanish);
    if (word == "text")
        return Step(Kind::Text, 0, value);
    if (word == "arrow")
        return Step(Kind::Arrow, 0, value);
    if (word == "done")
        return Step(Kind::Done, 0, value);
    if (word == "flash") {
        if (const auto code = PartitionCode(argument))
            return Step(Kind::Flash, *code);
        return Failure{"unknown partition '" + value +
                       "' (xloader, normal, adl, production, ext-mem-init)"};
    }
    if (word == "code") {
        if (const auto code = ParseNumber(argument))
            return Step(Kind::RawCode, *code);
        return Failure{"code: wants a number such as 0xA0300005, not '" + value + "'"};
    }
    if (word == "long-text") {
        if (const auto length = ParseNumber(argument))
            return Step(Kind::LongText, 0, {}, *length);
        return Failure{"long-text: wants a length, not '" + value + "'"};
    }
    return Failure{"unknown step '" + std::string(text) + "'"};
}

Result<std::vector<UartScriptStep>> ParseUartScript(std::string_view text) {
    std::vector<UartScriptStep> script;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        Result<UartScriptStep> step = ParseUartStep(text.substr(0, comma));
        if (!step)
            return Failure{step.Error()};
        script.push_back(std::move(*step));
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return script;
}

std::string DescribeUartStep(const UartScriptStep& step) {
    switch (step.kind) {
    case Kind::ExtMemInit:
        return "ext-mem-init";
    case Kind::Flasher:
        return "flasher";
    case Kind::Text:
        return "text:" + step.text;
    case Kind::Arrow:
        return "arrow:" + step.text;
    case Kind::Done:
        return "done:" + step.text;
    case Kind::Ping:
        return "ping";
    case Kind::Flash:
        for (const PartitionName& p : kPartitions)
            if (p.code == step.code)
                return std::string("flash:") + p.name;
        return "flash:0x" + Hex8(step.code);
    case Kind::RawCode:
        return "code:0x" + Hex8(step.code);
    case Kind::LongText:
        return "long-text:" + std::to_string(step.length);
    case Kind::Silence:
        return "silence";
    case Kind::Vanish:
        return "vanish";
    }
    return "?";
}

} // namespace marlow::emulators
