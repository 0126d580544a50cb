#include "gui/sheet_binding.h"

namespace marlow::gui {

static_assert(pda::ui::kTargetRam == app::kDownloadToRam);
static_assert(pda::ui::kTargetFlash == app::kDownloadToFlash);

pda::ui::SheetSettings BindSheetSettings(app::CAppSettings& settings) {
    app::AppSettings& values = settings.Values();
    pda::ui::SheetSettings bound;
    bound.downloadPath = &values.downloadPath;
    bound.phonePackagePath = &values.phonePackagePath;
    bound.debugPortName = &values.debugPortName;
    bound.debugBaudRate = &values.debugBaudRate;
    bound.downloadTarget = &values.downloadTarget;
    bound.frontPanelMode = &values.frontPanelMode;
    bound.savePaths = [&settings] { settings.LoadSaveSettings(app::SETTINGS_SAVE_PATHS); };
    bound.writeDownloadTarget = [&settings](std::int32_t target) {
        settings.WriteDownloadTarget(target);
    };
    return bound;
}

} // namespace marlow::gui
