#include "support/pda_rig.h"

#include "emulators/pda_in_process_device.h"

#include <gtest/gtest.h>

namespace marlow::test {

Calls Join(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Calls Tail(const Calls& calls, std::size_t n) {
    return n <= calls.size() ? Calls(calls.end() - static_cast<long>(n), calls.end()) : calls;
}

pda::BootImagePlan SmallImage(std::uint32_t recordBytes, int records, std::uint32_t seed) {
    pda::BootImagePlan layout;
    layout.startAddress = 0x80000000;
    layout.imageLength = 0x1000;
    layout.launchAddress = 0x80001000;
    std::uint32_t address = 0x80001000;
    std::uint64_t offset = 0;
    for (int r = 0; r < records; ++r) {
        pda::RecordPlan record;
        record.address = address;
        record.data.resize(recordBytes);
        for (std::uint32_t i = 0; i < recordBytes; ++i)
            record.data[i] = pda::PatternByte(seed, offset++);
        layout.records.push_back(std::move(record));
        address += recordBytes;
    }
    return layout;
}

PdaRig::PdaRig(emulators::PdaEmulatorOptions options) : emulator(std::move(options)) {
    emulators::InProcessUsbPair pair = emulators::MakeInProcessUsbPair();
    device = pair.device;
    emulators::AttachEmulator(*device, emulator);
    pipe = std::make_unique<usb::CUsbPipe>(std::move(pair.host));
    context.pause = [this](std::chrono::milliseconds duration) {
        pauses.push_back(static_cast<long>(duration.count()));
    };
}

PdaRig::~PdaRig() {
    pipe.reset();
    emulators::DetachEmulator(*device);
}

std::string PdaRig::WriteImage(const std::string& name, const pda::BootImagePlan& layout) {
    const std::string path = dir.File(name);
    WriteFile(path, pda::BuildBootImage(layout));
    return path;
}

std::string PdaRig::WriteText(const std::string& name, const std::string& text) {
    const std::string path = dir.File(name);
    WriteFile(path, text);
    return path;
}

void PdaRig::Use(const std::string& path, pda::DownloadTarget target, bool frontPanel,
                 bool phoneOption) {
    context.SetSettings({.downloadPath = path,
                         .target = target,
                         .frontPanelMode = frontPanel,
                         .phoneOption = phoneOption});
}

pda::PdaRunOutcome PdaRig::Run() {
    const Status opened = pipe->OpenPipe();
    EXPECT_TRUE(opened) << opened.Error();
    pipe->ClearStopRequest(); // as PdaDownloadThread::Start does
    return pda::RunPdaDownload(*pipe, context, out);
}

} // namespace marlow::test
