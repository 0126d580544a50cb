#pragma once
// A PostgreSQL server of the tests' own, for what talks to a central
// database: a cluster made by initdb in a temporary folder, listening on a
// Unix socket in that folder only (no port to share), password logins only,
// user kUser. PostgreSQL refuses to run as root, as tests run in CI: the
// cluster then belongs to `nobody`, its programs run through runuser. One
// server serves a whole test program; it goes with its folder.

#include "common/result.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace marlow::test {

class PostgresServer {
public:
    static constexpr const char* kUser = "marlow";
    static constexpr const char* kPassword = "line-4 secret";

    // Why the server cannot be had here: its programs (initdb, pg_ctl) are
    // not installed. Tests skip on this, and fail on any other trouble.
    static std::optional<std::string> Missing();
    static Result<std::unique_ptr<PostgresServer>> Start();
    ~PostgresServer();

    Status Stop();   // a fast shut-down
    Status Resume(); // started again: the same port, the same data
    // As a crash would: every server process ends at once, nothing is
    // written on the way out, and the next start recovers from its log.
    void Kill();

    // A new, empty database; its connection string (without the password).
    Result<std::string> CreateDatabase(const std::string& name);
    std::string Dsn(const std::string& database) const;
    // kPassword alone, in a file for its owner only.
    const std::string& PasswordFile() const { return passwordFile_; }
    const std::string& BinFolder() const { return bin_; }

private:
    PostgresServer(std::string bin, std::string folder);
    Result<std::string> Run(const std::string& program, const std::vector<std::string>& args);
    Status Halt(const char* mode);

    std::string bin_;
    std::string folder_;
    std::string passwordFile_;
    bool running_ = false;
};

} // namespace marlow::test
