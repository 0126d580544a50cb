#include "uartloader/source_file.h"

#include "common/printable_text.h"

#include <limits>

namespace marlow::uartloader {

std::optional<SourceFile> OpenSourceFile(UartRunContext& run, std::size_t row,
                                         std::string_view what, StepResult& why) {
    const std::string& path = run.inputs.filePaths[row];
    Result<InputFile> file =
        path.empty() ? Failure{"no file chosen for this row"} : InputFile::Open(path);
    run.ShowCurrentFile(row < run.inputs.names.size() ? run.inputs.names[row] : std::string());
    if (!file) {
        why = StepResult::Failure(what, path.empty() ? file.Error()
                                                     : "cannot open " + Printable(path) + ": " +
                                                           file.Error());
        return std::nullopt;
    }
    if (file->Size() > std::numeric_limits<std::uint32_t>::max()) {
        why = StepResult::Failure(what, Printable(path) +
                                            " is larger than the 4 GiB a size word can carry");
        return std::nullopt;
    }
    return SourceFile{std::move(*file), static_cast<std::uint32_t>(file->Size())};
}

} // namespace marlow::uartloader
