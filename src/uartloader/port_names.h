#pragma once
// How the loader's port names reach a device on this platform. The dialog
// and old settings files speak of "COM1" to "COM9"; on Linux those are the
// on-board UARTs /dev/ttyS0 to /dev/ttyS8. Anything else ("ttyUSB0", a full
// or relative path such as an emulator's link) is taken as it stands.

#include <string>
#include <string_view>

namespace marlow::uartloader {

// "COM<n>" (n >= 1) -> "/dev/ttyS<n-1>"; "ttyUSB0" -> "/dev/ttyUSB0"; paths
// (starting with "/" or ".") unchanged.
std::string SystemPortPath(std::string_view portName);

// The port name for the dialog's port index (0 = "COM1").
std::string PortNameFromIndex(int portIndex);

// What a run is told to open when no port was chosen: it fails to connect,
// and the reason names this.
inline constexpr char kNoPortGiven[] = "(no port given)";

// True for the slave side of a pseudo-terminal (symbolic links followed),
// where the kernel cannot carry parity.
bool IsPseudoTerminal(const std::string& devicePath);

} // namespace marlow::uartloader
