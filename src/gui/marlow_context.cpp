#include "gui/marlow_context.h"

#include "pda/ui/sheet_environment.h"

namespace marlow::gui {

namespace {

app::ActivationRule RuleFor(app::MessageWindow window, const std::atomic<bool>& portWaitShown) {
    return app::ActivationRule::For(window, portWaitShown);
}

} // namespace

MarlowContext::MarlowContext(QSettings& settingsStore)
    : store(settingsStore), settings(settingsStore),
      fileInformation(RuleFor(app::MessageWindow::FileInformation, portWaitShown)),
      debugMessage(RuleFor(app::MessageWindow::DebugMessage, portWaitShown)),
      deviceState(RuleFor(app::MessageWindow::DeviceState, portWaitShown)),
      debugPort(debugport::DebugPortEvents{
          // A full 4096-byte chunk goes in whole: the printf form would cut
          // its last byte.
          .text = [this](std::string_view text) { printer.WritePrint(debugMessage, text); },
          .setupFailed =
              [this](const std::string& text) {
                  if (debugPortProblem)
                      debugPortProblem(text);
              },
          .openChanged =
              [this](bool open) {
                  if (debugPortChanged)
                      debugPortChanged(open);
              },
          // The console window is where the operator was watching the line.
          .lost = [this](const std::string& text) { Print(debugMessage, "\n" + text + "\n"); },
      }) {}

bool MarlowContext::PhoneOption() const {
    return (optionFlags & pda::ui::kOptionPhone) != 0;
}

void MarlowContext::SyncRunSettings() {
    const app::AppSettings& values = settings.Values();
    pda::PdaSettings pda;
    pda.downloadPath = values.downloadPath;
    pda.target = values.downloadTarget;
    pda.frontPanelMode = values.frontPanelMode;
    pda.phoneOption = PhoneOption();
    pda.checkPlan = true;
    run.SetSettings(pda);
}

} // namespace marlow::gui
