#include "app/gui/frame_phone.h"

#include "app/gui/main_frame.h"
#include "app/gui/unavailable_phone_library.h"
#include "phone/library_location.h"
#include "phone/phone_settings.h"
#include "phone/serial_port_source.h"

#include <QCoreApplication>

namespace marlow::gui {

namespace {

// A virtual handset names the modem's port directly.
std::unique_ptr<phone::PhonePortLocator> ModemPorts(phone::PhonePortSource& source,
                                                    const QSettings& settings) {
    const QByteArray fixed = qgetenv("MARLOW_MODEM_PORT");
    if (!fixed.isEmpty())
        return std::make_unique<phone::FixedPhonePort>(fixed.toStdString());
    QString pattern = phone::PhonePortPatternSetting(settings);
    if (pattern.isEmpty())
        pattern = QString::fromStdString(phone::DefaultPortPattern());
    return std::make_unique<phone::DiscoveredPhonePort>(source, pattern.toStdString(),
                                                        phone::kMainWindowPortList);
}

QString LibraryPath(const QSettings& settings) {
    const QByteArray fromEnvironment = qgetenv("MARLOW_DOWNLOAD_LIBRARY");
    if (!fromEnvironment.isEmpty())
        return QString::fromLocal8Bit(fromEnvironment);
    return phone::PhoneLibrarySetting(settings);
}

} // namespace

FramePhone::FramePhone(CMainFrame& frame) : frame_(frame), presentation_(frame.Context(), frame) {
    MarlowContext& context = frame.Context();
    library_ = phone::LocateDownloadLibrary(
        LibraryPath(context.store), QCoreApplication::applicationDirPath(), &libraryProblem_);
    if (!library_)
        library_ = std::make_unique<UnavailablePhoneLibrary>(libraryProblem_);
    portSource_ = std::make_unique<phone::SerialPortSource>();
    ports_ = ModemPorts(*portSource_, context.store);
    owner_ = std::make_unique<phone::QtOwnerThread>(&frame);
    clock_ = std::make_unique<phone::QtPhoneClock>([this](phone::PhoneTimer t) { OnTick(t); });
    presentation_.runStateChanged = [this] { frame_.UpdateCommandStates(); };

    phone::PhoneEngineSetup setup;
    setup.owner = phone::PhoneOwner::MainWindow;
    setup.library = library_.get();
    setup.presentation = &presentation_;
    setup.clock = clock_.get();
    setup.ownerThread = owner_.get();
    setup.ports = ports_.get();
    setup.phoneSelected = [&context] { return context.PhoneOption(); };
    setup.allDownLoad = &context.run.g_AllDownLoad;
    engine_ = std::make_unique<phone::PhoneEngine>(setup);
}

FramePhone::~FramePhone() {
    engine_.reset();
}

void FramePhone::Start(phone::PhoneStart how) {
    engine_->StartMainWindowRun(frame_.Context().settings.Values().phonePackagePath, how);
}

void FramePhone::Cancel() {
    engine_->CancelMainWindowRun();
}

bool FramePhone::Running() const {
    return engine_ && engine_->PhoneRunning();
}

// The port wait only goes on while the operator still wants the phone.
void FramePhone::OnTick(phone::PhoneTimer timer) {
    if (frame_.Context().PhoneOption())
        engine_->OnTimer(timer);
}

} // namespace marlow::gui
