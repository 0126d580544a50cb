#include "hotplug/download_command.h"

#include "common/input_file.h"
#include "hotplug/hotplug_log.h"
#include "pda/download_plan_check.h"

namespace marlow::hotplug {

bool OperationDownload(CDeviceWatcher& watcher, pda::PdaRunContext& context,
                       pda::PdaEventSink& events, const std::string* onlyPath,
                       const std::function<void(const pda::DownloadPlan&)>& checked) {
    const pda::PdaSettings settings = context.Settings();
    // Only a probe: the run opens the file again itself.
    const bool fileFound = InputFile::Open(settings.downloadPath).Ok();
    if (!context.deviceConnected) {
        qCDebug(lcHotplug, "download not started: no device connected");
        events.Post(pda::DownloadRefused{true});
        return false;
    }
    events.Post(pda::DownloadCommanded{settings.phoneOption});
    if (!fileFound) {
        qCDebug(lcHotplug, "download not started: %s not found", settings.downloadPath.c_str());
        events.Post(pda::DownloadRefused{false});
        return false;
    }
    if (settings.checkPlan) {
        const Result<pda::DownloadPlan> plan =
            pda::CheckDownloadPlan(settings.downloadPath, {.wholeFiles = true});
        if (!plan) {
            qCDebug(lcHotplug, "download not started: %s", plan.Error().c_str());
            events.Post(pda::PlanRefused{plan.Error()});
            return false;
        }
        if (checked)
            checked(*plan);
    }
    return watcher.StartPdaDownloads(onlyPath);
}

} // namespace marlow::hotplug
