#include "support/mosquitto_broker.h"
#include "support/hang_bound.h"

#include "support/temp_dir.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace marlow::test {

namespace {

constexpr const char* kBroker = "/usr/sbin/mosquitto";
constexpr const char* kPasswd = "/usr/bin/mosquitto_passwd";

// A port no one listens on now; the broker may still lose the race for it,
// and then another is tried.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

} // namespace

std::optional<std::string> MosquittoBroker::Missing() {
    if (::access(kBroker, X_OK) != 0 || ::access(kPasswd, X_OK) != 0)
        return "the MQTT broker mosquitto is not installed; scripts/install-deps installs it";
    return std::nullopt;
}

Result<std::unique_ptr<MosquittoBroker>> MosquittoBroker::Start(std::optional<Login> login) {
    if (const auto missing = Missing())
        return Failure{*missing};
    std::string folder = (std::filesystem::temp_directory_path() / "marlow-mqtt-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr)
        return Failure{"mkdtemp failed"};
    std::unique_ptr<MosquittoBroker> broker(new MosquittoBroker(folder));
    std::string conf = "allow_anonymous " + std::string(login ? "false" : "true") +
                       "\npersistence false\nlog_dest stderr\n";
    // As root the broker would change to its own user, who cannot read this
    // folder.
    if (::geteuid() == 0)
        conf += "user root\n";
    if (login) {
        const std::string passwords = folder + "/passwords";
        const std::string made = std::string(kPasswd) + " -c -b '" + passwords + "' '" +
                                 login->user + "' '" + login->password + "'";
        if (std::system(made.c_str()) != 0)
            return Failure{"mosquitto_passwd failed"};
        conf += "password_file " + passwords + "\n";
    }
    WriteFile(folder + "/base.conf", conf);
    for (int attempt = 0; attempt < 5; ++attempt) {
        broker->port_ = FreePort();
        if (Status launched = broker->Launch(); launched)
            return broker;
        else if (broker->Log().find("Address already in use") == std::string::npos)
            return Failure{launched.Error()};
    }
    return Failure{"no free port for the broker: " + broker->Log()};
}

MosquittoBroker::~MosquittoBroker() {
    (void)Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string MosquittoBroker::Log() const {
    const std::lock_guard lock(mutex_);
    return log_;
}

Status MosquittoBroker::Launch() {
    const std::string conf = folder_ + "/mosquitto.conf";
    WriteFile(conf, "listener " + std::to_string(port_) + " 127.0.0.1\n" +
                        ReadFileText(folder_ + "/base.conf"));
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return Failure{"pipe failed"};
    {
        const std::lock_guard lock(mutex_);
        log_.clear();
        logEnded_ = false;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(pipe[1], STDERR_FILENO);
        ::dup2(pipe[1], STDOUT_FILENO);
        ::execl(kBroker, kBroker, "-c", conf.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipe[1]);
    reader_ = std::thread([this, fd = pipe[0]] {
        char buffer[4096];
        for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) != 0;) {
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                break;
            const std::lock_guard lock(mutex_);
            log_.append(buffer, static_cast<std::size_t>(got));
            said_.notify_all();
        }
        ::close(fd);
        const std::lock_guard lock(mutex_);
        logEnded_ = true;
        said_.notify_all();
    });
    std::unique_lock lock(mutex_);
    // mosquitto says "running" once it listens, and ends on a port taken.
    said_.wait_for(lock, kStuckAfter,
                   [this] { return logEnded_ || log_.find(" running") != std::string::npos; });
    if (log_.find(" running") != std::string::npos)
        return {};
    lock.unlock();
    (void)Stop();
    return Failure{"mosquitto did not start: " + Log()};
}

Status MosquittoBroker::Stop() {
    if (pid_ < 0)
        return {};
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (reader_.joinable())
        reader_.join();
    return {};
}

Status MosquittoBroker::Resume() {
    return Launch();
}

} // namespace marlow::test
