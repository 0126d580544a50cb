#include "support/postgres_server.h"
#include "support/hang_bound.h"

#include "support/temp_dir.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace marlow::test {

namespace {

namespace fs = std::filesystem;

// The folder of initdb, pg_ctl and psql: Debian's newest, else the PATH's.
std::string BinFolderFound() {
    const QStringList versions =
        QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (auto v = versions.rbegin(); v != versions.rend(); ++v)
        if (QFileInfo("/usr/lib/postgresql/" + *v + "/bin/pg_ctl").isExecutable())
            return ("/usr/lib/postgresql/" + *v + "/bin").toStdString();
    const QString onPath = QStandardPaths::findExecutable("pg_ctl");
    return onPath.isEmpty() ? std::string() : QFileInfo(onPath).absolutePath().toStdString();
}

bool Root() {
    return ::geteuid() == 0;
}

// Returns once `pid` has ended and is gone: the server's processes are
// this process's own to reap (it is their subreaper), or a zombie would
// hold the data folder's lock.
void AwaitEnd(pid_t pid) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

std::optional<std::string> PostgresServer::Missing() {
    if (BinFolderFound().empty())
        return "PostgreSQL's server programs (initdb, pg_ctl) are not installed; "
               "scripts/install-deps installs postgresql-15";
    return std::nullopt;
}

PostgresServer::PostgresServer(std::string bin, std::string folder)
    : bin_(std::move(bin)), folder_(std::move(folder)), passwordFile_(folder_ + "/password") {}

Result<std::unique_ptr<PostgresServer>> PostgresServer::Start() {
    if (const auto missing = Missing())
        return Failure{*missing};
    // pg_ctl leaves the server behind as an orphan: it becomes ours.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    std::string folder = (fs::temp_directory_path() / "marlow-pg-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr)
        return Failure{"mkdtemp failed"};
    std::unique_ptr<PostgresServer> server(new PostgresServer(BinFolderFound(), folder));
    const std::string initPassword = folder + "/initdb-password";
    WriteFile(initPassword, std::string(kPassword) + "\n");
    if (Root()) {
        const passwd* nobody = ::getpwnam("nobody");
        if (nobody == nullptr)
            return Failure{"there is no user nobody to run PostgreSQL as"};
        for (const std::string& path : {folder, initPassword})
            if (::chown(path.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
                return Failure{"cannot give " + path + " to nobody"};
    }
    const Result<std::string> made = server->Run(
        "initdb", {"-D", folder + "/data", "-U", kUser, "--pwfile=" + initPassword, "-A",
                   "scram-sha-256", "-E", "UTF8", "--no-locale", "--no-sync", "--no-instructions"});
    fs::remove(initPassword);
    if (!made)
        return Failure{made.Error()};
    // No fsync: the data need only outlive a killed server, not a machine
    // that loses power. A commit still reaches the system before it is
    // confirmed (synchronous_commit stays on), as a station relies on.
    std::ofstream(folder + "/data/postgresql.conf", std::ios::app)
        << "listen_addresses = ''\nunix_socket_directories = '" << folder << "'\nfsync = off\n";
    WriteFile(server->passwordFile_, std::string(kPassword) + "\n");
    ::chmod(server->passwordFile_.c_str(), 0600);
    if (const Status started = server->Resume(); !started)
        return Failure{started.Error()};
    return server;
}

PostgresServer::~PostgresServer() {
    if (running_)
        Kill();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

Result<std::string> PostgresServer::Run(const std::string& program,
                                        const std::vector<std::string>& args) {
    QStringList arguments;
    for (const std::string& arg : args)
        arguments << QString::fromStdString(arg);
    QString path = QString::fromStdString(bin_ + "/" + program);
    if (Root()) {
        arguments = QStringList{"-u", "nobody", "--", path} + arguments;
        path = "runuser";
    }
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PGPASSWORD", kPassword); // for psql
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QString::fromStdString(folder_));
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(path, arguments);
    // initdb and the server's start take seconds of their own, a few times
    // the tests' usual bound on a busy machine; a hung one is killed.
    if (!process.waitForFinished(6 * kStuckAfterMs)) {
        process.kill();
        process.waitForFinished();
    }
    const std::string output = process.readAll().toStdString();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return Failure{program + " failed: " + output};
    return output;
}

// pg_ctl stop in `mode`, and the server's end awaited.
Status PostgresServer::Halt(const char* mode) {
    std::ifstream lock(folder_ + "/data/postmaster.pid");
    pid_t postmaster = 0;
    lock >> postmaster;
    running_ = false;
    const Result<std::string> stopped =
        Run("pg_ctl", {"-D", folder_ + "/data", "-m", mode, "-w", "stop"});
    AwaitEnd(postmaster);
    return stopped ? Status{} : Status{Failure{stopped.Error()}};
}

Status PostgresServer::Stop() {
    return Halt("fast");
}

void PostgresServer::Kill() {
    (void)Halt("immediate");
}

Status PostgresServer::Resume() {
    const Result<std::string> started =
        Run("pg_ctl",
            {"-D", folder_ + "/data", "-l", folder_ + "/server.log", "-w", "-t", "60", "start"});
    if (!started)
        return Failure{started.Error() + ReadFileText(folder_ + "/server.log")};
    running_ = true;
    return {};
}

std::string PostgresServer::Dsn(const std::string& database) const {
    return "host=" + folder_ + " dbname=" + database + " user=" + kUser;
}

Result<std::string> PostgresServer::CreateDatabase(const std::string& name) {
    const Result<std::string> made = Run("psql", {"-X", "-q", "-h", folder_, "-d", "postgres", "-U",
                                                  kUser, "-c", "CREATE DATABASE \"" + name + "\""});
    if (!made)
        return Failure{made.Error()};
    return Dsn(name);
}

} // namespace marlow::test
