#pragma once
// Which USB devices are PDA boot loaders: the setting "PdaUsbIds", a list of
// vendor:product pairs in hexadecimal ("045e:00ce,1234:5678").

#include "common/result.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class QSettings;

namespace marlow::usb {

struct UsbId {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    bool operator==(const UsbId&) const = default;
};

// Used while "PdaUsbIds" is not set: the id the handset's boot loader has
// always reported.
inline constexpr std::string_view kDefaultPdaUsbIds = "045e:00ce";
inline constexpr const char* kPdaUsbIdsSetting = "PdaUsbIds";

// "vvvv:pppp[,vvvv:pppp...]": four hex digits each, blanks around items
// allowed, duplicates dropped. A failure names the bad item ("item 2 …"); the
// caller says where the list came from.
Result<std::vector<UsbId>> ParsePdaUsbIds(std::string_view text);
std::string FormatPdaUsbIds(const std::vector<UsbId>& ids);
bool MatchesAny(const std::vector<UsbId>& ids, std::uint16_t vendor, std::uint16_t product);

// The setting's text from `store`, or the default when it is unset or
// blank. The list may be written quoted or not; either way every item is in
// the text.
std::string ReadPdaUsbIdsSetting(const QSettings& store);
// The setting's ids from `store`, or why the setting is bad ("bad setting
// PdaUsbIds: item 2 …"): a list with a bad item is refused whole, never
// shortened.
Result<std::vector<UsbId>> ReadPdaUsbIds(const QSettings& store);

} // namespace marlow::usb
