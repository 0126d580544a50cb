#include "cli/phone_run_printer.h"

#include "cli/output.h"
#include "phone/phone_states.h"

#include <cstdio>
#include <unistd.h>

namespace marlow::cli {

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

CliPhoneEvents::CliPhoneEvents(PhoneCliOutput output, std::function<std::string()> currentPart,
                               std::function<void()> progressed)
    : output_(output), currentPart_(std::move(currentPart)), progressed_(std::move(progressed)) {}

void CliPhoneEvents::Post(const phone::PhoneRunEvent& event) {
    if (progressed_)
        progressed_();
    if (output_.json)
        Json(event);
    skin_.Show(event);
    if (const std::optional<phone::PhoneRunEnd> end = ends_.Follow(event))
        ended_ = end;
}

void CliPhoneEvents::Json(const phone::PhoneRunEvent& event) {
    OutJsonLine(JsonOf(phone::RecordOf(event)));
}

void CliPhoneEvents::Trace(app::MessageWindowId window, std::string_view text) {
    if (output_.trace && !output_.json && window == app::MessageWindowId::DeviceState)
        printer_.WritePrint(deviceState_, text);
}

void CliPhoneEvents::ClearTrace(app::MessageWindowId window) {
    if (output_.trace && !output_.json && window == app::MessageWindowId::DeviceState)
        printer_.ClearMessageWindow(deviceState_);
}

void CliPhoneEvents::SetProgress(int position) {
    progress_.Show(currentPart_(), position);
}

void CliPhoneEvents::MessageBox(std::string_view text, std::string_view) {
    progress_.Note("message: " + std::string(text));
}

void CliPhoneEvents::EndedByCommand(const std::string& reason) {
    progress_.Close();
    Err("marlow-cli phone: " + reason + "\n");
}

} // namespace marlow::cli
