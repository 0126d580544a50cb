#pragma once
// One handset on an in-process pipe, played by the boot loader emulator,
// with a recording event sink and a run context whose pauses are counted
// instead of slept.

#include "support/recording_pda_events.h"
#include "support/temp_dir.h"

#include "emulators/in_process_usb.h"
#include "emulators/pda_bootloader_emulator.h"
#include "pda/boot_image_writer.h"
#include "pda/pda_download.h"

#include <memory>
#include <string>
#include <vector>

namespace marlow::test {

// An image of `records` records of `recordBytes` pattern bytes each, from
// 0x80001000 on; start 0x80000000, image length 0x1000, launch 0x80001000.
using Calls = std::vector<std::string>;

// A Device State trace as the recording sink writes it down.
inline std::string T(const std::string& text) {
    return "trace|" + text;
}
Calls Join(std::initializer_list<Calls> parts);
inline Calls Join(const Calls& head, const Calls& tail) {
    return Join({head, tail});
}
// The last `n` calls (all of them when there are fewer).
Calls Tail(const Calls& calls, std::size_t n);

pda::BootImagePlan SmallImage(std::uint32_t recordBytes, int records = 1, std::uint32_t seed = 1);

class PdaRig {
public:
    explicit PdaRig(emulators::PdaEmulatorOptions options = {});
    ~PdaRig();

    std::string WriteImage(const std::string& name, const pda::BootImagePlan& layout);
    std::string WriteText(const std::string& name, const std::string& text);
    void Use(const std::string& path, pda::DownloadTarget target, bool frontPanel = false,
             bool phoneOption = false);

    // Opens the pipe and runs one download on this thread.
    pda::PdaRunOutcome Run();

    TempDir dir;
    pda::PdaRunContext context;
    RecordingPdaEvents out{context};
    emulators::PdaBootLoaderEmulator emulator;
    std::shared_ptr<emulators::InProcessUsbDevice> device;
    std::unique_ptr<usb::CUsbPipe> pipe;
    std::vector<long> pauses; // milliseconds, in order
};

} // namespace marlow::test
