// marlow-cli usb: every connected USB device, which of them Marlow would take
// for the handset's boot loader ("PdaUsbIds"), which have a bulk IN/OUT pair
// and which this user may open, so a missing id or udev rule shows at once.

#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/settings_store.h"
#include "cli/shared_options.h"
#include "usb/libusb_survey.h"
#include "usb/usb_ids.h"

#include <QCommandLineParser>
#include <QJsonObject>
#include <cstdio>

namespace marlow::cli {
namespace {

const char* AccessText(usb::UsbAccess access) {
    switch (access) {
    case usb::UsbAccess::Granted:
        return "open ok";
    case usb::UsbAccess::PermissionDenied:
        return "permission denied";
    case usb::UsbAccess::Failed:
        break;
    }
    return "cannot open";
}

std::string Row(const std::string& path, const std::string& id, const std::string& match,
                const std::string& bulk, const std::string& access,
                const std::string& description) {
    char line[512];
    std::snprintf(line, sizeof line, "%-14s %-9s  %-5s  %-4s  %-17s  %s\n", path.c_str(),
                  id.c_str(), match.c_str(), bulk.c_str(), access.c_str(), description.c_str());
    return line;
}

QJsonObject EntryJson(const usb::UsbSurveyEntry& entry, bool matches) {
    QJsonObject o;
    o["path"] = QString::fromStdString(entry.info.path);
    o["id"] = QString::fromStdString(usb::FormatUsbId(entry.info.vendor, entry.info.product));
    o["matchesPdaUsbIds"] = matches;
    o["bulkPair"] = entry.hasBulkPair;
    o["access"] = AccessText(entry.access);
    if (!entry.accessProblem.empty())
        o["accessProblem"] = QString::fromStdString(entry.accessProblem);
    o["description"] = QString::fromStdString(entry.description);
    return o;
}

// What the operator should do next, device by device.
std::string Advice(const usb::UsbSurveyEntry& entry, bool matches) {
    const std::string who =
        entry.info.path + " (" + usb::FormatUsbId(entry.info.vendor, entry.info.product) + ")";
    if (matches && !entry.hasBulkPair)
        return who + " matches PdaUsbIds but has no bulk IN/OUT pair: it cannot be the boot "
                     "loader; check the id\n";
    if (matches && entry.access != usb::UsbAccess::Granted)
        return entry.accessProblem + "\n";
    if (!matches && entry.hasBulkPair)
        return who + " has a bulk IN/OUT pair: if it is the handset's boot loader, add " +
               usb::FormatUsbId(entry.info.vendor, entry.info.product) + " to PdaUsbIds\n";
    return {};
}

int RunUsb(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Lists the connected USB devices: place, id, whether the id is in PdaUsbIds (PDA), "
        "whether the device has a bulk IN/OUT pair (bulk) and whether this user may open it.");
    parser.addOption(
        {"ids", "Boot loader ids to match instead of the PdaUsbIds setting.", "vvvv:pppp[,...]"});
    parser.addOption({"json", "Print one JSON object per device instead of text."});
    int exitCode = kExitOk;
    if (!ParseArguments(parser, args, &exitCode))
        return exitCode;

    // A bad id, in --ids or in the setting, is a bad argument either way.
    const bool fromOption = parser.isSet("ids");
    const auto ids = fromOption ? usb::ParsePdaUsbIds(parser.value("ids").toStdString())
                                : usb::ReadPdaUsbIds(UserSettingsStore());
    if (!ids) {
        Err("marlow-cli usb: " + std::string(fromOption ? "--ids: " : "") + ids.Error() +
            (fromOption ? "\n" : " (fix the setting or use --ids)\n"));
        return kExitUsage;
    }

    const auto context = usb::LibusbContext::Create();
    if (!context) {
        Err("marlow-cli usb: " + context.Error() + "\n");
        return kExitFailed;
    }
    const auto survey = usb::SurveyUsbDevices(**context);
    if (!survey) {
        Err("marlow-cli usb: " + survey.Error() + "\n");
        return kExitFailed;
    }
    const std::vector<usb::UsbSurveyEntry>& entries = *survey;

    const bool json = parser.isSet("json");
    std::string table = Row("PATH", "ID", "MATCH", "BULK", "ACCESS", "DESCRIPTION");
    std::string advice;
    bool anyMatch = false;
    for (const usb::UsbSurveyEntry& entry : entries) {
        const bool matches = usb::MatchesAny(*ids, entry.info.vendor, entry.info.product);
        anyMatch = anyMatch || matches;
        if (json)
            OutJsonLine(EntryJson(entry, matches));
        table += Row(entry.info.path, usb::FormatUsbId(entry.info.vendor, entry.info.product),
                     matches ? "PDA" : "-", entry.hasBulkPair ? "bulk" : "-",
                     AccessText(entry.access), entry.description);
        advice += Advice(entry, matches);
    }
    if (!json)
        OutNow(entries.empty() ? "No USB devices found.\n" : table); // before the advice
    if (!anyMatch)
        advice += "No connected device matches PdaUsbIds " + usb::FormatPdaUsbIds(*ids) +
                  ": connect the handset in boot loader mode, or add its id to PdaUsbIds\n";
    Err(advice);
    return kExitOk;
}

CommandRegistrar reg({"usb", "list USB devices, their ids, bulk pipes and access rights", RunUsb});

} // namespace
} // namespace marlow::cli
