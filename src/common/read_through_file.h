#pragma once
// A read-only regular file for readers that stream large blocks: what they
// ask for in small pieces (headers) comes out of a small buffer, and large
// reads go from the file straight into the caller's memory, several places
// with one call. A download then neither copies its data out of a buffer
// nor pays a system call per packet.

#include "common/regular_file.h"
#include "common/result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace marlow {

class ReadThroughFile {
public:
    // Why not when the file cannot be opened or is no regular file (see
    // OpenRegularFile).
    static Result<ReadThroughFile> Open(const std::string& path);
    ~ReadThroughFile();
    ReadThroughFile(ReadThroughFile&& other) noexcept;
    ReadThroughFile& operator=(ReadThroughFile&& other) noexcept;
    ReadThroughFile(const ReadThroughFile&) = delete;
    ReadThroughFile& operator=(const ReadThroughFile&) = delete;

    // Fills the places in order and returns how many bytes came: fewer than
    // asked for only at the end of the file or when reading failed.
    std::size_t Read(std::span<std::uint8_t> into);
    std::size_t Read(std::span<const std::span<std::uint8_t>> into);

    // True once a read failed (as opposed to meeting the end of the file).
    bool ReadFailed() const { return readFailed_; }
    std::uint64_t Size() const { return identity_.size; }
    std::uint64_t Position() const { return position_; }
    // The file as it was opened, and as it is now (see FileIdentity): a
    // reader that must know it read one unchanged file compares the two.
    const FileIdentity& Identity() const { return identity_; }
    Result<FileIdentity> IdentityNow() const { return IdentityOf(fd_); }

    // Reads smaller than this are served through the buffer.
    static constexpr std::size_t kBufferSize = 4096;

private:
    ReadThroughFile(int fd, const FileIdentity& identity);
    // One read call straight into the places; 0 at the end of the file.
    std::size_t ReadDirect(std::span<const std::span<std::uint8_t>> into);
    bool Refill();

    int fd_ = -1;
    FileIdentity identity_;
    std::uint64_t position_ = 0;
    bool readFailed_ = false;
    std::unique_ptr<std::uint8_t[]> buffer_;
    // Buffered bytes not handed out yet: buffer_[next_, end_).
    std::size_t next_ = 0;
    std::size_t end_ = 0;
};

} // namespace marlow
