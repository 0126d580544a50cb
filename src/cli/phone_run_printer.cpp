#include "cli/phone_run_printer.h"

#include "cli/output.h"
#include "phone/phone_states.h"

#include <cstdio>

namespace marlow::cli {

QJsonObject PhoneEventJson(const phone::PhoneRunEvent& event) {
    return JsonOf(phone::RecordOf(event));
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
    OutNow(CrLfToLf(std::string_view(text_).substr(printed_)));
    printed_ = text_.size();
}

CliPhoneEvents::CliPhoneEvents(PhoneCliOutput output, std::function<std::string()> currentPart,
                               std::function<void()> progressed)
    : output_(output), currentPart_(std::move(currentPart)), progressed_(std::move(progressed)) {}

void CliPhoneEvents::Post(const phone::PhoneRunEvent& event) {
    if (progressed_)
        progressed_();
    if (output_.json)
        OutJsonLine(PhoneEventJson(event));
    skin_.Show(event);
    if (const auto* finished = std::get_if<RunFinished>(&event))
        reason_ = finished->reason;
    if (const std::optional<phone::PhoneRunEnd> end = ends_.Follow(event))
        ended_ = end;
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
    board_.Update(line_, "", position, currentPart_());
}

void CliPhoneEvents::MessageBox(std::string_view text, std::string_view) {
    board_.Note("message: " + std::string(text));
}

void CliPhoneEvents::EndedByCommand(const std::string& reason) {
    board_.Close();
    Err("marlow-cli phone: " + reason + "\n");
}

} // namespace marlow::cli
