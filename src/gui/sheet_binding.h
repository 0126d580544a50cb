#pragma once
// The settings sheet works on the values it names; here the program binds
// them to its own settings and their store.

#include "app/app_settings.h"
#include "pda/ui/sheet_environment.h"

namespace marlow::gui {

pda::ui::SheetSettings BindSheetSettings(app::CAppSettings& settings);

} // namespace marlow::gui
