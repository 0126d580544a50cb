#include "records/run_inputs.h"

#include "common/sha256.h"
#include "stamp/trailer.h"
#include "uartloader/run_inputs.h"

namespace marlow::records {

namespace {

// The model and version a file's tail holds, where it looks stamped to the
// information display too.
void ReadStamp(InputFacts& input) {
    const stamp::TrailerRead tail = stamp::ReadTrailerBytes(input.path);
    if (tail.status != stamp::TrailerStatus::Ok || !stamp::LooksStamped(tail.bytes))
        return;
    const stamp::Stamp stamp = stamp::ParseTrailer(tail.bytes);
    input.model = stamp.model;
    input.version = stamp.version;
}

// The plan check's digest of an image it read whole, where the plan carries
// one; the image is read here otherwise.
template <typename Image> std::string DigestKnown(const Image& image) {
    if constexpr (requires { image.sha256; })
        return image.sha256;
    else
        return {};
}

} // namespace

InputFacts InputOf(std::string role, const std::string& path, std::string source) {
    InputFacts input{.role = std::move(role), .path = path, .source = std::move(source)};
    if (const Result<FileDigest> digest = DigestOfFile(path)) {
        input.size = digest->size;
        input.sha256 = digest->sha256;
        ReadStamp(input);
    }
    return input;
}

std::vector<InputFacts> InputsOfPlan(const std::string& file, const pda::DownloadPlan& plan) {
    const bool lone = plan.images.size() == 1 && plan.images.front().path == file;
    std::vector<InputFacts> inputs;
    if (!lone)
        inputs.push_back(InputOf("list", file));
    const std::string source = lone ? std::string() : file;
    for (const pda::PlannedImage& image : plan.images) {
        const std::string known = DigestKnown(image);
        if (known.empty() || !image.size) {
            inputs.push_back(InputOf("image", image.path, source));
            continue;
        }
        InputFacts input{.role = "image",
                         .path = image.path,
                         .size = static_cast<std::int64_t>(*image.size),
                         .sha256 = known,
                         .source = source};
        ReadStamp(input);
        inputs.push_back(std::move(input));
    }
    for (const pda::PhoneGroupFile& member : plan.phoneGroup)
        inputs.push_back(InputOf(phone::PhoneFileRoleKey(member.role), member.path, file));
    return inputs;
}

std::vector<InputFacts> InputsOfPhoneFiles(const phone::PhoneFileSet& files,
                                           const std::string& package) {
    std::vector<InputFacts> inputs;
    if (!package.empty())
        inputs.push_back(InputOf("package", package));
    for (std::size_t role = 0; role < phone::kPhoneRoleCount; ++role) {
        const phone::PhoneFileEntry& entry = files.roles[role];
        if (!entry.path.empty())
            inputs.push_back(
                InputOf(phone::PhoneFileRoleKey(static_cast<phone::PhoneFileRole>(role)),
                        entry.path, package));
    }
    return inputs;
}

std::vector<InputFacts> InputsOfLoaderRun(const uartloader::UartLoaderSession& session) {
    const uartloader::RunInputs run = uartloader::ChooseRunInputs(
        session.Settings(), session.List(), session.TotalWriteMode(), session.ListInvalid());
    std::vector<InputFacts> inputs;
    for (std::size_t row = 0; row + 1 < run.filePaths.size(); ++row)
        if (!run.filePaths[row].empty())
            inputs.push_back(InputOf("image", run.filePaths[row]));
    return inputs;
}

} // namespace marlow::records
