#pragma once
// The 20-byte model/version trailer appended to a stamped image: a 15-byte
// model field and a 5-byte version field, each zero-padded text. Only the
// last 20 bytes of a file count, so stamping twice simply appends again.

#include "common/result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace marlow::stamp {

inline constexpr std::size_t kTrailerSize = 20;
inline constexpr std::size_t kModelFieldSize = 15;
inline constexpr std::size_t kVersionFieldOffset = 15;
inline constexpr std::size_t kVersionFieldSize = 5;
// One byte of each field is kept for the terminating zero.
inline constexpr std::size_t kMaxModelLength = 14;
inline constexpr std::size_t kMaxVersionLength = 4;

using TrailerBytes = std::array<std::uint8_t, kTrailerSize>;

struct Stamp {
    std::string model;
    std::string version;
    bool operator==(const Stamp&) const = default;
};

// Each field as text up to its first zero byte, at most its field width.
Stamp ParseTrailer(std::span<const std::uint8_t, kTrailerSize> bytes);

// True when the bytes from the first one up to the first zero (at most all
// 20) are stamp characters: the information display's test for "stamped".
bool LooksStamped(std::span<const std::uint8_t, kTrailerSize> bytes);

// Refuses a model over 14 or a version over 4 characters rather than cutting
// them: a cut model would silently stamp the wrong handset type.
Result<TrailerBytes> BuildTrailer(std::string_view model, std::string_view version);

enum class TrailerStatus { Ok, OpenFailed, TooShort, ReadFailed, FieldTooLong, WriteFailed };

struct TrailerRead {
    TrailerStatus status = TrailerStatus::OpenFailed;
    TrailerBytes bytes{}; // valid when status == Ok
    std::string error;    // operator-readable, set when status != Ok
};

// The file's last 20 bytes; a file shorter than that has no trailer (TooShort).
TrailerRead ReadTrailerBytes(const std::string& path);

struct TrailerWrite {
    TrailerStatus status = TrailerStatus::OpenFailed;
    std::string error;
};

// Opens the existing file (never creates or truncates it), moves to its end
// and writes the model field, then the version field. If the write fails the
// file is cut back to its old length so no half trailer is left behind.
TrailerWrite AppendTrailer(const std::string& path, std::string_view model,
                           std::string_view version);

} // namespace marlow::stamp
