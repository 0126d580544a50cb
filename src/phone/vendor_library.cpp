#include "phone/vendor_library.h"

#include "common/regular_file.h"
#include "phone/library_file_check.h"
#include "phone/phone_log.h"

#include <QFile>
#include <array>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace marlow::phone {
namespace {

struct ParameterCall {
    std::uint32_t id;
    std::uint32_t value;
};

// The set-up the modem tools have always made, in this order.
constexpr std::array<ParameterCall, 7> kParameterCalls{{
    {0, 0},
    {6, 1},
    {5, 1},
    {8, 0},
    {9, 0},
    {2, 1200000},
    {1, 1000000},
}};

template <typename Function> bool Resolve(QLibrary& library, const char* name, Function& into) {
    into = reinterpret_cast<Function>(library.resolve(name));
    return into != nullptr;
}

// The names Marlow calls; a library without any of them cannot do the job.
bool ResolveCalled(QLibrary& library, EntryPoints& e, std::string* missing) {
    const auto need = [&](const char* name, auto& slot) {
        if (Resolve(library, name, slot))
            return true;
        *missing = name;
        return false;
    };
    return need("_IFWD_DL_init_callback", e.init_callback) &&
           need("_IFWD_DL_set_dll_parameter", e.set_dll_parameter) &&
           need("_IFWD_DL_open_comm_port", e.open_comm_port) &&
           need("_IFWD_DL_close_comm_port", e.close_comm_port) &&
           need("_IFWD_DL_boot_target", e.boot_target) &&
           need("_IFWD_DL_download_fls_file", e.download_fls_file) &&
           need("_IFWD_DL_download_eep_file", e.download_eep_file) &&
           need("_IFWD_DL_abort_process", e.abort_process) &&
           need("_IFWD_DL_end_of_process", e.end_of_process);
}

// The library is foreign code behind a C boundary: whatever it throws
// becomes a failed call with a line the operator can act on, and so does a
// refusal that leaves the status text empty.
template <typename Call> std::uint32_t Guarded(const char* entry, StatusText& status, Call call) {
    char* text = status.Buffer();
    try {
        const std::uint32_t result = call();
        if (result == kCallFailed && status.Empty())
            std::snprintf(text, IFWD_DL_STATUS_SIZE,
                          "The modem download library refused %s without saying why.", entry);
        return result;
    } catch (const std::exception& e) {
        std::snprintf(text, IFWD_DL_STATUS_SIZE, "The modem download library failed in %s: %s",
                      entry, e.what());
    } catch (...) {
        std::snprintf(text, IFWD_DL_STATUS_SIZE, "The modem download library failed in %s.", entry);
    }
    return kCallFailed;
}

void ResolveUncalled(QLibrary& library, EntryPoints& e) {
    Resolve(library, "_IFWD_DL_get_dll_version", e.get_dll_version);
    Resolve(library, "_IFWD_DL_set_get_control_signal", e.set_get_control_signal);
    Resolve(library, "_IFWD_DL_force_target_reset", e.force_target_reset);
}

// A library file opened by the regular-file rule and found whole, with the
// name to load it by: its descriptor's, so that what is loaded is what was
// checked, even if the name has been given to another file since. A bare
// name that names no file is left to the system's library search.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    // Open for the rest of the process.
    void KeepOpen() { fd_ = -1; }

private:
    int fd_ = -1;
};

struct LibraryFile {
    Descriptor descriptor;
    QString loadName;
};

bool NamesAFile(const std::string& name) {
    struct stat status {};
    return name.find('/') != std::string::npos || ::lstat(name.c_str(), &status) == 0;
}

QString LoadName(int fd, const std::string& name) {
#if defined(__linux__)
    static_cast<void>(name);
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
#else
    static_cast<void>(fd);
    return QFile::decodeName(name.c_str());
#endif
}

Result<LibraryFile> OpenLibraryFile(const std::string& name) {
    if (!NamesAFile(name))
        return LibraryFile{Descriptor(), QFile::decodeName(name.c_str())};
    const Result<int> fd = OpenRegularFile(name, O_RDONLY);
    if (!fd)
        return Failure{fd.Error()};
    LibraryFile file{Descriptor(*fd), LoadName(*fd, name)};
    if (const Status whole = CheckSharedObjectFile(*fd); !whole)
        return Failure{whole.Error()};
    return file;
}

} // namespace

