#pragma once
// The binding of the modem download library "IFWD_DownloadDll": loaded at
// run time, every entry point resolved by name. A library or entry point that
// cannot be found is refused with a reason at load time, so no call ever goes
// through a missing entry.

#include "common/result.h"
#include "phone/ifwd_download_dll.h"
#include "phone/phone_library.h"
#include "phone/report_router.h"

#include <QLibrary>
#include <QString>
#include <memory>
#include <string>

namespace marlow::phone {

inline constexpr const char* kDownloadLibraryName = "IFWD_DownloadDll";

struct EntryPoints {
    IFWD_DL_init_callback_fn init_callback = nullptr;
    IFWD_DL_set_dll_parameter_fn set_dll_parameter = nullptr;
    IFWD_DL_open_comm_port_fn open_comm_port = nullptr;
    IFWD_DL_close_comm_port_fn close_comm_port = nullptr;
    IFWD_DL_boot_target_fn boot_target = nullptr;
    IFWD_DL_download_fls_file_fn download_fls_file = nullptr;
    IFWD_DL_download_eep_file_fn download_eep_file = nullptr;
    IFWD_DL_abort_process_fn abort_process = nullptr;
    IFWD_DL_end_of_process_fn end_of_process = nullptr;
    // Resolved for completeness; Marlow never calls them.
    IFWD_DL_get_dll_version_fn get_dll_version = nullptr;
    IFWD_DL_set_get_control_signal_fn set_get_control_signal = nullptr;
    IFWD_DL_force_target_reset_fn force_target_reset = nullptr;
};

class VendorLibrary : public PhoneLibrary {
public:
    ~VendorLibrary() override;

    void AttachReports(ReportReceiver& receiver, StatusText& status) override;
    void DetachReports() override;

    std::uint32_t OpenCommPort(std::uint8_t channel, const std::string& port, std::uint32_t baud,
                               StatusText& status) override;
    std::uint32_t CloseCommPort(std::uint8_t channel, StatusText& status) override;
    std::uint32_t BootTarget(std::uint8_t channel, const std::string& flsPath,
                             ControlBlock& controlBlock, StatusText& status) override;
    std::uint32_t DownloadFlsFile(std::uint8_t channel, const std::string& path,
                                  StatusText& status) override;
    std::uint32_t DownloadEepFile(std::uint8_t channel, const std::string& path,
                                  std::uint32_t option, StatusText& status) override;
    std::uint32_t AbortProcess(std::uint8_t channel, StatusText& status) override;
    std::uint32_t EndOfProcess(std::uint8_t channel, StatusText& status) override;

private:
    friend Result<std::unique_ptr<VendorLibrary>> LoadDownloadLibrary(const QString&);
    VendorLibrary(std::unique_ptr<QLibrary> library, EntryPoints entries)
        : library_(std::move(library)), entries_(entries) {}

    std::unique_ptr<QLibrary> library_;
    EntryPoints entries_;
    ReportRoute route_;
};

// `nameOrPath`: a path to the library file, or a bare name that the system's
// library search resolves ("IFWD_DownloadDll" finds libIFWD_DownloadDll.so).
// A file is loaded only when it is a regular file and a whole shared object
// of this program's kind (see library_file_check.h). A failure says why, in
// words the operator can act on.
Result<std::unique_ptr<VendorLibrary>> LoadDownloadLibrary(const QString& nameOrPath);

} // namespace marlow::phone
