#pragma once
// One open channel of the library: the modem's port and a worker thread that
// carries out one part at a time (boot, or one file) and reports its outcome
// through the registered report function. The caller's thread only starts
// parts, stops them and ends the process.

#include "common/result.h"
#include "modem_host.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace marlow::ifwd {

using Reporter = std::function<void(std::uint8_t channel, std::uint32_t code, const char* text)>;

class DownloadChannel {
public:
    static Result<std::unique_ptr<DownloadChannel>> Open(std::uint8_t channel,
                                                         const std::string& port,
                                                         std::uint32_t baud, HostTimeouts timeouts,
                                                         Reporter reporter);
    // Stops the part in progress and releases the port.
    ~DownloadChannel();

    // Fails when the part cannot start: a part is running, or the file
    // cannot be sent (see PartFile).
    Status StartBoot(const std::string& firmwarePath, const modemlink::ControlBlock& controlBlock);
    Status StartDownload(modemlink::FileKind kind, const std::string& path, std::uint32_t option);
    // Stops the part in progress, if any; no report follows for it.
    void Abort();
    // Synchronous: the modem confirms the end of the process, or the failure says why not.
    Status EndOfProcess();

private:
    struct Job {
        enum class Kind { Boot, File };
        Kind kind = Kind::Boot;
        modemlink::ControlBlock controlBlock{};
        modemlink::FileKind fileKind = modemlink::FileKind::Fls;
        std::uint32_t option = 0;
        std::string name;
        std::unique_ptr<PartFile> file;
    };

    DownloadChannel(std::uint8_t channel, std::unique_ptr<modemlink::SerialLine> line,
                    HostTimeouts timeouts, Reporter reporter);
    Status Queue(Job job);
    void Work();
    HostResult RunGuarded(Job& job);
    HostResult Run(Job& job);
    void ReportOutcome(const Job& job, const HostResult& result);
    void WaitUntilIdle(std::unique_lock<std::mutex>& lock);

    std::uint8_t channel_;
    std::unique_ptr<modemlink::SerialLine> line_;
    ModemHost host_;
    Reporter reporter_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Job> pending_;
    bool busy_ = false;
    bool closing_ = false;
    std::thread worker_;
};

} // namespace marlow::ifwd