Result<std::unique_ptr<VendorLibrary>> LoadDownloadLibrary(const QString& nameOrPath) {
    const std::string shownName = QFile::encodeName(nameOrPath).toStdString();
    const auto cannotLoad = [&](const std::string& why) {
        return Failure{"The modem download library " + shownName + " cannot be loaded: " + why +
                       ". Install IFWD_DownloadDll or name its file with the PhoneLibrary "
                       "setting."};
    };
    Result<LibraryFile> file = OpenLibraryFile(shownName);
    if (!file)
        return cannotLoad(file.Error());
    auto library = std::make_unique<QLibrary>(file->loadName);
    if (!library->load()) {
        qCDebug(lcPhone).noquote()
            << "the vendor library" << nameOrPath << "did not load:" << library->errorString();
        return cannotLoad(library->errorString().toStdString());
    }
    EntryPoints entries;
    std::string missing;
    if (!ResolveCalled(*library, entries, &missing)) {
        Failure refused{"The modem download library " + shownName + " has no entry point " +
                        missing +
                        ", so it cannot download the phone. Use a matching IFWD_DownloadDll."};
        library->unload();
        return refused;
    }
    ResolveUncalled(*library, entries);
    // The loader knows the library by its descriptor's name; a descriptor
    // closed now could come back with the same number for another library,
    // which the loader would then take for this one.
    file->descriptor.KeepOpen();
    qCDebug(lcPhone).noquote() << "the vendor library loaded from" << nameOrPath;
    return std::unique_ptr<VendorLibrary>(new VendorLibrary(std::move(library), entries));
}

VendorLibrary::~VendorLibrary() {
    DetachReports();
    // The library may run threads of its own; unloading it under them would
    // pull their code away, so it stays mapped until the process ends.
}

void VendorLibrary::AttachReports(ReportReceiver& receiver, StatusText& status) {
    route_ = ReportRoute::Open(receiver);
    if (!route_.Bound()) {
        status.Set("Too many phone download owners: no report route is left.");
        return;
    }
    Guarded("_IFWD_DL_init_callback", status, [&] {
        entries_.init_callback(route_.Function(), status.Buffer());
        return 0u;
    });
    for (const ParameterCall& call : kParameterCalls) {
        Guarded("_IFWD_DL_set_dll_parameter", status, [&] {
            entries_.set_dll_parameter(call.id, call.value, status.Buffer());
            return 0u;
        });
    }
}

void VendorLibrary::DetachReports() {
    route_.Close();
}

std::uint32_t VendorLibrary::OpenCommPort(std::uint8_t channel, const std::string& port,
                                          std::uint32_t baud, StatusText& status) {
    // The library takes the port name twice; both are the same port.
    return Guarded("_IFWD_DL_open_comm_port", status, [&] {
        return entries_.open_comm_port(channel, port.c_str(), port.c_str(), baud, status.Buffer());
    });
}

std::uint32_t VendorLibrary::CloseCommPort(std::uint8_t channel, StatusText& status) {
    return Guarded("_IFWD_DL_close_comm_port", status,
                   [&] { return entries_.close_comm_port(channel, status.Buffer()); });
}

std::uint32_t VendorLibrary::BootTarget(std::uint8_t channel, const std::string& flsPath,
                                        ControlBlock& controlBlock, StatusText& status) {
    return Guarded("_IFWD_DL_boot_target", status, [&] {
        return entries_.boot_target(channel, flsPath.c_str(), controlBlock.data(), status.Buffer());
    });
}

std::uint32_t VendorLibrary::DownloadFlsFile(std::uint8_t channel, const std::string& path,
                                             StatusText& status) {
    return Guarded("_IFWD_DL_download_fls_file", status, [&] {
        return entries_.download_fls_file(channel, path.c_str(), status.Buffer());
    });
}

std::uint32_t VendorLibrary::DownloadEepFile(std::uint8_t channel, const std::string& path,
                                             std::uint32_t option, StatusText& status) {
    return Guarded("_IFWD_DL_download_eep_file", status, [&] {
        return entries_.download_eep_file(channel, path.c_str(), option, status.Buffer());
    });
}

std::uint32_t VendorLibrary::AbortProcess(std::uint8_t channel, StatusText& status) {
    return Guarded("_IFWD_DL_abort_process", status,
                   [&] { return entries_.abort_process(channel, status.Buffer()); });
}

std::uint32_t VendorLibrary::EndOfProcess(std::uint8_t channel, StatusText& status) {
    return Guarded("_IFWD_DL_end_of_process", status,
                   [&] { return entries_.end_of_process(channel, status.Buffer()); });
}

} // namespace marlow::phone
