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

// A modem port as the system lists it.
struct SystemPort {
    std::string name;        // what the port rules read ("ACM3", "USB3")
    std::string path;        // what the library opens ("/dev/ttyACM3")
    std::string usbPortPath; // the USB port chain the modem sits on ("1-4.2"); empty where unknown
    bool operator==(const SystemPort&) const = default;
};

// The modem's ports in the order the system enumerates its devices.
// Production reads the device tree (SerialPortSource); tests lend a fixed list.
class PhonePortSource : public PortWatching {
public:
    virtual std::vector<SystemPort> Ports() = 0;
};

// The port a wait found, carried as it is to the library's open: its path,
// the USB port it hangs on where known, and the number its name carries,
// which only the texts that show a port number read.
struct ModemPort {
    std::string path;
    std::string usbPortPath;
    int number = 0;
    bool operator==(const ModemPort&) const = default;
};

// The port number a name carries: the digits after its first three
// characters (none gives 0). "USB0" and names of three characters or fewer
// carry none, and such ports are not the modem's download port.
std::optional<int> PortNumberOf(std::string_view name);

// Every port the source offers that the rules take, in its order, at most
// `capacity` of them.
std::vector<ModemPort> FindPhonePorts(PhonePortSource& source, std::size_t capacity);

// The pattern with its "%i" (or "%d") replaced by the number and "%%" by "%".
// The pattern comes from the settings, so it is never used as a printf format.
std::string FormPortName(std::string_view pattern, int number);

// What the port wait asks each poll: the port to open, or none yet.
class PhonePortLocator : public PortWatching {
public:
    // The port on `usbPortPath` when one is given (the port of the handset
    // that went over to its modem there), else the first the search finds.
    virtual std::optional<ModemPort> FindPort(const std::string& usbPortPath = {}) = 0;
    // Whether the port a run took is still there (its handset has not left).
    virtual bool PortPresent(const ModemPort& port) {
        const std::optional<ModemPort> found = FindPort(port.usbPortPath);
        return found && found->path == port.path;
    }
};

// The system's modem ports. A port opens as the path the system gives it,
// unless the operator set a pattern (the "PhonePortPattern" setting,
// `--port-pattern`), which names it by its number instead.
class DiscoveredPhonePort : public PhonePortLocator {
public:
    DiscoveredPhonePort(PhonePortSource& source, std::string pattern, std::size_t capacity)
        : source_(source), pattern_(std::move(pattern)), capacity_(capacity) {}
    std::optional<ModemPort> FindPort(const std::string& usbPortPath = {}) override;
    bool PortPresent(const ModemPort& port) override;
    bool WatchPorts(std::function<void()> changed) override {
        return source_.WatchPorts(std::move(changed));
    }
    void StopWatchingPorts() override { source_.StopWatchingPorts(); }
    bool PortsWatched() const override { return source_.PortsWatched(); }

private:
    std::vector<ModemPort> Listed();

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
    std::optional<ModemPort> FindPort(const std::string& usbPortPath = {}) override;
    bool WatchPorts(std::function<void()> changed) override;
    void StopWatchingPorts() override;
    bool PortsWatched() const override;

private:
    std::string path_;
    std::unique_ptr<DirectoryWatch> watch_;
};

} // namespace marlow::phone
