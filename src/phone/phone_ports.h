#pragma once
// Finding the modem's download port: the numbered serial ports of USB
// devices 058b:0015, and the name the library opens for a number.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::phone {

inline constexpr std::uint16_t kModemVendorId = 0x058b;
inline constexpr std::uint16_t kModemProductId = 0x0015;

// How many numbers each owner's port list holds; further ports are ignored.
inline constexpr std::size_t kMainWindowPortList = 16;
inline constexpr std::size_t kFrontPanelPortList = 10;

// The system's names of the modem's ports ("USB3"), in the order the system
// enumerates its devices. Production lists Qt SerialPort's ports; tests lend
// a fixed list.
class PhonePortSource {
public:
    virtual ~PhonePortSource() = default;
    virtual std::vector<std::string> PortNames() = 0;
};

// The port number a name carries: the digits after its first three
// characters (none gives 0). "USB0" and names of three characters or fewer
// carry none.
std::optional<int> PortNumberOf(std::string_view name);

// Every number the source offers, in its order, at most `capacity` of them.
std::vector<int> FindPhonePorts(PhonePortSource& source, std::size_t capacity);

// "\\.\USB%i" on Windows, "/dev/ttyACM%i" elsewhere.
std::string DefaultPortPattern();

// The pattern with its "%i" (or "%d") replaced by the number and "%%" by "%".
// The pattern comes from the settings, so it is never used as a printf format.
std::string FormPortName(std::string_view pattern, int number);

// What the port wait asks each poll, and the name it then opens.
class PhonePortLocator {
public:
    virtual ~PhonePortLocator() = default;
    virtual std::optional<int> FindFirstPort() = 0;
    virtual std::string PortName(int number) const = 0;
};

class DiscoveredPhonePort : public PhonePortLocator {
public:
    DiscoveredPhonePort(PhonePortSource& source, std::string pattern, std::size_t capacity)
        : source_(source), pattern_(std::move(pattern)), capacity_(capacity) {}
    std::optional<int> FindFirstPort() override;
    std::string PortName(int number) const override { return FormPortName(pattern_, number); }

private:
    PhonePortSource& source_;
    std::string pattern_;
    std::size_t capacity_;
};

// A port the operator named: found once it exists, opened as given.
class FixedPhonePort : public PhonePortLocator {
public:
    explicit FixedPhonePort(std::string path) : path_(std::move(path)) {}
    std::optional<int> FindFirstPort() override;
    std::string PortName(int) const override { return path_; }

private:
    std::string path_;
};

} // namespace marlow::phone
