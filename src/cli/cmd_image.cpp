// marlow-cli image FILE: what a boot image or list holds, record by record.

#include "cli/arguments.h"
#include "cli/command_registry.h"
#include "cli/output.h"
#include "cli/shared_options.h"
#include "common/path_rules.h"
#include "common/printable_text.h"
#include "pda/boot_image.h"
#include "pda/list_file.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <cstdio>

namespace marlow::cli {
namespace {

const char* RoleName(phone::PhoneFileRole role) {
    switch (role) {
    case phone::PhoneFileRole::PsiLoader:
        return "PSI loader";
    case phone::PhoneFileRole::SecondStageLoader:
        return "second-stage loader";
    case phone::PhoneFileRole::Firmware:
        return "firmware image";
    case phone::PhoneFileRole::Eeprom:
        return "EEPROM image";
    case phone::PhoneFileRole::None:
        break;
    }
    return "no role (No Match File Error!!)";
}

QJsonObject ImageJson(const pda::ImageSummary& s) {
    QJsonObject o;
    o["fileSize"] = static_cast<qint64>(s.fileSize);
    o["startAddress"] = static_cast<qint64>(s.header.startAddress);
    o["imageLength"] = static_cast<qint64>(s.header.imageLength);
    QJsonArray records;
    for (const pda::RecordSummary& r : s.records) {
        QJsonObject rec;
        rec["offset"] = static_cast<qint64>(r.fileOffset);
        rec["address"] = static_cast<qint64>(r.header.address);
        rec["length"] = static_cast<qint64>(r.header.length);
        rec["storedChecksum"] = static_cast<qint64>(r.header.checksum);
        rec["computedSum"] = static_cast<qint64>(r.computedSum);
        rec["chunks"] = static_cast<qint64>(r.chunkCount);
        records.append(rec);
    }
    o["records"] = records;
    if (s.launchAddress)
        o["launchAddress"] = static_cast<qint64>(*s.launchAddress);
    o["ok"] = s.error == pda::ImageReadError::None;
    if (s.error != pda::ImageReadError::None) {
        o["error"] = QString::fromStdString(s.errorText);
        o["errorOffset"] = static_cast<qint64>(s.errorOffset);
    }
    return o;
}

std::string ImageText(const pda::ImageSummary& s, const std::string& indent) {
    std::string out;
    char line[256];
    std::snprintf(line, sizeof line, "%sstart address   %s\n%simage length    %u bytes\n",
                  indent.c_str(), Hex32(s.header.startAddress).c_str(), indent.c_str(),
                  s.header.imageLength);
    out += line;
    if (!s.records.empty()) {
        std::snprintf(line, sizeof line, "%s%5s  %-10s  %-10s  %10s  %-10s  %-10s  %6s\n",
                      indent.c_str(), "#", "offset", "address", "length", "stored sum", "computed",
                      "chunks");
        out += line;
    }
    std::size_t index = 0;
    for (const pda::RecordSummary& r : s.records) {
        const bool mismatch = r.header.checksum != r.computedSum;
        std::snprintf(line, sizeof line, "%s%5zu  %-10llu  %s  %10u  %s  %s  %6u%s\n",
                      indent.c_str(), index++, static_cast<unsigned long long>(r.fileOffset),
                      Hex32(r.header.address).c_str(), r.header.length,
                      Hex32(r.header.checksum).c_str(), Hex32(r.computedSum).c_str(), r.chunkCount,
                      mismatch ? "  (stored sum differs)" : "");
        out += line;
    }
    if (s.launchAddress) {
        std::snprintf(line, sizeof line, "%slaunch address  %s\n", indent.c_str(),
                      Hex32(*s.launchAddress).c_str());
        out += line;
    }
    return out;
}

int ShowImage(const std::string& path, bool json) {
    const pda::ImageSummary summary = pda::ScanBootImage(path);
    const bool ok = summary.error == pda::ImageReadError::None;
    if (json) {
        QJsonObject o = ImageJson(summary);
        o["file"] = QString::fromStdString(path);
        o["kind"] = "image";
        OutJsonLine(o);
    } else if (summary.error != pda::ImageReadError::Open) {
        Out("boot image " + path + "\n" + ImageText(summary, "  "));
    }
    // An open error names the file itself; the others name only an offset.
    const std::string where =
        summary.error == pda::ImageReadError::Open ? std::string() : Printable(path) + ": ";
    if (!ok)
        Err("marlow-cli image: " + where + summary.errorText + "\n");
    return ok ? kExitOk : kExitBadInput;
}

int ShowList(const std::string& path, bool json) {
    pda::ListContents list = pda::ReadListFile(path);
    for (const Note& note : list.notes)
        Err(note.text.substr(note.text.front() == '\n' ? 1 : 0));
    if (list.read && list.NamesNothing())
        list.read = Failure{pda::NothingListedText(path)};
    if (!list.read) {
        if (json) {
            QJsonObject o;
            o["file"] = QString::fromStdString(path);
            o["kind"] = "list";
            o["ok"] = false;
            o["error"] = QString::fromStdString(list.read.Error());
            OutJsonLine(o);
        }
        Err("marlow-cli image: " + list.read.Error() + "\n");
        return kExitBadInput;
    }
    bool allOk = true;
    const std::uint8_t kind = pda::ListKindOf(path);
    QJsonArray entries;
    std::string text = "list " + path + "\n  list kind " + std::to_string(kind) + "\n";
    for (const pda::ListEntry& e : list.entries) {
        const pda::ImageSummary s = pda::ScanBootImage(e.path);
        const bool ok = s.error == pda::ImageReadError::None;
        allOk = allOk && ok;
        QJsonObject entry = ImageJson(s);
        entry["name"] = QString::fromStdString(e.name);
        entry["path"] = QString::fromStdString(e.path);
        entries.append(entry);
        text += "  image " + Printable(e.name) + "  (" + Printable(e.path) + ")\n";
        if (ok)
            text += ImageText(s, "    ");
        else
            text += "    unreadable: " + s.errorText + "\n";
    }
    QJsonArray phone;
    if (list.hasPhoneGroup) {
        text += "  phone group\n";
        for (const pda::PhoneGroupFile& f : list.phoneGroup) {
            text += "    " + Printable(f.name) + "  -> " + RoleName(f.role) + "  (" +
                    Printable(f.path) + ")\n";
            QJsonObject p;
            p["name"] = QString::fromStdString(f.name);
            p["path"] = QString::fromStdString(f.path);
            p["role"] = RoleName(f.role);
            phone.append(p);
        }
    }
    if (json) {
        QJsonObject o;
        o["file"] = QString::fromStdString(path);
        o["kind"] = "list";
        o["listKind"] = kind;
        o["entries"] = entries;
        o["hasPhoneGroup"] = list.hasPhoneGroup;
        o["phoneGroup"] = phone;
        o["ok"] = allOk;
        OutJsonLine(o);
    } else {
        Out(text);
    }
    if (!allOk)
        Err("marlow-cli image: some list entries cannot be downloaded; fix or replace them\n");
    return allOk ? kExitOk : kExitBadInput;
}

int RunImage(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Shows a boot image's header, every record (address, length, stored checksum, "
        "computed sum, chunk count) and its launch address; for a list (.lst), each entry "
        "and the phone group with their roles.");
    parser.addOption({"json", "Print one JSON object instead of text."});
    parser.addPositionalArgument("FILE", "A .bin boot image or a .lst list.");
    int exitCode = kExitOk;
    if (!ParseArguments(parser, args, &exitCode, {.positionals = 1}))
        return exitCode;
    if (parser.positionalArguments().size() != 1) {
        Err("marlow-cli image: give exactly one FILE (see --help)\n");
        return kExitUsage;
    }
    const std::string path = ArgumentBytes(parser.positionalArguments()[0]);
    const bool json = parser.isSet("json");
    if (EndsWithIgnoreCase(path, ".lst"))
        return ShowList(path, json);
    return ShowImage(path, json);
}

CommandRegistrar reg({"image", "show the records of a boot image or the entries of a list",
                      RunImage});

} // namespace
} // namespace marlow::cli
