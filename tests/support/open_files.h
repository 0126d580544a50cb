#pragma once
// How many file descriptors this process holds: a reader that forgets to
// close a file on some path shows up as a difference across the call.

#include <cstddef>
#include <filesystem>

namespace marlow::test {

inline std::size_t OpenFileCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

} // namespace marlow::test
