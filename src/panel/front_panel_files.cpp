// The station set-up's choosers and the UART loader.

#include "app/app_settings.h"
#include "controls/dialog_service.h"
#include "panel/front_panel_dialog.h"
#include "panel/path_label.h"
#include "uartloader/ui/uart_loader_dialog.h"

#include <QLabel>

namespace marlow::panel {

namespace {

controls::FileChoice PdaChoice() {
    return {QStringLiteral("Open"),
            QStringLiteral("bin"),
            {},
            {{QStringLiteral("BIN Files (*.bin)"), {"*.bin"}},
             {QStringLiteral("LST Files (*.lst)"), {"*.lst"}},
             {QStringLiteral("All Files (*.*)"), {"*"}}}};
}

controls::FileChoice PhoneChoice() {
    return {QStringLiteral("Open"),
            QStringLiteral("brx"),
            {},
            {{QStringLiteral("BRX Files (*.brx)"), {"*.brx"}},
             {QStringLiteral("All Files (*.*)"), {"*"}}}};
}

// The settings keep at most 254 characters a path: a longer choice is
// refused whole rather than stored cut.
std::optional<std::string> Choose(QWidget* owner, const controls::FileChoice& choice) {
    const std::optional<QString> chosen = controls::Dialogs().OpenFile(owner, choice);
    if (!chosen)
        return std::nullopt;
    std::string path = chosen->toStdString();
    if (path.size() <= app::kMaxPathLength)
        return path;
    controls::Dialogs().Message(
        owner, QStringLiteral("The path of\n%1\nis longer than %2 characters.\nMove the file to a "
                              "shorter path and choose it again.")
                   .arg(*chosen)
                   .arg(app::kMaxPathLength));
    return std::nullopt;
}

} // namespace

// A new download file also sets the debug port back to "COM1" at 110 baud,
// in memory and in the settings.
void CFrontPanelDlg::OnPdaFileOpen() {
    const std::optional<std::string> path = Choose(this, PdaChoice());
    if (!path)
        return;
    app::AppSettings& values = settings_.Values();
    values.downloadPath = *path;
    pdaPath_->SetPath(QString::fromStdString(*path));
    ShowFileInformation();
    values.debugPortName = "COM1";
    values.debugBaudRate = 110;
    settings_.LoadSaveSettings(app::SETTINGS_SAVE_PORT, values.debugPortName, values.debugBaudRate);
    settings_.LoadSaveSettings(app::SETTINGS_SAVE_PATHS);
}

void CFrontPanelDlg::OnPhoneFileOpen() {
    const std::optional<std::string> path = Choose(this, PhoneChoice());
    if (!path)
        return;
    settings_.Values().phonePackagePath = *path;
    phonePath_->SetPath(QString::fromStdString(*path));
    settings_.LoadSaveSettings(app::SETTINGS_SAVE_PATHS);
}

void CFrontPanelDlg::OnMpToolSet() {
    if (setup_.openLoaderDialog)
        setup_.openLoaderDialog(this);
    else
        uartloader::ui::RunUartLoaderDialog(this, setup_.store);
}

} // namespace marlow::panel
