#pragma once
// What the emulated handset asks for once its second-stage boot runs: one
// step per request, played in order. Written for people as a comma list:
//   ext-mem-init, flasher, text:TEXT, arrow:TEXT, ping,
//   flash:xloader|normal|adl|production|ext-mem-init (or a code),
//   code:0xA0300005 (any word as a request code), long-text:LENGTH
//   (a message length and nothing else), silence, vanish, done:TEXT

#include "common/result.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::emulators {

struct UartScriptStep {
    enum class Kind {
        ExtMemInit, // REQ_EXT_MEM_INIT: takes the external memory init code
        Flasher,    // REQ_FLASHER: echoes the size, takes addresses and image
        Text,       // REQ_TEXT_MESSAGE with `text`
        Arrow,      // REQ_ARROW_MESSAGE: three lead bytes, then `text`
        Done,       // REQ_DONE_MESSAGE with `text`: the last step
        Ping,       // REQ_PING: expects the byte 0x01
        Flash,      // a flash request `code`: header, frames
        RawCode,    // sends `code` and nothing more
        LongText,   // REQ_TEXT_MESSAGE with `length` and no text
        Silence,    // says nothing more
        Vanish,     // drops off the line
    };
    Kind kind = Kind::Ping;
    std::uint32_t code = 0;
    std::string text;
    std::uint32_t length = 0;

    bool operator==(const UartScriptStep&) const = default;
};

// Every request a full run makes: ext-mem-init, flasher, a text, an arrow,
// a ping, the five partitions, done.
std::vector<UartScriptStep> DefaultUartScript();

Result<UartScriptStep> ParseUartStep(std::string_view text);
Result<std::vector<UartScriptStep>> ParseUartScript(std::string_view text);

// "flash:adl" and the like, for reports.
std::string DescribeUartStep(const UartScriptStep& step);

} // namespace marlow::emulators
