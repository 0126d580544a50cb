#pragma once
// The settings sheet works on values; here the program hands it its own
// settings and takes back what the operator chose.

#include "app/app_settings.h"
#include "pda/ui/sheet_environment.h"

namespace marlow::gui {

pda::ui::SheetValues SheetValuesOf(const app::AppSettings& values);
// Takes the chosen values into the settings and stores them, once.
void TakeSheetValues(app::CAppSettings& settings, const pda::ui::SheetValues& chosen);

} // namespace marlow::gui
