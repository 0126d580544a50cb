#pragma once
// The owner's status text: the 500-character buffer every library call
// receives and may fill. The library is foreign code, so the text is read
// back bounded, whether or not the library terminated it.

#include "phone/ifwd_download_dll.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

namespace marlow::phone {

class StatusText {
public:
    void Clear() { buffer_[0] = '\0'; }
    // Handed to the library; it may write up to IFWD_DL_STATUS_SIZE bytes.
    char* Buffer() { return buffer_.data(); }

    std::string_view View() {
        buffer_.back() = '\0';
        return std::string_view(buffer_.data(), std::strlen(buffer_.data()));
    }
    bool Empty() { return View().empty(); }
    std::string Take() {
        std::string text(View());
        Clear();
        return text;
    }
    void Set(std::string_view text) {
        const std::size_t length = std::min(text.size(), buffer_.size() - 1);
        std::memcpy(buffer_.data(), text.data(), length);
        buffer_[length] = '\0';
    }

private:
    std::array<char, IFWD_DL_STATUS_SIZE> buffer_{};
};

} // namespace marlow::phone
