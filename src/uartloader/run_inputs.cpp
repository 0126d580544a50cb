#include "uartloader/run_inputs.h"

#include "uartloader/request_codes.h"

namespace marlow::uartloader {

RunInputs ChooseRunInputs(const LoaderSettings& settings, const StmList& list, bool totalWrite,
                          bool listInvalid) {
    RunInputs inputs;
    inputs.rows = settings.rows;
    inputs.names = list.names;
    inputs.listInvalid = listInvalid;
    if (totalWrite) {
        for (std::size_t row = 0; row < kStmMaxEntries; ++row)
            inputs.filePaths[row] = list.paths[row];
        inputs.rows[kNormalRow].extAddress = settings.rows[kTotalWriteRow].extAddress;
    } else {
        for (std::size_t row = 0; row < kFileRoleCount; ++row)
            inputs.filePaths[row] = settings.rows[row].path;
    }
    return inputs;
}

} // namespace marlow::uartloader
