#pragma once
// Loader events as JSON lines for scripts: one object per event, texts as
// JSON strings (bytes above 0x7F taken as Latin-1, the loader's ANSI texts).

#include "uartloader/loader_events.h"

#include <string>
#include <string_view>

namespace marlow::uartloader {

std::string JsonString(std::string_view text);

// {"event":"log","text":"Received ASIC ID\r\n"} and the like, no line break;
// the run's end as {"event":"run-finished","reason":"","verdict":"passed"},
// the fields named as the other engines name them.
std::string EventToJson(const LoaderEvent& event);

} // namespace marlow::uartloader
