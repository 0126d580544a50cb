#include "emulators/sample_set.h"

#include "common/regular_file.h"
#include "pda/boot_image_writer.h"
#include "stamp/trailer.h"
#include "uartloader/loader_settings.h"

#include <filesystem>

namespace marlow::samples {
namespace {

std::vector<std::uint8_t> Pattern(std::uint32_t seed, std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = pda::PatternByte(seed, i);
    return bytes;
}

Status WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    if (const Status written = WriteRegularFile(path, bytes); !written)
        return Failure{"cannot write " + path + ": " + written.Error()};
    return {};
}

Status WriteText(const std::string& path, const std::string& text) {
    return WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// The boot loader's first stage: a few small records, one of 51 bytes.
pda::BootImagePlan EbootPlan() {
    std::vector<pda::RecordPlan> records;
    records.push_back({0x80040000, Pattern(11, 4096), std::nullopt});
    records.push_back({0x80041000, Pattern(12, 51), std::nullopt});
    records.push_back({0x80042000, Pattern(13, 1500), std::nullopt});
    return pda::MakeBootImagePlan(0x80040000, 0x00003000, std::move(records), 0x80040000);
}

// The OS image: one record larger than a chunk (8192 bytes), so it travels
// in several data packets, and one that fills exactly one chunk.
pda::BootImagePlan NkPlan() {
    std::vector<pda::RecordPlan> records;
    records.push_back({0x80200000, Pattern(21, 20000), std::nullopt});
    records.push_back({0x80206000, Pattern(22, 8192), std::nullopt});
    records.push_back({0x80208000, Pattern(23, 300), std::nullopt});
    return pda::MakeBootImagePlan(0x80200000, 0x00008200, std::move(records), 0x80201000);
}

Status WriteImage(const std::string& path, pda::BootImagePlan plan, bool stamped) {
    if (stamped) {
        const Result<stamp::TrailerBytes> trailer =
            stamp::BuildTrailer(kSampleModel, kSampleVersion);
        plan.trailing.assign(trailer->begin(), trailer->end());
    }
    return WriteBytes(path, pda::BuildBootImage(plan));
}

// Every file of the set, into `s.folder`; stops at the first that fails.
Status WriteFiles(SampleSet& s) {
    const std::string& d = s.folder;

    s.images = {d + "eboot.bin", d + "nk.bin"};
    if (Status written = WriteImage(s.images[0], EbootPlan(), false); !written)
        return written;
    if (Status written = WriteImage(s.images[1], NkPlan(), true); !written)
        return written;

    // The phone files are opaque to the tool; the modem emulator checks them
    // by content, so give each its own pattern.
    const char* phoneNames[] = {"psi.flb", "slb.flb", "modem.fls", "modem.eep"};
    const std::size_t phoneSizes[] = {6000, 12000, 40000, 3000};
    for (std::size_t i = 0; i < 4; ++i) {
        s.phoneFiles.push_back(d + phoneNames[i]);
        if (Status written = WriteBytes(s.phoneFiles.back(),
                                        Pattern(static_cast<std::uint32_t>(31 + i), phoneSizes[i]));
            !written)
            return written;
    }

    s.list = d + "quill_all.lst";
    if (Status written =
            WriteText(s.list, "eboot.bin\n+nk.bin\n-psi.flb\nslb.flb\nmodem.fls\nmodem.eep\n");
        !written)
        return written;
    s.phonePackage = d + "Phone.brx";
    if (Status written = WriteText(s.phonePackage, "+psi.flb\n+slb.flb\n+modem.fls\n+modem.eep\n");
        !written)
        return written;

    // UART loader rows 0..7: second-stage boot, ext-mem init, boot flasher,
    // then the five flash partitions.
    const char* partitionNames[] = {"2nd_boot.bin",     "ext_mem_init.bin",  "flashloader.plain",
                                    "xloader.bin",      "ext_mem_flash.bin", "adl.plain",
                                    "production.plain", "eboot.nb0"};
    const std::size_t partitionSizes[] = {2048, 700, 3000, 5000, 700, 4096, 2049, 9000};
    std::string stm;
    for (std::size_t i = 0; i < 8; ++i) {
        s.partitionFiles.push_back(d + partitionNames[i]);
        if (Status written =
                WriteBytes(s.partitionFiles.back(),
                           Pattern(static_cast<std::uint32_t>(41 + i), partitionSizes[i]));
            !written)
            return written;
        stm += std::string("-") + partitionNames[i] + "\n";
    }
    s.stmList = d + "Brix.stm";
    if (Status written = WriteText(s.stmList, stm); !written)
        return written;

    uartloader::LoaderSettings settings = uartloader::LoaderSettings::Defaults();
    for (std::size_t i = 0; i < 8; ++i)
        settings.rows[i].path = s.partitionFiles[i];
    settings.rows[2].extAddress = "A0000000";
    settings.rows[2].entryPoint = "A0000100";
    settings.rows[8].path = s.stmList;
    s.loaderSettings = d + "loader.mfl";
    return uartloader::WriteMflFile(s.loaderSettings, settings);
}

} // namespace

Result<SampleSet> WriteSampleSet(const std::string& folder) {
    SampleSet set;
    set.folder = folder;
    if (set.folder.empty() || set.folder.back() != '/')
        set.folder += '/';
    std::error_code ec;
    std::filesystem::create_directories(set.folder, ec);
    if (ec)
        return Failure{"cannot create " + set.folder + ": " + ec.message()};
    if (const Status written = WriteFiles(set); !written)
        return Failure{written.Error()};
    return set;
}

} // namespace marlow::samples
