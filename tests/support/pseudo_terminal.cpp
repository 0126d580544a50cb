#include "support/pseudo_terminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace marlow::test {

PseudoTerminal::PseudoTerminal() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
        slaveName_ = name;
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
}

PseudoTerminal::~PseudoTerminal() {
    Hangup();
    if (slave_ >= 0)
        close(slave_);
}

void PseudoTerminal::Hangup() {
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

void PseudoTerminal::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(master_, bytes.data(), bytes.size());
        if (n > 0)
            bytes.remove_prefix(static_cast<std::size_t>(n));
        else if (errno == EAGAIN)
            poll(nullptr, 0, 1);
        else
            FAIL() << "write: " << std::strerror(errno);
    }
}

const std::string& PseudoTerminal::Received() {
    char buffer[256];
    for (ssize_t n = 0; (n = read(master_, buffer, sizeof buffer)) > 0;)
        received_.append(buffer, static_cast<std::size_t>(n));
    return received_;
}

termios PseudoTerminal::LineSettings() const {
    termios settings{};
    EXPECT_EQ(tcgetattr(master_, &settings), 0) << std::strerror(errno);
    return settings;
}

} // namespace marlow::test
