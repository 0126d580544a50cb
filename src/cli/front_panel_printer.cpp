#include "cli/front_panel_printer.h"

#include "cli/output.h"
#include "cli/pda_event_printer.h"

namespace marlow::cli {

namespace {

// The run's own steps (the controls' changes count as well, in Event).
bool CountsAsProgress(const pda::PdaEvent& event) {
    return std::holds_alternative<pda::StateEntered>(event) ||
           std::holds_alternative<pda::ImageStarted>(event) ||
           std::holds_alternative<pda::PercentReached>(event) ||
           std::holds_alternative<pda::DeviceAnswered>(event) ||
           std::holds_alternative<RunFinished>(event);
}

} // namespace

TotalDisplay::TotalDisplay(PhoneCliOutput output, ProgressHook progressed)
    : output_(output), progressed_(std::move(progressed)) {}

void TotalDisplay::Json(const QJsonObject& line) {
    if (output_.json)
        OutJsonLine(line);
}

void TotalDisplay::Progressed() {
    if (progressed_)
        progressed_(half_ + ": " + status_);
}

void TotalDisplay::Serve(const std::string& device) {
    const std::lock_guard lock(mutex_);
    device_ = device;
}

void TotalDisplay::NotServed(const std::string& device) {
    const std::lock_guard lock(mutex_);
    Json(NotServedJson(device, "a Total run serves one"));
    board_.Note("total: a further handset arrived at " + device +
                " and was not served (a Total run serves one)");
}

void TotalDisplay::BeginPhoneHalf() {
    const std::lock_guard lock(mutex_);
    half_ = "phone";
    phoneHalf_ = true;
    counter_.clear();
    file_.clear();
}

void TotalDisplay::Redraw() {
    std::string part = half_ + ": " + status_;
    if (!file_.empty())
        part += " " + file_;
    if (!counter_.empty())
        part += " [" + counter_ + "]";
    board_.Update(line_, "", position_, part);
}

void TotalDisplay::Log(std::string_view text) {
    const std::lock_guard lock(mutex_);
    Progressed();
    if (output_.trace && !output_.json)
        OutNow(std::string(text) + "\n");
}

void TotalDisplay::Note(const std::string& text) {
    const std::lock_guard lock(mutex_);
    board_.Note(text);
}

void TotalDisplay::Problem(const std::string& text) {
    const std::lock_guard lock(mutex_);
    Json(ProblemJson(text));
    board_.Note(text);
}

void TotalDisplay::Close(Verdict verdict, const std::string& reason, handset::Half half) {
    const std::lock_guard lock(mutex_);
    // A phone run whose port never opened was left, not stopped: it has no
    // run-finished of its own yet.
    if (phoneHalf_ && !phoneFinished_)
        Json(PhoneEventJson(RunFinished{verdict, reason}));
    QJsonObject line;
    line["event"] = "total-finished";
    line["half"] = half == handset::Half::Phone ? "phone" : "pda";
    line["verdict"] = QString::fromStdString(VerdictName(verdict));
    line["reason"] = QString::fromStdString(reason);
    Json(line);
    board_.Close();
}

void TotalDisplay::Status(std::string_view text) {
    const std::lock_guard lock(mutex_);
    status_ = text;
    Progressed();
    Redraw();
}

void TotalDisplay::CurrentFile(std::string_view text) {
    const std::lock_guard lock(mutex_);
    Progressed();
    file_ = text;
    Redraw();
}

void TotalDisplay::Percent(std::string_view) {
    const std::lock_guard lock(mutex_);
    Progressed();
}

void TotalDisplay::Counter(std::string_view text) {
    const std::lock_guard lock(mutex_);
    Progressed();
    counter_ = text;
}

void TotalDisplay::Progress(int position) {
    const std::lock_guard lock(mutex_);
    Progressed();
    position_ = position;
    Redraw();
}

void TotalDisplay::MessageBox(std::string_view text, std::string_view caption) {
    const std::lock_guard lock(mutex_);
    Progressed();
    board_.Note("message: " + std::string(text) +
                (caption.empty() ? "" : " [" + std::string(caption) + "]"));
}

void TotalDisplay::Post(const handset::HandsetEvent& event) {
    std::visit([this](const auto& fact) { Show(fact); }, event);
}

void TotalDisplay::Show(const pda::PdaEvent& event) {
    skin_.Show(event);
    const std::lock_guard lock(mutex_);
    if (CountsAsProgress(event))
        Progressed();
    if (const std::optional<QJsonObject> line = PdaEventJson(event, device_))
        Json(*line);
}

void TotalDisplay::Show(const phone::PhoneRunEvent& event) {
    // The panel's run hears the end before the last (modal) box.
    {
        const std::lock_guard lock(mutex_);
        Json(PhoneEventJson(event));
        if (std::holds_alternative<RunFinished>(event)) {
            phoneFinished_ = true;
            Progressed();
        }
    }
    skin_.Show(event);
}

void TotalDisplay::Show(hotplug::WatcherStep step) {
    if (step == hotplug::WatcherStep::NoDescription)
        MessageBox(hotplug::WatcherStepText(step), "");
    else
        Log(hotplug::WatcherStepText(step));
}

// The panel's OnComplete as the handset leaves for its modem.
void TotalDisplay::Show(const handset::ModemPortWait&) {
    Log("OnComplete()+");
    Log("else if((m_DownSelect &  ONLY_PHONE_DOWN) && (g_AllDownLoad  == TRUE))");
    BeginPhoneHalf();
    Log("OnButtonDownstart m_DownSelect = " + std::to_string(handset::ONLY_PHONE_DOWN));
    Log("OnComplete()-");
}

// The panel's Stop, in the half it meets.
void TotalDisplay::Show(const handset::Abandoning& abandoning) {
    Log(abandoning.half == handset::Half::Phone ? "OnButtonCancel - OK!!"
                                                : "if(m_DownSelect &  ONLY_PDA_DOWN)");
}

void TotalDisplay::Show(const handset::RunFinished& finished) {
    using handset::Ending;
    switch (finished.ending) {
    case Ending::Verdict:
    case Ending::NotOpened:
    case Ending::NotStarted:    // the main window's download command alone
    case Ending::PhoneNotBegun: // the main window's phone engine alone
        return;
    case Ending::ListGone:
        MessageBox("Selected File dosen't exist\nCheck selected file", "");
        return;
    case Ending::Disconnected:
    case Ending::Aborted:
        Status(finished.ending == Ending::Aborted ? "Aborted Download!" : "Device Disconnected!");
        Percent("Reconnect Device to Retry!");
        return;
    case Ending::NothingHandedOver:
    case Ending::NotHandedOver:
        // The panel's OnComplete as the handset leaves with nothing for its modem.
        Log("OnComplete()+");
        if (finished.ending == Ending::NothingHandedOver) {
            Status("Download Successfully!");
            Log("Download Successfully!");
        } else {
            Log("Downloaded Error Retry!!");
        }
        Log("OnComplete()-");
        return;
    }
}

void TotalDisplay::ClearLog() {
    const std::lock_guard lock(mutex_);
    Progressed();
}

void TotalDisplay::TwoLineMessage(std::string_view first, std::string_view second, std::uint32_t) {
    MessageBox(std::string(first) + " " + std::string(second), "");
}

} // namespace marlow::cli
