#include "uartloader/loader_settings.h"

#include "common/input_file.h"
#include "common/line_reader.h"
#include "common/path_rules.h"
#include "common/printable_text.h"
#include "common/regular_file.h"

#include <cstdio>

namespace marlow::uartloader {

namespace {

constexpr char kDefaultNormalExtAddress[] = "3D00000";

constexpr std::array<const char*, kFileRoleCount> kDefaultPaths = {
    "C:\\Marlow_V1.4Beta\\2nd_8810bx_stlocked_secure_dev_start_uart2_new.bin",
    "C:\\Marlow_V1.4Beta\\elpida_ddr512_133.bin",
    "C:\\Marlow_V1.4Beta\\boot_flashloader_velmora_NewMap.plain",
    "C:\\Marlow_V1.4Beta\\XL_8810BX_NAND_SDA_0_0_0.BIN",
    "C:\\Marlow_V1.4Beta\\elpida_ddr512_133.bin",
    "C:\\Marlow_V1.4Beta\\adl_test.plain",
    "C:\\Marlow_V1.4Beta\\production_test.plain",
    "C:\\Marlow_V1.4Beta\\eboot.nb0",
    "C:\\Marlow_V1.4Beta\\Brix.stm",
};

constexpr std::size_t kNormalImageRow = 7;
constexpr std::size_t kTotalWriteRow = 8;

// The 27 text fields in the order the file holds them, after the port line.
std::array<std::string*, kMflLineCount - 1> FieldsInFileOrder(LoaderSettings& settings) {
    std::array<std::string*, kMflLineCount - 1> fields{};
    for (std::size_t row = 0; row < kFileRoleCount; ++row) {
        fields[3 * row] = &settings.rows[row].path;
        fields[3 * row + 1] = &settings.rows[row].extAddress;
        fields[3 * row + 2] = &settings.rows[row].entryPoint;
    }
    return fields;
}

// A lone CR is kept: the reader strips only the one that ends a line.
bool HoldsLineBreak(const std::string& text) {
    return text.find('\n') != std::string::npos;
}

bool AnyFieldHoldsLineBreak(const LoaderSettings& settings) {
    if (HoldsLineBreak(settings.port))
        return true;
    for (const FileRow& row : settings.rows) {
        if (HoldsLineBreak(row.path) || HoldsLineBreak(row.extAddress) ||
            HoldsLineBreak(row.entryPoint))
            return true;
    }
    return false;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + kMflLineCount);
    for (const char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

void Show(MflContents& read, std::string text) {
    read.notes.push_back({NoteKind::MessageBox, std::move(text)});
}

} // namespace

LoaderSettings LoaderSettings::Defaults() {
    LoaderSettings settings;
    for (std::size_t row = 0; row < kFileRoleCount; ++row)
        settings.rows[row].path = kDefaultPaths[row];
    settings.rows[kNormalImageRow].extAddress = kDefaultNormalExtAddress;
    settings.rows[kTotalWriteRow].extAddress = kDefaultNormalExtAddress;
    return settings;
}

std::string FormatMflText(const LoaderSettings& settings) {
    std::string text = settings.port + "\n";
    for (const FileRow& row : settings.rows)
        text += row.path + "\n" + row.extAddress + "\n" + row.entryPoint + "\n";
    return text;
}

Result<MflContents> ReadMflFile(const std::string& path, const LoaderSettings& current) {
    const std::string name = Printable(FileNamePart(path));
    Result<InputFile> file = InputFile::Open(path);
    if (!file)
        return Failure{"Failed to open file " + name + ": " + file.Error()};

    MflContents read{.settings = current};
    const auto fields = FieldsInFileOrder(read.settings);
    LineReader lines(file->Handle(), {kMflMaxLine, kMflLineCount});
    std::string line;
    while (read.linesRead < kMflLineCount) {
        const LineStatus status = lines.Next(line);
        if (status == LineStatus::EndOfFile)
            break;
        if (status != LineStatus::Line)
            return Failure{"Failed to read file " + name + ": " + lines.Fault()};
        if (read.linesRead == 0) {
            read.portRead = line.find_first_not_of(" \t") != std::string::npos;
            if (read.portRead)
                read.settings.port = line;
            else
                Show(read, "Line 1 of " + name + " names no port; the port is left as it was");
        } else {
            *fields[read.linesRead - 1] = line;
        }
        ++read.linesRead;
    }

    // A short file is not an error the operator must acknowledge, but the
    // fields it did not reach keep their earlier values: the log says so.
    if (read.linesRead < kMflLineCount) {
        read.notes.push_back(
            {NoteKind::TraceLine, name + " holds only " + std::to_string(read.linesRead) +
                                      " of 28 lines; the fields after them are left as they "
                                      "were\r\n"});
    }
    return read;
}

Status WriteMflFile(const std::string& path, const LoaderSettings& settings) {
    const std::string name = Printable(FileNamePart(path));
    if (AnyFieldHoldsLineBreak(settings))
        return Failure{"Failed to write file " + name + ": a field holds a line break"};

    const std::string text = WithCrLf(FormatMflText(settings));
    const Result<std::FILE*> created = CreateRegularFile(path);
    if (!created)
        return Failure{"Failed to open file " + name + ": " + created.Error()};
    std::FILE* file = *created;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
        return Failure{"Failed to write file " + name};
    return {};
}

} // namespace marlow::uartloader
