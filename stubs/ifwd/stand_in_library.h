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

    // Each returns true on success; on failure `error` says why.
    bool OpenPort(std::uint8_t channel, const std::string& port, std::uint32_t baud,
                  std::string* error);
    bool ClosePort(std::uint8_t channel);
    bool Boot(std::uint8_t channel, const std::string& firmwarePath,
              const modemlink::ControlBlock& controlBlock, std::string* error);
    bool Download(std::uint8_t channel, modemlink::FileKind kind, const std::string& path,
                  std::uint32_t option, std::string* error);
    void Abort(std::uint8_t channel);
    bool EndOfProcess(std::uint8_t channel, std::string* error);

private:
    void Report(std::uint8_t channel, std::uint32_t code, const char* text);
    HostTimeouts Timeouts() const;
    DownloadChannel* Find(std::uint8_t channel, std::string* error);

    std::atomic<IFWD_DL_report> report_{nullptr};
    mutable std::mutex mutex_;
    std::map<std::uint32_t, std::uint32_t> parameters_;
    std::map<std::uint8_t, std::unique_ptr<DownloadChannel>> channels_;
};

} // namespace marlow::ifwd
