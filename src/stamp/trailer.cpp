#include "stamp/trailer.h"

#include "common/input_file.h"
#include "common/printable_text.h"
#include "common/regular_file.h"
#include "stamp/stamp_charset.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace marlow::stamp {

namespace {

std::string FieldText(std::span<const std::uint8_t> field) {
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return std::string(field.begin(), end);
}

void CopyText(std::string_view text, std::span<std::uint8_t> into) {
    std::transform(text.begin(), text.end(), into.begin(),
                   [](char c) { return static_cast<std::uint8_t>(c); });
}

std::string SystemError(const std::string& what, const std::string& path, int error) {
    return what + " " + Printable(path) + ": " + std::strerror(error);
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = EIO; // no progress and no reason given: do not spin
        if (written <= 0)
            return false;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

Stamp ParseTrailer(std::span<const std::uint8_t, kTrailerSize> bytes) {
    return Stamp{FieldText(bytes.first(kModelFieldSize)),
                 FieldText(bytes.subspan(kVersionFieldOffset, kVersionFieldSize))};
}

bool LooksStamped(std::span<const std::uint8_t, kTrailerSize> bytes) {
    for (const std::uint8_t byte : bytes) {
        if (byte == 0)
            return true;
        if (!IsStampCharacter(static_cast<char>(byte)))
            return false;
    }
    return true;
}

Result<TrailerBytes> BuildTrailer(std::string_view model, std::string_view version) {
    if (model.size() > kMaxModelLength)
        return Failure{"Model name \"" + std::string(model) + "\" is longer than " +
                       std::to_string(kMaxModelLength) + " characters"};
    if (version.size() > kMaxVersionLength)
        return Failure{"Version \"" + std::string(version) + "\" is longer than " +
                       std::to_string(kMaxVersionLength) + " characters"};
    TrailerBytes bytes{};
    CopyText(model, std::span(bytes).first(kModelFieldSize));
    CopyText(version, std::span(bytes).subspan(kVersionFieldOffset, kVersionFieldSize));
    return bytes;
}

TrailerRead ReadTrailerBytes(const std::string& path) {
    TrailerRead result;
    Result<InputFile> file = InputFile::Open(path);
    if (!file) {
        result.status = TrailerStatus::OpenFailed;
        result.error = "Cannot open " + Printable(path) + ": " + file.Error();
        return result;
    }
    if (file->Size() < kTrailerSize) {
        result.status = TrailerStatus::TooShort;
        result.error = Printable(path) + " is shorter than " + std::to_string(kTrailerSize) +
                       " bytes and carries no model/version stamp";
        return result;
    }
    if (!file->Seek(file->Size() - kTrailerSize) || !file->ReadExactly(result.bytes)) {
        result.status = TrailerStatus::ReadFailed;
        result.error =
            "Cannot read the last " + std::to_string(kTrailerSize) + " bytes of " + Printable(path);
        return result;
    }
    result.status = TrailerStatus::Ok;
    return result;
}

TrailerWrite AppendTrailer(const std::string& path, std::string_view model,
                           std::string_view version) {
    TrailerWrite result;
    const Result<TrailerBytes> trailer = BuildTrailer(model, version);
    if (!trailer) {
        result.status = TrailerStatus::FieldTooLong;
        result.error = trailer.Error();
        return result;
    }

    const Result<int> opened = OpenRegularFile(path, O_WRONLY);
    if (!opened) {
        result.status = TrailerStatus::OpenFailed;
        result.error = "Cannot open " + Printable(path) + ": " + opened.Error();
        return result;
    }
    const int fd = *opened;
    const off_t oldLength = ::lseek(fd, 0, SEEK_END);
    if (oldLength < 0 || !WriteAll(fd, *trailer)) {
        result.status = TrailerStatus::WriteFailed;
        result.error = SystemError("Cannot append the stamp to", path, errno);
        if (oldLength >= 0 && ::ftruncate(fd, oldLength) != 0)
            result.error += " (the file may now end in a partial stamp)";
        ::close(fd);
        return result;
    }
    if (::close(fd) != 0) {
        result.status = TrailerStatus::WriteFailed;
        result.error = SystemError("Cannot finish writing", path, errno);
        return result;
    }
    result.status = TrailerStatus::Ok;
    return result;
}

} // namespace marlow::stamp
