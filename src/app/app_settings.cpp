#include "app/app_settings.h"

namespace marlow::app {

namespace {

constexpr const char* kUsbDownloader = "USB Downloader";
constexpr const char* kRegDownTo = "RegDownTo";
constexpr const char* kPath = "Path";
constexpr const char* kPhonePath = "PhonePath";
constexpr const char* kPort = "Port";
constexpr const char* kBaud = "Baud";

} // namespace

CAppSettings::CAppSettings(QSettings& store) : store_(&store) {}

CAppSettings::~CAppSettings() = default;

std::optional<std::string> CAppSettings::Read(const char* name) const {
    if (!store_->contains(name))
        return std::nullopt;
    return store_->value(name).toString().toStdString();
}

void CAppSettings::Write(const char* name, const std::string& text) {
    store_->setValue(name, QString::fromStdString(text));
}

// A value that could not be loaded back must not replace a good one.
bool CAppSettings::WriteBounded(const char* name, const std::string& text, std::size_t maxLength) {
    if (text.size() > maxLength)
        return false;
    Write(name, text);
    return true;
}

bool CAppSettings::LoadSaveSettings(SettingsMode mode, const std::string& portName,
                                    std::int32_t baud) {
    // Another window (or another run) may have changed the store since.
    store_->sync();
    bool allStored = true;
    switch (mode) {
    case SETTINGS_LOAD:
        if (callCount_ == 0)
            LoadOnFirstRun();
        break;
    case SETTINGS_SAVE_PORT:
        allStored = WriteBounded(kPort, portName, kMaxPortNameLength);
        Write(kBaud, std::to_string(baud));
        break;
    case SETTINGS_SAVE_PATHS:
        allStored = WritePaths();
        break;
    }
    store_->sync();
    ++callCount_;
    return allStored;
}

bool CAppSettings::WritePaths() {
    const bool downloadStored = WriteBounded(kPath, values_.downloadPath, kMaxPathLength);
    const bool phoneStored = WriteBounded(kPhonePath, values_.phonePackagePath, kMaxPathLength);
    return downloadStored && phoneStored;
}

pda::DownloadTarget CAppSettings::StoredDownloadTarget() const {
    return DownloadTargetFromText(Read(kRegDownTo).value_or(""), pda::DownloadTarget::Flash);
}

bool CAppSettings::SaveChosenSettings() {
    store_->sync();
    const bool pathsStored = WritePaths();
    Write(kRegDownTo, DownloadTargetText(values_.downloadTarget));
    const bool portStored = WriteBounded(kPort, values_.debugPortName, kMaxPortNameLength);
    Write(kBaud, std::to_string(values_.debugBaudRate));
    store_->sync();
    ++callCount_;
    return pathsStored && portStored;
}

void CAppSettings::LoadOnFirstRun() {
    const AppSettings beforeLoading;
    const std::optional<std::string> path = Read(kPath);
    if (!path) {
        // First run: record a complete, working debug port set-up.
        values_.debugPortName = "COM1";
        values_.debugBaudRate = kFirstRunBaud;
        Write(kPort, values_.debugPortName);
        Write(kBaud, std::to_string(kFirstRunBaud));
        values_.downloadPath = beforeLoading.downloadPath;
        Write(kPath, values_.downloadPath);
        return;
    }
    const std::optional<std::string> phonePath = Read(kPhonePath);
    if (!phonePath) {
        values_.phonePackagePath = beforeLoading.phonePackagePath;
        Write(kPhonePath, values_.phonePackagePath);
        return;
    }

    // A missing or over-long port name loads as empty: the debug port then
    // stays closed rather than opening some other device.
    values_.debugPortName = WithinBound(Read(kPort).value_or(""), kMaxPortNameLength).value_or("");
    values_.debugBaudRate =
        BaudFromText(WithinBound(Read(kBaud).value_or(""), kMaxBaudTextLength).value_or(""));
    // An over-long stored path is damage, not a choice: keep the path we have.
    if (std::optional<std::string> download = WithinBound(*path, kMaxPathLength))
        values_.downloadPath = *download;
    if (std::optional<std::string> phone = WithinBound(*phonePath, kMaxPathLength))
        values_.phonePackagePath = *phone;
}

std::string CAppSettings::PreCreateWindow() {
    store_->sync();
    const std::string usbDownloader =
        WithinBound(Read(kUsbDownloader).value_or(""), kMaxUsbDownloaderLength).value_or("");
    const std::string regDownTo = Read(kRegDownTo).value_or("");
    if (regDownTo.empty()) {
        WriteDownloadTarget(pda::DownloadTarget::Flash);
        values_.downloadTarget = pda::DownloadTarget::Flash;
    } else {
        values_.downloadTarget = DownloadTargetFromText(regDownTo, values_.downloadTarget);
    }
    LoadSaveSettings(SETTINGS_LOAD);
    return usbDownloader;
}

Presentation CAppSettings::ChoosePresentation(const std::string& usbDownloader) {
    if (usbDownloader == "1")
        return Presentation::MainWindow;
    values_.frontPanelMode = true;
    values_.downloadTarget = pda::DownloadTarget::Flash;
    return Presentation::FrontPanel;
}

Presentation CAppSettings::PrepareStart() {
    return ChoosePresentation(PreCreateWindow());
}

void CAppSettings::WriteDownloadTarget(pda::DownloadTarget target) {
    Write(kRegDownTo, DownloadTargetText(target));
    store_->sync();
}

void CAppSettings::WriteUsbDownloader(const std::string& text) {
    Write(kUsbDownloader, text);
    store_->sync();
}

} // namespace marlow::app
