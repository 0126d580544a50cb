#include "cli/phone_run_printer.h"

#include "cli/output.h"
#include "phone/phone_states.h"

#include <QJsonObject>
#include <cstdio>
#include <unistd.h>

namespace marlow::cli {

const char* PhoneTargetName(phone::PhoneTarget target) {
    switch (target) {
    case phone::PhoneTarget::DeviceState:
        return "DeviceState";
    case phone::PhoneTarget::DebugMessage:
        return "DebugMessage";
    case phone::PhoneTarget::StatusLine:
        return "StatusLine";
    case phone::PhoneTarget::LogList:
        return "LogList";
    case phone::PhoneTarget::CurrentFile:
        return "CurrentFile";
    case phone::PhoneTarget::PercentLabel:
        return "PercentLabel";
    }
    return "unknown";
}

const char* PhoneRunEndName(phone::PhoneRunEnd end) {
    switch (end) {
    case phone::PhoneRunEnd::Succeeded:
        return "succeeded";
    case phone::PhoneRunEnd::Failed:
        return "failed";
    case phone::PhoneRunEnd::PortNotFound:
        return "port not found";
    }
    return "unknown";
}

std::string PhonePartName(int state) {
    switch (state) {
    case phone::stBooting:
    case phone::stReBooting:
        return "booting";
    case phone::stDownloadPsi:
        return "PSI loader";
    case phone::stDownloadSlb:
        return "second-stage loader";
    case phone::stDownloadFls:
        return "firmware image";
    case phone::stDownloadEep:
        return "EEPROM image";
    case phone::stEndOfProcess:
        return "end of process";
    default:
        break;
    }
    return "waiting";
}

void StreamedTraceWindow::ReplaceToEnd(std::size_t from, std::string_view text) {
    text_.resize(std::min(from, text_.size()));
    printed_ = std::min(printed_, text_.size());
    text_.append(text);
    Out(CrLfToLf(std::string_view(text_).substr(printed_)));
    std::fflush(stdout);
    printed_ = text_.size();
}

ProgressLine::ProgressLine(std::string prefix)
    : prefix_(std::move(prefix)), terminal_(isatty(fileno(stderr)) != 0) {}

void ProgressLine::Show(const std::string& part, int percent) {
    const int tenth = percent / 10;
    if (!terminal_ && part == lastPart_ && tenth == lastTenth_)
        return;
    lastPart_ = part;
    lastTenth_ = tenth;
    char line[160];
    std::snprintf(line, sizeof line, "%s: %-22s %3d%%", prefix_.c_str(), part.c_str(), percent);
    Err(terminal_ ? std::string("\r\033[K") + line : std::string(line) + "\n");
    drawn_ = terminal_;
}

void ProgressLine::Note(const std::string& text) {
    if (drawn_)
        Err("\r\033[K");
    Err(text + "\n");
    drawn_ = false;
    lastTenth_ = -1; // show the line again below the note
}

void ProgressLine::Close() {
    if (drawn_)
        Err("\n");
    drawn_ = false;
}

CliPhonePresentation::CliPhonePresentation(PhoneCliOutput output,
                                           std::function<std::string()> currentPart,
                                           std::function<void()> progressed)
    : output_(output), currentPart_(std::move(currentPart)), progressed_(std::move(progressed)) {}

void CliPhonePresentation::Show(phone::PhoneTarget target, std::string_view text) {
    Progressed();
    if (output_.json) {
        QJsonObject event;
        event["event"] = "text";
        event["target"] = PhoneTargetName(target);
        event["text"] = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        OutJsonLine(event);
    } else if (output_.trace && target == phone::PhoneTarget::DeviceState) {
        printer_.WritePrint(deviceState_, text);
    }
}

void CliPhonePresentation::Progressed() {
    if (progressed_)
        progressed_();
}

void CliPhonePresentation::Clear(phone::PhoneTarget target) {
    Progressed();
    if (output_.json) {
        QJsonObject event;
        event["event"] = "clear";
        event["target"] = PhoneTargetName(target);
        OutJsonLine(event);
    } else if (output_.trace && target == phone::PhoneTarget::DeviceState) {
        printer_.ClearMessageWindow(deviceState_);
    }
}

void CliPhonePresentation::Progress(phone::PhoneProgress progress) {
    Progressed();
    if (progress.kind != phone::PhoneProgress::Kind::Value)
        return;
    if (output_.json) {
        QJsonObject event;
        event["event"] = "progress";
        event["part"] = QString::fromStdString(currentPart_());
        event["percent"] = progress.percent;
        OutJsonLine(event);
    }
    progress_.Show(currentPart_(), progress.percent);
}

void CliPhonePresentation::MessageBox(std::string_view text, std::string_view title) {
    Progressed();
    if (output_.json) {
        QJsonObject event;
        event["event"] = "messageBox";
        event["text"] = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        event["title"] = QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size()));
        OutJsonLine(event);
    }
    progress_.Note("message: " + std::string(text));
}

void CliPhonePresentation::TwoLineMessage(std::string_view first, std::string_view second,
                                          std::uint32_t) {
    MessageBox(std::string(first) + "\n" + std::string(second), "");
}

void CliPhonePresentation::RunEnded(phone::PhoneRunEnd end) {
    ended_ = end;
    if (output_.json) {
        QJsonObject event;
        event["event"] = "end";
        event["result"] = PhoneRunEndName(end);
        OutJsonLine(event);
    }
}

void CliPhonePresentation::EndedByCommand(const char* result, const std::string& reason) {
    if (output_.json) {
        QJsonObject event;
        event["event"] = "end";
        event["result"] = result;
        event["reason"] = QString::fromStdString(reason);
        OutJsonLine(event);
    }
    progress_.Close();
    Err("marlow-cli phone: " + reason + "\n");
}

} // namespace marlow::cli
