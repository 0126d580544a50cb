// Whatever the settings file holds (a technician may edit it by hand, a disk
// may damage it), start-up loads values within their bounds, and the values
// other parts read from the same store parse or are refused cleanly.
#include "app/app_settings.h"
#include "phone/phone_ports.h"
#include "phone/phone_settings.h"
#include "scratch_file.h"
#include "usb/usb_ids.h"

#include <cstdlib>
#include <string>

namespace {

using namespace marlow;

void CheckStartUpValues(const app::AppSettings& values, app::Presentation presentation) {
    const bool within = values.downloadPath.size() <= app::kMaxPathLength &&
                        values.phonePackagePath.size() <= app::kMaxPathLength &&
                        values.debugPortName.size() <= app::kMaxPortNameLength &&
                        values.debugBaudRate >= 1;
    const bool panelFlashes =
        presentation == app::Presentation::MainWindow ||
        (values.frontPanelMode && values.downloadTarget == pda::DownloadTarget::Flash);
    if (!within || !panelFlashes)
        std::abort();
}

void CheckUsbIds(const std::string& text) {
    const auto ids = usb::ParsePdaUsbIds(text);
    if (!ids)
        return;
    const auto again = usb::ParsePdaUsbIds(usb::FormatPdaUsbIds(*ids));
    if (!again || *again != *ids)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A new name every run: QSettings caches a file by its name, and a file
    // rewritten within the same second could pass for the cached one.
    static std::uint64_t run = 0;
    const fuzz::ScratchFile scratch("settings-" + std::to_string(run++) + ".ini");
    scratch.Write(data, size);
    {
        QSettings store(QString::fromStdString(scratch.path), QSettings::IniFormat);
        app::CAppSettings settings(store);
        const app::Presentation presentation = settings.PrepareStart();
        CheckStartUpValues(settings.Values(), presentation);
        CheckUsbIds(usb::ReadPdaUsbIdsSetting(store));
        phone::FormPortName(phone::PhonePortPatternSetting(store).toStdString(), 3);
    }
    // The baud text alone, as bytes the store would never hand over.
    if (app::BaudFromText(std::string_view(reinterpret_cast<const char*>(data), size)) < 1)
        std::abort();
    return 0;
}
