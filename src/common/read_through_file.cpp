#include "common/read_through_file.h"

#include "common/regular_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

namespace marlow {

namespace {

// Places handed to one readv; a caller with more gets the rest next time.
constexpr std::size_t kMaxPlacesPerCall = 64;

} // namespace

Result<ReadThroughFile> ReadThroughFile::Open(const std::string& path) {
    const Result<int> fd = OpenRegularFile(path, O_RDONLY);
    if (!fd)
        return Failure{fd.Error()};
    const Result<FileIdentity> identity = IdentityOf(*fd);
    if (!identity) {
        ::close(*fd);
        return Failure{identity.Error()};
    }
    return ReadThroughFile(*fd, *identity);
}

ReadThroughFile::ReadThroughFile(int fd, const FileIdentity& identity)
    : fd_(fd), identity_(identity), buffer_(std::make_unique<std::uint8_t[]>(kBufferSize)) {}

ReadThroughFile::~ReadThroughFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

ReadThroughFile::ReadThroughFile(ReadThroughFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), identity_(other.identity_), position_(other.position_),
      readFailed_(other.readFailed_), buffer_(std::move(other.buffer_)), next_(other.next_),
      end_(other.end_) {}

ReadThroughFile& ReadThroughFile::operator=(ReadThroughFile&& other) noexcept {
    if (this != &other) {
        ReadThroughFile gone(std::move(*this));
        fd_ = std::exchange(other.fd_, -1);
        identity_ = other.identity_;
        position_ = other.position_;
        readFailed_ = other.readFailed_;
        buffer_ = std::move(other.buffer_);
        next_ = other.next_;
        end_ = other.end_;
    }
    return *this;
}

std::size_t ReadThroughFile::Read(std::span<std::uint8_t> into) {
    return Read(std::span(&into, 1));
}

std::size_t ReadThroughFile::Read(std::span<const std::span<std::uint8_t>> into) {
    std::size_t wanted = 0;
    for (const std::span<std::uint8_t> place : into)
        wanted += place.size();
    std::size_t done = 0;
    std::size_t place = 0;
    std::size_t offset = 0; // within into[place]
    while (done < wanted) {
        if (offset == into[place].size()) {
            ++place;
            offset = 0;
            continue;
        }
        std::size_t got = 0;
        if (next_ < end_) {
            got = std::min(end_ - next_, into[place].size() - offset);
            std::memcpy(into[place].data() + offset, buffer_.get() + next_, got);
            next_ += got;
        } else if (wanted - done >= kBufferSize) {
            std::array<std::span<std::uint8_t>, kMaxPlacesPerCall> rest;
            const std::size_t count = std::min(into.size() - place, rest.size());
            std::copy_n(into.begin() + static_cast<std::ptrdiff_t>(place), count, rest.begin());
            rest[0] = rest[0].subspan(offset);
            got = ReadDirect(std::span(rest.data(), count));
        } else if (Refill()) {
            continue;
        }
        if (got == 0)
            break;
        done += got;
        // Step over the places the bytes went to.
        for (offset += got; place < into.size() && offset > into[place].size(); ++place)
            offset -= into[place].size();
    }
    position_ += done;
    return done;
}

std::size_t ReadThroughFile::ReadDirect(std::span<const std::span<std::uint8_t>> into) {
    std::array<iovec, kMaxPlacesPerCall> parts{};
    for (std::size_t i = 0; i < into.size(); ++i)
        parts[i] = iovec{into[i].data(), into[i].size()};
    for (;;) {
        const ssize_t got = ::readv(fd_, parts.data(), static_cast<int>(into.size()));
        if (got >= 0)
            return static_cast<std::size_t>(got);
        if (errno != EINTR) {
            readFailed_ = true;
            return 0;
        }
    }
}

bool ReadThroughFile::Refill() {
    const std::span<std::uint8_t> whole(buffer_.get(), kBufferSize);
    next_ = 0;
    end_ = ReadDirect(std::span(&whole, 1));
    return end_ > 0;
}

} // namespace marlow
