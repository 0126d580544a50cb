#include "usb/usb_ids.h"

#include "usb/libusb_device_info.h"

#include <QSettings>
#include <algorithm>
#include <cctype>
#include <optional>

namespace marlow::usb {
namespace {

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<std::uint16_t> ParseHex16(std::string_view digits) {
    if (digits.size() != 4)
        return std::nullopt;
    std::uint16_t value = 0;
    for (const char c : digits) {
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0)
            return std::nullopt;
        const int digit = std::isdigit(static_cast<unsigned char>(c)) != 0
                              ? c - '0'
                              : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        value = static_cast<std::uint16_t>(value << 4 | digit);
    }
    return value;
}

std::optional<UsbId> ParseItem(std::string_view item) {
    const std::size_t colon = item.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto vendor = ParseHex16(item.substr(0, colon));
    const auto product = ParseHex16(item.substr(colon + 1));
    if (!vendor || !product)
        return std::nullopt;
    return UsbId{*vendor, *product};
}

} // namespace

Result<std::vector<UsbId>> ParsePdaUsbIds(std::string_view text) {
    std::vector<UsbId> ids;
    int position = 0;
    for (;;) {
        ++position;
        const std::size_t comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        const std::optional<UsbId> id = ParseItem(item);
        if (!id)
            return Failure{"item " + std::to_string(position) + " \"" + std::string(item) +
                           "\" is not a USB id: write vvvv:pppp with four hex digits each, "
                           "several separated by commas (e.g. 045e:00ce,1234:5678)"};
        if (std::find(ids.begin(), ids.end(), *id) == ids.end())
            ids.push_back(*id);
        if (comma == std::string_view::npos)
            return ids;
        text.remove_prefix(comma + 1);
    }
}

std::string FormatPdaUsbIds(const std::vector<UsbId>& ids) {
    std::string text;
    for (const UsbId& id : ids) {
        if (!text.empty())
            text += ',';
        text += FormatUsbId(id.vendor, id.product);
    }
    return text;
}

bool MatchesAny(const std::vector<UsbId>& ids, std::uint16_t vendor, std::uint16_t product) {
    return std::find(ids.begin(), ids.end(), UsbId{vendor, product}) != ids.end();
}

Result<std::vector<UsbId>> ReadPdaUsbIds(const QSettings& store) {
    Result<std::vector<UsbId>> ids = ParsePdaUsbIds(ReadPdaUsbIdsSetting(store));
    if (!ids)
        return Failure{"bad setting PdaUsbIds: " + ids.Error()};
    return ids;
}

std::string ReadPdaUsbIdsSetting(const QSettings& store) {
    // The settings file reads an unquoted "045e:00ce,1234:abcd" as a list of
    // two values, a quoted one as one text: both are the same list of ids.
    const QVariant value = store.value(QString::fromLatin1(kPdaUsbIdsSetting));
    const std::string text = value.typeId() == QMetaType::QStringList
                                 ? value.toStringList().join(',').toStdString()
                                 : value.toString().toStdString();
    if (Trim(text).empty())
        return std::string(kDefaultPdaUsbIds);
    return text;
}

} // namespace marlow::usb
