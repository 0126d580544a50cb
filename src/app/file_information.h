#pragma once
// The File Information and Image Information blocks shown whenever the
// download file changes, as the exact texts to write: one string per
// `WritePrint` call, already formatted (write them with the verbatim form, so
// a "%" in a path is never taken for a format). The owner decides where they
// go: the File Information window, the front panel, or the command line.

#include "common/result.h"
#include "stamp/trailer.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace marlow::app {

inline constexpr std::size_t kImageHeadSize = 15;
inline constexpr std::size_t kEndRecordSize = 12;

// What the information blocks need to know about the download file.
struct FileFacts {
    std::string fullPathName;
    std::uint64_t size = 0;
    std::tm modifiedLocal{};
    // The first 15 bytes; bytes past the end of a shorter file read as zero.
    std::array<std::uint8_t, kImageHeadSize> head{};
    // The last 20 bytes, when the file has that many.
    std::optional<stamp::TrailerBytes> trailer;
    // The last 12 bytes, when the file is longer than that.
    std::optional<std::array<std::uint8_t, kEndRecordSize>> endRecord;
};

// Why not when the file cannot be opened for reading (or is no regular
// file). Reads only the first 15 and the last 20 bytes whatever the file's
// size, and closes the file before returning.
Result<FileFacts> ReadFileFacts(const std::string& path);

// The window form of `ShowFileInformation`, in the order it happens: the
// message box (if any), then the clear (if asked), then the writes.
struct FileInformationBlock {
    std::optional<std::string> messageBox;
    bool clearWindowFirst = false;
    std::vector<std::string> prints;
    bool operator==(const FileInformationBlock&) const = default;
};

// The front panel form: four texts, and the same message box for a file too
// short to be an image.
struct FrontPanelFileTexts {
    std::string size;
    std::string dateTime;
    std::string model;
    std::string version;
    bool operator==(const FrontPanelFileTexts&) const = default;
};

struct FrontPanelFileInformation {
    std::optional<std::string> messageBox;
    std::optional<FrontPanelFileTexts> texts; // nullopt: the file could not be opened
};

// Model and version as the information display shows them: empty for a file
// too short to hold a trailer, "NONE" twice for a tail that is not a stamp.
stamp::Stamp DisplayedStamp(const FileFacts& facts);

// `facts` is a failure for a file that could not be opened.
FileInformationBlock ShowFileInformation(const Result<FileFacts>& facts);
FrontPanelFileInformation ShowFileInformationOnPanel(const Result<FileFacts>& facts);
// Nothing at all for a file that could not be opened.
std::vector<std::string> ShowImageInformation(const Result<FileFacts>& facts);

} // namespace marlow::app
