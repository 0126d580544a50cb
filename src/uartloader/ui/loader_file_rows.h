#pragma once
// The nine file rows of the loader dialog: a label, the file field, its
// "..." button, the "Ext. Address" and "Entry Point" fields and a progress
// bar, each control named by its dialog id. Row i is file role i of the
// loader settings; row 8 is the STM list of "Total Write" mode.

#include "uartloader/loader_settings.h"

#include <array>

class QGridLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace marlow::uartloader::ui {

struct FileRowLayout {
    const char* label; // as the dialog shows it
    const char* name;  // the row's accessible name, unique in the dialog
    int pathId;
    int browseId;
    int extAddressId;
    int entryPointId;
    int barId;
};

extern const std::array<FileRowLayout, kFileRoleCount> kFileRowLayouts;

inline constexpr std::size_t kStmListRow = kFileRoleCount - 1;
inline constexpr int kAddressLength = 8;

struct FileRowControls {
    QLabel* label = nullptr;
    QLineEdit* path = nullptr;
    QPushButton* browse = nullptr;
    QLineEdit* extAddress = nullptr;
    QLineEdit* entryPoint = nullptr;
    QProgressBar* bar = nullptr;
};

using FileRows = std::array<FileRowControls, kFileRoleCount>;

// The columns every row grid shares, so rows of different groups line up.
enum FileRowColumn {
    kLabelColumn,
    kPathColumn,
    kBrowseColumn,
    kExtColumn,
    kEntryColumn,
    kBarColumn
};

// Builds row `row` into `grid` at grid row `gridRow`, children of `parent`.
FileRowControls MakeFileRow(std::size_t row, QGridLayout& grid, int gridRow, QWidget* parent);

// Puts the column heads "Ext. Address" and "Entry Point" into `gridRow`.
void AddColumnHeads(QGridLayout& grid, int gridRow, QWidget* parent);

// Gives the fixed columns one width across every grid.
void AlignColumns(FileRows& rows);

// "Total Write" uses row 8 alone; "Seperate Write" rows 0 to 7. The
// addresses of rows 0 and 1 are never sent, so they stay disabled.
void ApplyWriteMode(FileRows& rows, bool totalWrite);

// The fields into settings rows and back.
void TakeRows(const FileRows& rows, LoaderSettings& settings);
void ShowRows(FileRows& rows, const LoaderSettings& settings);

} // namespace marlow::uartloader::ui
