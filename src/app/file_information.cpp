#include "app/file_information.h"

#include "common/little_endian.h"
#include "common/printf_text.h"
#include "stamp/stamp_operations.h"

#include <cinttypes>

namespace marlow::app {

namespace {

constexpr const char* kTooShortForTrailer =
    "Invalid Bin file or lst file!\nChoose Correct file for download";

std::string FormatTime(const std::tm& time, const char* format) {
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &time);
    return std::string(text, length);
}

bool TooShortForTrailer(const FileFacts& facts) {
    return !facts.trailer.has_value();
}

std::uint32_t LaunchAddress(const FileFacts& facts) {
    static constexpr std::size_t kLaunchAddressOffset = 4;
    return facts.endRecord ? LoadLe32(*facts.endRecord, kLaunchAddressOffset) : 0;
}

} // namespace

stamp::Stamp DisplayedStamp(const FileFacts& facts) {
    if (TooShortForTrailer(facts))
        return {};
    if (!stamp::LooksStamped(*facts.trailer))
        return stamp::Stamp{stamp::kNoStamp, stamp::kNoStamp};
    return stamp::ParseTrailer(*facts.trailer);
}

FileInformationBlock ShowFileInformation(const Result<FileFacts>& facts) {
    FileInformationBlock block;
    if (!facts) {
        block.prints.push_back("\nFile not found");
        return block;
    }
    if (TooShortForTrailer(*facts))
        block.messageBox = kTooShortForTrailer;
    const stamp::Stamp stamp = DisplayedStamp(*facts);

    block.clearWindowFirst = true;
    block.prints = {
        "\n|------------------------   File Infomation   ------------------------|\n",
        "|",
        Printf("\n| Full File Name : %s\n", facts->fullPathName.c_str()),
        "|",
        // Printed unsigned and 64 bits wide: an image of 2 GiB or more shows
        // its real size, not a negative number.
        Printf("\n| File Size          : %" PRIu64 " Bytes\n", facts->size),
        "|",
        Printf("\n| Date / Time     : %s",
               FormatTime(facts->modifiedLocal, "%Y-%m-%d / %H:%M:%S\n").c_str()),
        "|",
        Printf("\n| Model / Version :%s  / %s ", stamp.model.c_str(), stamp.version.c_str()),
        "\n|",
        "\n|-------------------------------------------------------------------|\n",
    };
    if (TooShortForTrailer(*facts))
        block.prints.push_back("Invalid File! Choose Correct Bin File or lst File");
    return block;
}

FrontPanelFileInformation ShowFileInformationOnPanel(const Result<FileFacts>& facts) {
    FrontPanelFileInformation panel;
    if (!facts)
        return panel;
    if (TooShortForTrailer(*facts))
        panel.messageBox = kTooShortForTrailer;
    const stamp::Stamp stamp = DisplayedStamp(*facts);
    panel.texts = FrontPanelFileTexts{
        Printf("%" PRIu64 " Bytes", facts->size),
        FormatTime(facts->modifiedLocal, "%Y-%m-%d / %H:%M:%S"),
        stamp.model,
        stamp.version,
    };
    return panel;
}

std::vector<std::string> ShowImageInformation(const Result<FileFacts>& facts) {
    if (!facts)
        return {};
    static constexpr std::size_t kStartAddressOffset = 7;
    static constexpr std::size_t kImageLengthOffset = 11;
    std::vector<std::string> prints = {
        "\n|-----------------------   Image Information   ---------------------|\n",
        "|",
        Printf("\n| Start Address      : 0x%08X\n", LoadLe32(facts->head, kStartAddressOffset)),
        "|",
        // The length is an unsigned 32-bit field: shown as such, never negative.
        Printf("\n| Length                 : %u Bytes\n",
               LoadLe32(facts->head, kImageLengthOffset)),
        "|",
        Printf("\n| Launch Address  : 0x%08X\n", LaunchAddress(*facts)),
        "|",
        "\n|-------------------------------------------------------------------|",
    };
    if (!facts->endRecord)
        prints.push_back("Invalid Image! Choose Correct Bin File or lst File");
    return prints;
}

} // namespace marlow::app
