#pragma once
// The anchor for the virtual bus figures: the very frames a PDA download
// sends, copied through a bare Unix socket pair in the download's rhythm
// (the host waits for a reply byte exactly where the protocol does), with
// nothing else around it: no file, no checksum, no emulator, no framing code.
// What the download costs beyond this is what the host and the bus add.

#include "usb/usb_transport.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace marlow::bench {

struct FrameScript {
    std::vector<std::uint8_t> stream;        // every host frame, header and payload
    std::vector<std::size_t> frameEnds;      // where each frame ends in `stream`
    std::vector<std::uint32_t> readsAfter;   // reply bytes the host reads after frame i
    std::vector<std::uint32_t> repliesAfter; // reply bytes the device sends after frame i
};

// Wraps a host transport and writes down what goes through it.
std::unique_ptr<usb::UsbTransport> RecordingTransport(std::unique_ptr<usb::UsbTransport> inner,
                                                      FrameScript& script);

// Plays the script through a fresh socket pair, the host on this thread and
// the device on another. False when the socket pair failed.
bool CopyRaw(const FrameScript& script);

} // namespace marlow::bench
