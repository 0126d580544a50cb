#pragma once
// The library's own state behind its C entry points: the report function,
// the parameters and the open channels. The C interface has no handle, so
// this one object per loaded library holds it.

#include "download_channel.h"
#include "phone/ifwd_download_dll.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace marlow::ifwd {

// Parameter ids this library understands; the others are accepted and kept.
inline constexpr std::uint32_t kReplyTimeoutMicroseconds = 1;
inline constexpr std::uint32_t kBootTimeoutMicroseconds = 2;

class StandInLibrary {
public:
    static StandInLibrary& Instance();

    void SetReport(IFWD_DL_report report) { report_.store(report); }
    void SetParameter(std::uint32_t id, std::uint32_t value);

    Status OpenPort(std::uint8_t channel, const std::string& port, std::uint32_t baud);
    // Closing a channel that is not open is no failure.
    void ClosePort(std::uint8_t channel);
    Status Boot(std::uint8_t channel, const std::string& firmwarePath,
                const modemlink::ControlBlock& controlBlock);
    Status Download(std::uint8_t channel, modemlink::FileKind kind, const std::string& path,
                    std::uint32_t option);
    void Abort(std::uint8_t channel);
    Status EndOfProcess(std::uint8_t channel);

private:
    void Report(std::uint8_t channel, std::uint32_t code, const char* text);
    HostTimeouts Timeouts() const;
    Result<DownloadChannel*> Find(std::uint8_t channel);

    std::atomic<IFWD_DL_report> report_{nullptr};
    mutable std::mutex mutex_;
    std::map<std::uint32_t, std::uint32_t> parameters_;
    std::map<std::uint8_t, std::unique_ptr<DownloadChannel>> channels_;
};

} // namespace marlow::ifwd
