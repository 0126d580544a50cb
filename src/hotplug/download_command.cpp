#include "hotplug/download_command.h"

#include "common/input_file.h"
#include "hotplug/hotplug_log.h"

namespace marlow::hotplug {

bool OperationDownload(CDeviceWatcher& watcher, pda::PdaRunContext& context,
                       pda::PdaPresentation& presentation, const std::string* onlyPath) {
    const pda::PdaSettings settings = context.Settings();
    // Only a probe: the run opens the file again itself.
    const bool fileFound = InputFile::Open(settings.downloadPath).Ok();
    if (!context.deviceConnected) {
        qCDebug(lcHotplug, "download not started: no device connected");
        presentation.MessageBox("Device Disconnected!!  Retry to Connect Device!!!", "");
        return false;
    }
    presentation.DeviceStateTrace("\n OnOperationDownload()  - TEST");
    if (settings.phoneOption) {
        presentation.DeviceStateTrace("\n g_AllDownLoad = FALSE;\t \n");
        context.g_AllDownLoad = false;
    }
    if (!fileFound) {
        qCDebug(lcHotplug, "download not started: %s not found", settings.downloadPath.c_str());
        presentation.MessageBox("File not found", "");
        return false;
    }
    return watcher.StartPdaDownloads(onlyPath);
}

} // namespace marlow::hotplug
