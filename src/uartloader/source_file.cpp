#include "uartloader/source_file.h"

#include "common/printable_text.h"
#include "uartloader/link_steps.h"

#include <limits>

namespace marlow::uartloader {

Result<SourceFile> OpenSourceFile(UartRunContext& run, std::size_t row, std::string_view what) {
    const std::string& path = run.inputs.filePaths[row];
    Result<InputFile> file =
        path.empty() ? Failure{"no file chosen for this row"} : InputFile::Open(path);
    run.ShowCurrentFile(row < run.inputs.names.size() ? run.inputs.names[row] : std::string());
    if (!file)
        return StepFailure(what, path.empty()
                                     ? file.Error()
                                     : "cannot open " + Printable(path) + ": " + file.Error());
    if (file->Size() > std::numeric_limits<std::uint32_t>::max())
        return StepFailure(what,
                           Printable(path) + " is larger than the 4 GiB a size word can carry");
    return SourceFile{std::move(*file), static_cast<std::uint32_t>(file->Size())};
}

} // namespace marlow::uartloader
