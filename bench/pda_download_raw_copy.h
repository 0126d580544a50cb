#pragma once
// The anchor for the virtual bus figures: the very frames a PDA download
// sends, copied through a bare Unix socket pair in the download's rhythm
// (the host waits for a reply byte exactly where the protocol does), with
// nothing else around it: no file, no checksum, no emulator, no framing code.
// What the download costs beyond this is what the host and the bus add.

#include "pda/pda_run_context.h"
#include "usb/usb_transport.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marlow::bench {

// The image both PDA benchmarks download: 64 MiB of generated records,
// written into the temporary folder once per process.
inline constexpr std::uint32_t kImageBytes = 64u * 1024 * 1024;
const std::string& ImagePath();

struct FrameScript {
    std::vector<std::uint8_t> stream;        // every host frame, header and payload
    std::vector<std::size_t> frameEnds;      // where each frame ends in `stream`
    std::vector<std::uint32_t> readsAfter;   // reply bytes the host reads after frame i
    std::vector<std::uint32_t> repliesAfter; // reply bytes the device sends after frame i
};

// Wraps a host transport and writes down what goes through it.
std::unique_ptr<usb::UsbTransport> RecordingTransport(std::unique_ptr<usb::UsbTransport> inner,
                                                      FrameScript& script);

// The frames of one RAM download of the image at `imagePath`, recorded from
// a real run against the emulator; without `keepBytes` only their shape
// (sizes and replies, `stream` left empty).
FrameScript RecordDownload(const std::string& imagePath, bool keepBytes,
                           pda::DownloadTarget target = pda::DownloadTarget::Ram);
// The same for ImagePath(), bytes kept, recorded once.
const FrameScript& DownloadScript();

// Plays the script through a fresh socket pair, the host on this thread and
// the device on another. False when the socket pair failed.
bool CopyRaw(const FrameScript& script);

// The same copy with each end a process of its own: the script's shape
// (frame sizes and replies, not its bytes) goes through a file and `fd` is
// each end's side of the socket. The host does what a plain copy with a
// digest must: it reads the image file once, front to back, in large
// blocks, hashes every byte with SHA-256 (libcrypto) and sends each data
// frame's payload straight out of its read buffer (a frame's header and
// data in one sendmsg); the frames' own header bytes are left zero.
bool SaveShape(const FrameScript& script, const std::string& path);
std::optional<FrameScript> LoadShape(const std::string& path);
bool CopyRawHost(int fd, const FrameScript& shape, const std::string& imagePath);
void CopyRawDevice(int fd, const FrameScript& shape);

// The two ends as roles of a benchmark program started again:
//   PROGRAM --raw-host SOCKET-FD SHAPE IMAGE, PROGRAM --raw-device SOCKET-FD SHAPE.
// The role's exit code when argv names one, else nothing.
inline constexpr std::string_view kRawHostRole = "--raw-host";
inline constexpr std::string_view kRawDeviceRole = "--raw-device";
std::optional<int> RunRawCopyRole(int argc, char** argv);

} // namespace marlow::bench
