#include "cli/support_output.h"

#include "cli/command_registry.h"

#include <QJsonDocument>

namespace marlow::cli {

void Out(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void Err(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void OutJsonLine(const QJsonObject& object) {
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    Out(std::string_view(json.constData(), static_cast<std::size_t>(json.size())));
    Out("\n");
    std::fflush(stdout);
}

std::string Hex32(std::uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", value);
    return buf;
}

std::string CrLfToLf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out.push_back(text[i]);
    }
    return out;
}

} // namespace marlow::cli

#include <QCommandLineParser>
#include <QStringList>

namespace marlow::cli {

namespace {

// The first option or argument that was given an empty value, as the
// user wrote it; empty when there is none.
QString EmptyValue(const QCommandLineParser& parser, const QStringList& mayBeEmpty) {
    for (const QString& name : parser.optionNames())
        if (!mayBeEmpty.contains(name) && parser.values(name).contains(QString()))
            return "--" + name;
    if (parser.positionalArguments().contains(QString()))
        return "an argument";
    return {};
}

} // namespace

bool ParseArguments(QCommandLineParser& parser, const QStringList& args, int* exitCode,
                    const QStringList& mayBeEmpty) {
    const QCommandLineOption help = parser.addHelpOption();
    QString error;
    if (!parser.parse(args))
        error = parser.errorText();
    else if (const QString empty = EmptyValue(parser, mayBeEmpty); !empty.isEmpty())
        error = empty + " is given an empty value";
    if (!error.isEmpty()) {
        Err(args.value(0).toStdString() + ": " + error.toStdString() + "\n(see --help)\n");
        *exitCode = kExitUsage;
        return false;
    }
    if (parser.isSet(help)) {
        // Qt names the program only; name the command too.
        QString text = parser.helpText();
        const qsizetype lineEnd = text.indexOf(' ', text.indexOf("Usage: ") + 7);
        if (text.startsWith("Usage: ") && lineEnd > 0)
            text.replace(0, lineEnd, "Usage: " + args.value(0));
        Out(text.toStdString());
        *exitCode = kExitOk;
        return false;
    }
    return true;
}

QJsonObject JsonOf(const EventRecord& record) {
    QJsonObject object;
    object["event"] = record.event;
    for (const EventField& field : record.fields) {
        if (const auto* text = std::get_if<std::string>(&field.value))
            object[field.name] = QString::fromStdString(*text);
        else if (const auto* number = std::get_if<std::int64_t>(&field.value))
            object[field.name] = static_cast<qint64>(*number);
        else
            object[field.name] = std::get<bool>(field.value);
    }
    return object;
}

} // namespace marlow::cli
