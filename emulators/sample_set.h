#pragma once
// The built-in sample set: small but complete inputs for every job, written
// by our own writers so no binary sample is ever committed. The demo, the
// emulators and the tests all start from it.

#include "common/result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace marlow::samples {

struct SampleSet {
    std::string folder;                      // ends in "/"
    std::vector<std::string> images;         // the .bin files, in list order
    std::string list;                        // quill_all.lst (two images + phone group)
    std::string phonePackage;                // Phone.brx
    std::vector<std::string> phoneFiles;     // psi.flb, slb.flb, modem.fls, modem.eep
    std::string stmList;                     // Brix.stm
    std::vector<std::string> partitionFiles; // rows 0..7 of the UART loader
    std::string loaderSettings; // loader.mfl (Total Write rows point at the files above)
};

// The model and version the sample images are stamped with.
inline constexpr const char* kSampleModel = "QUILLON-A1";
inline constexpr const char* kSampleVersion = "V1.4";

// Writes the set into `folder` (created if missing); fails when something
// could not be written.
Result<SampleSet> WriteSampleSet(const std::string& folder);

} // namespace marlow::samples
