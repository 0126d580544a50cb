#pragma once
// What one run works from, fixed when it starts: the file table chosen by
// the write mode, the list names for the "Current Download File" label, the
// address texts, and whether the STM list was refused.

#include "uartloader/loader_settings.h"
#include "uartloader/stm_list.h"

#include <array>
#include <string>

namespace marlow::uartloader {

struct RunInputs {
    std::array<std::string, kFileRoleCount> filePaths; // rows 0 to 7 are sent
    std::array<std::string, kStmMaxEntries> names;
    std::array<FileRow, kFileRoleCount> rows; // for the address texts
    bool listInvalid = false;
};

// "Seperate Write" takes the dialog's file fields; "Total Write" takes the
// STM list's paths and lets the total-write row's "Ext. Address" stand for
// the normal image's, so REQ_FLASH_NORMAL carries the total-write address.
RunInputs ChooseRunInputs(const LoaderSettings& settings, const StmList& list, bool totalWrite,
                          bool listInvalid);

} // namespace marlow::uartloader
