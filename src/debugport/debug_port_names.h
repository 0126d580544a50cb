#pragma once
// How a stored debug port name becomes a serial device, and how one received
// chunk becomes text for the console window.

#include <string>
#include <string_view>

namespace marlow::debugport {

// A path ("/dev/ttyUSB0", "/dev/pts/3") is used as it stands; "COMn" is the
// n-th built-in port ("/dev/ttyS<n-1>"), kept so settings carried over from
// a Windows desk still work; any other name is a device under "/dev".
std::string DebugPortDevice(std::string_view name);

// The handset pads its console output with zero bytes; what follows the
// first one in a chunk is never shown.
std::string_view ChunkText(std::string_view chunk);

} // namespace marlow::debugport
