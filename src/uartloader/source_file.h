#pragma once
// Opening one of the run's files: the path from the run's file table, the
// list name shown in the "Current Download File" label, and a size that
// fits the protocol's 32-bit size word.

#include "common/input_file.h"
#include "uartloader/run_context.h"

namespace marlow::uartloader {

struct SourceFile {
    InputFile file;
    std::uint32_t size = 0;
};

// Shows list name `row` whatever the outcome; a failure names `what`.
Result<SourceFile> OpenSourceFile(UartRunContext& run, std::size_t row, std::string_view what);

} // namespace marlow::uartloader
