#pragma once
// Finding the modem's download port: the numbered serial ports of USB
// devices 058b:0015, and the name the library opens for a number.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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

class DirectoryWatch;

// Watching for port changes, which spares a port wait its scans. While a
// watch holds, the ports stay as they were between two calls of `changed`,
// so a wait may sleep until the next call. Sources and locators that cannot
// watch keep the defaults, and the wait then scans every 10 ms.
class PortWatching {
public:
    virtual ~PortWatching() = default;
    // `changed` runs on a thread of the watch whenever the ports may have
    // changed, and once more if the watch breaks. False when not watching.
    virtual bool WatchPorts(std::function<void()> changed) {
        (void)changed;
        return false;
    }
    // Once this returns, `changed` runs no more.
    virtual void StopWatchingPorts() {}
    // True while the watch holds; a broken watch falls back to scanning.
    virtual bool PortsWatched() const { return false; }
};

// The system's names of the modem's ports ("USB3"), in the order the system
// enumerates its devices. Production reads the device tree (SerialPortSource);
// tests lend a fixed list.
class PhonePortSource : public PortWatching {
public:
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
class PhonePortLocator : public PortWatching {
public:
    virtual std::optional<int> FindFirstPort() = 0;
    virtual std::string PortName(int number) const = 0;
    // Whether the port a run took is still there (its handset has not left).
    virtual bool PortPresent(int number) { return FindFirstPort() == number; }
};

class DiscoveredPhonePort : public PhonePortLocator {
public:
    DiscoveredPhonePort(PhonePortSource& source, std::string pattern, std::size_t capacity)
        : source_(source), pattern_(std::move(pattern)), capacity_(capacity) {}
    std::optional<int> FindFirstPort() override;
    std::string PortName(int number) const override { return FormPortName(pattern_, number); }
    bool PortPresent(int number) override;
    bool WatchPorts(std::function<void()> changed) override {
        return source_.WatchPorts(std::move(changed));
    }
    void StopWatchingPorts() override { source_.StopWatchingPorts(); }
    bool PortsWatched() const override { return source_.PortsWatched(); }

private:
    PhonePortSource& source_;
    std::string pattern_;
    std::size_t capacity_;
};

// A port the operator named: found once it exists, opened as given. Its
// folder is watched for the name, so a wait looks only when it may be there.
class FixedPhonePort : public PhonePortLocator {
public:
    explicit FixedPhonePort(std::string path);
    ~FixedPhonePort() override;
    std::optional<int> FindFirstPort() override;
    std::string PortName(int) const override { return path_; }
    bool WatchPorts(std::function<void()> changed) override;
    void StopWatchingPorts() override;
    bool PortsWatched() const override;

private:
    std::string path_;
    std::unique_ptr<DirectoryWatch> watch_;
};

} // namespace marlow::phone
