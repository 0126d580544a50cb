#pragma once
// The handset's end of a serial line: the master side of a pseudo-terminal
// whose slave the tool opens like any serial port.

#include <string>
#include <string_view>
#include <termios.h>

namespace marlow::test {

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The handset's end goes away, as an unplugged adapter's line does.
    void Hangup();
    bool Ok() const { return master_ >= 0; }
    const std::string& SlaveName() const { return slaveName_; }
    // The line holds a few kilobytes; a longer burst goes out as the port
    // reads it.
    void Send(std::string_view bytes);
    // Everything the port has sent so far.
    const std::string& Received();
    void Forget() { received_.clear(); }
    // The line settings the port's side was given (speed, framing, flow
    // control; a pseudo-terminal keeps them though it carries no signal).
    termios LineSettings() const;

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slaveName_;
    std::string received_;
};

} // namespace marlow::test
