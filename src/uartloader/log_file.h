#pragma once
// The loader's log on disk: saved whole or not at all. The text is written
// beside its place and renamed over it, so a failed save leaves neither an
// empty nor a half-written file, and an earlier log stays as it was.

#include "common/result.h"

#include <string>
#include <string_view>

namespace marlow::uartloader {

enum class LogSave { Saved, CannotCreate, CannotWrite };

LogSave SaveLogFile(const std::string& path, std::string_view text, std::string* why = nullptr);

// Whether a log could be saved at `path` now, found out without leaving
// anything behind or touching a file already there. A run checks this
// before it talks to the handset, so a flash is never followed by a log
// that cannot be kept.
Status LogFileCanBeSaved(const std::string& path);

} // namespace marlow::uartloader
