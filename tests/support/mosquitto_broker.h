#pragma once
// An MQTT broker of the tests' own: Debian's mosquitto on 127.0.0.1 and a
// free port, its configuration in a temporary folder, retained messages in
// memory only (so a restart loses them, as a broker that was replaced
// would). Optionally it wants a login and refuses anonymous clients. Each
// test starts its own; it is stopped and its folder removed with it.

#include "common/result.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>

namespace marlow::test {

class MosquittoBroker {
public:
    struct Login {
        std::string user;
        std::string password;
    };

    // Why the broker cannot be had here: mosquitto is not installed. Tests
    // skip on this, and fail on any other trouble.
    static std::optional<std::string> Missing();
    static Result<std::unique_ptr<MosquittoBroker>> Start(std::optional<Login> login = {});
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    Status Stop();   // SIGTERM, and its end awaited
    Status Resume(); // started again on the same port, with nothing retained
    int Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // What the broker said on stderr, for a failure's message.
    std::string Log() const;

private:
    explicit MosquittoBroker(std::string folder) : folder_(std::move(folder)) {}
    Status Launch();

    std::string folder_;
    int port_ = 0;
    pid_t pid_ = -1;
    mutable std::mutex mutex_;
    std::condition_variable said_;
    std::string log_;
    bool logEnded_ = false;
    std::thread reader_; // drains the broker's stderr, so it never blocks on it
};

} // namespace marlow::test
