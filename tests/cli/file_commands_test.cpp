// What marlow-cli info, image and stamp make of awkward inputs: pipes and
// devices, empty lists, names holding control bytes or bytes that are not
// UTF-8, lists written on Windows. Each run must end, with its message and
// exit code.

#include "support/temp_dir.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace marlow {
namespace {

struct Finished {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// posix_spawn rather than QProcess: QProcess would encode the arguments as
// text, and a byte like 0xFF could not be passed as it is.
Finished RunCli(const test::TempDir& dir, const std::vector<std::string>& args) {
    std::vector<std::string> argvText{MARLOW_CLI};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvText)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const std::string out = dir.File("cli.out");
    const std::string err = dir.File("cli.err");
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    Finished finished;
    if (posix_spawn(&pid, MARLOW_CLI, &files, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        finished.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&files);
    finished.out = test::ReadFileText(out);
    finished.err = test::ReadFileText(err);
    return finished;
}

// The smallest boot image: the header and the end record (launch address 0x1000).
std::string SmallestImage() {
    return std::string("B000FF\n", 7) + std::string(8, '\0') + std::string(4, '\0') +
           std::string("\x00\x10\x00\x00", 4) + std::string(4, '\0');
}

TEST(CliFileCommands, AwkwardInputsEndWithTheirMessage) {
    test::TempDir dir;
    const std::string d = dir.Path() + "/";
    ASSERT_EQ(::mkfifo((d + "pipe.bin").c_str(), 0600), 0);
    std::filesystem::create_directory(d + "sub");
    test::WriteFile(d + "sub/nk.bin", SmallestImage());
    test::WriteFile(d + "windows.lst", "SUB\\NK.BIN\r\n");
    test::WriteFile(d + "empty.lst", "");
    test::WriteFile(d + "nul.lst", std::string("\0\0good.bin\n", 11));
    test::WriteFile(d + "phone.lst", "nk.bin\r\n-psi.flb\r\nslb.flb\r\nmodem.fls\r\nmodem.eep\r\n");
    test::WriteFile(d + "raw.nb0", "0123456789\x01\x1b\r\nabcdef");
    test::WriteFile(d + "\xff.nb0", std::string(30, 'x') + std::string("QUILL\0\0\0\0\0\0\0\0\0\0"
                                                                       "1.0\0\0",
                                                                       20));

    struct Row {
        std::vector<std::string> args;
        int exitCode;
        std::string out; // a part of stdout
        std::string err; // a part of stderr
    };
    const Row rows[] = {
        {{"info", d + "pipe.bin"}, 3, "", "pipe.bin: is not a regular file (a named pipe)"},
        {{"image", "/dev/zero"}, 3, "", "is not a regular file (a character device)"},
        {{"image", d + "empty.lst"}, 3, "", "empty.lst names no image"},
        {{"image", d + "nul.lst"}, 3, "\\0\\0good.bin (the name holds a NUL byte)", ""},
        {{"image", d + "windows.lst"},
         0,
         "(" + d + "sub/nk.bin)\n    start address",
         "SUB\\NK.BIN: not found as written, using sub/nk.bin"},
        {{"stamp", "verify", d + "phone.lst"}, 0, "model   NONE\nversion NONE\n", ""},
        {{"stamp", "verify", d + "raw.nb0"},
         0,
         "model   0123456789\\x01\\x1B\\r\\na\nversion bcdef\n",
         ""},
        {{"stamp", "verify", d + "\xff.nb0"}, 0, "model   QUILL\nversion 1.0\n", ""},
        {{"stamp", "insert", d + "pipe.bin", "--model", "A", "--version", "1"},
         1,
         "",
         "is not a regular file (a named pipe)"},
    };
    for (const Row& row : rows) {
        const Finished run = RunCli(dir, row.args);
        const std::string what = row.args[0] + " " + row.args.back();
        EXPECT_EQ(run.exitCode, row.exitCode) << what << "\n" << run.err;
        EXPECT_NE(run.out.find(row.out), std::string::npos) << what << "\n" << run.out;
        EXPECT_NE(run.err.find(row.err), std::string::npos) << what << "\n" << run.err;
        EXPECT_EQ(run.out.find('\0'), std::string::npos) << what;
    }
}

} // namespace
} // namespace marlow
