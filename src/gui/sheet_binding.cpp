#include "gui/sheet_binding.h"

namespace marlow::gui {

pda::ui::SheetValues SheetValuesOf(const app::AppSettings& values) {
    return {.downloadPath = values.downloadPath,
            .phonePackagePath = values.phonePackagePath,
            .downloadTarget = values.downloadTarget,
            .debugPortName = values.debugPortName,
            .debugBaudRate = values.debugBaudRate};
}

void TakeSheetValues(app::CAppSettings& settings, const pda::ui::SheetValues& chosen) {
    app::AppSettings& values = settings.Values();
    values.downloadPath = chosen.downloadPath;
    values.phonePackagePath = chosen.phonePackagePath;
    values.downloadTarget = chosen.downloadTarget;
    values.debugPortName = chosen.debugPortName;
    values.debugBaudRate = chosen.debugBaudRate;
    settings.SaveChosenSettings();
}

} // namespace marlow::gui
