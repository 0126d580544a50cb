#include "cli/settings_store.h"

#include "app/user_settings.h"
#include "cli/output.h"

namespace marlow::cli {

QSettings& UserSettingsStore() {
    static app::UserSettings settings;
    static bool told = false;
    if (!told && !settings.Refusal().empty())
        Err("marlow-cli: " + settings.Refusal() + "\n");
    told = true;
    return settings.Store();
}

} // namespace marlow::cli
