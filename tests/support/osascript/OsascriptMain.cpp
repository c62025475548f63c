// The stand-in osascript of a fake Mac: runs the "do shell script … with administrator
// privileges" wrapper that Veldo writes, as root, after checking that the fake Mac's system
// folders and tools are root's and writable by no one else.
//
// Installed as <fake Mac>/usr/bin/osascript; it finds its fake Mac from its own path (it gets no
// VELDO_MAC_ROOT) and its control folder at <fake Mac>/private/var/osascript-stand-in. There it
// logs each run's prompt and script (run-<n>.prompt, run-<n>.script, n from 1) and reads:
//   mode   "cancel", "error <number> <text>" or "exit <status>" (see OsascriptRules.h)
//   hook   a shell command run just before the script (after the checks)
// It accepts only the program on standard input and no arguments; anything else is refused on
// standard error with exit status 1 and nothing runs. As root it runs the shell directly with
// the environment it was given; otherwise through pkexec with a clean environment.
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/core/CommandRunner.h"
#include "platform/HostFiles.h"
#include "platform/HostPath.h"
#include "tests/support/osascript/OsascriptRules.h"

namespace {

using namespace veldo::testsupport::osascript;
namespace CommandRunner = veldo::core::CommandRunner;

constexpr std::string_view kOwnMacPath = "/usr/bin/osascript";

int refuse(const std::string& why)
{
    std::cerr << "osascript stand-in: " << why << "\n";
    return 1;
}

std::optional<std::string> ownPath()
{
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size())
        return std::nullopt;
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
}

std::string readWhole(std::istream& in)
{
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file of the control folder; "" when it is missing.
std::string readControlFile(const std::string& control, std::string_view name)
{
    return veldo::platform::readHostText(
        veldo::platform::HostPath(control + "/" + std::string(name)), std::size_t{1} << 20);
}

// Root's, of the expected type, and writable by no one else (group write only counts for a
// group other than root's; a sticky folder may be writable by all). Links are not followed.
bool isProtected(const std::string& path, bool folder)
{
    struct stat status
    {
    };
    if (::lstat(path.c_str(), &status) != 0 || status.st_uid != 0)
        return false;
    if (folder ? !S_ISDIR(status.st_mode) : !S_ISREG(status.st_mode))
        return false;
    if (folder && (status.st_mode & S_ISVTX))
        return true;
    if (status.st_mode & S_IWOTH)
        return false;
    return !((status.st_mode & S_IWGRP) && status.st_gid != 0);
}

bool macIsProtected(const std::string& root)
{
    // Every folder from the host "/" down to the fake Mac.
    if (!isProtected("/", true))
        return false;
    for (std::size_t slash = root.find('/', 1);; slash = root.find('/', slash + 1)) {
        if (!isProtected(root.substr(0, slash), true))
            return false;
        if (slash == std::string::npos)
            break;
    }
    for (const char* folder :
         {"/usr", "/usr/bin", "/bin", "/private", "/private/var", "/private/var/tmp"}) {
        if (!isProtected(root + folder, true))
            return false;
    }
    for (const char* tool : {"/usr/bin/stat", "/usr/bin/env", "/usr/bin/perl", "/usr/bin/mktemp",
                             "/bin/rmdir", "/bin/launchctl"}) {
        if (!isProtected(root + tool, false))
            return false;
    }
    return true;
}

void logRun(const std::string& control, const ShellRequest& request)
{
    for (int n = 1; n < 100000; ++n) {
        const std::string base = control + "/run-" + std::to_string(n);
        const int fd =
            ::open((base + ".script").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return;
        }
        ::close(fd);
        std::ofstream(base + ".script", std::ios::binary) << request.script;
        std::ofstream(base + ".prompt", std::ios::binary) << request.prompt;
        return;
    }
}

} // namespace

int main(int argc, char** /*argv*/)
{
    if (argc != 1)
        return refuse("arguments are not accepted; the program comes on standard input");
    const auto self = ownPath();
    if (!self || !self->ends_with(kOwnMacPath) || self->size() == kOwnMacPath.size())
        return refuse("not installed as <fake Mac>/usr/bin/osascript");
    const std::string root = self->substr(0, self->size() - kOwnMacPath.size());
    const std::string control = root + "/private/var/osascript-stand-in";

    const std::string program = readWhole(std::cin);
    const auto request = parseProgram(program);
    if (!request)
        return refuse("unrecognised program");
    logRun(control, *request);

    if (!macIsProtected(root)) {
        std::cout << kUnprotectedLine << "\n";
        return 0;
    }
    const Mode mode = parseMode(readControlFile(control, "mode"));
    switch (mode.kind) {
    case Mode::Kind::cancel:
        std::cout << kCancelLine << "\n";
        return 0;
    case Mode::Kind::error:
        std::cout << mode.errorLine << "\n";
        return 0;
    case Mode::Kind::exitStatus:
        return mode.status;
    case Mode::Kind::normal:
        break;
    }

    const auto environment = CommandRunner::processEnvironment();
    if (const auto hook = readControlFile(control, "hook"); !hook.empty()) {
        (void)CommandRunner::runHostProgram(veldo::platform::HostPath("/bin/sh"), {"-c", hook},
                                            environment, CommandRunner::kNoTimeLimit);
    }

    CommandRunner::RunOptions options;
    options.standardInput = request->script;
    const bool asRoot = ::geteuid() == 0;
    const auto result =
        asRoot ? CommandRunner::runHostProgram(veldo::platform::HostPath("/bin/sh"),
                                               {"-c", std::string(kShellCommand)}, environment,
                                               CommandRunner::kNoTimeLimit, options)
               : CommandRunner::runHostProgram(veldo::platform::HostPath("/usr/bin/pkexec"),
                                               pkexecArguments(), environment,
                                               CommandRunner::kNoTimeLimit, options);
    if (!result && asRoot)
        return refuse("cannot start /bin/sh");
    if (!result) {
        std::cout << pkexecResult(127, "", "pkexec couldn't be started.");
        return 0;
    }
    std::cout << (asRoot ? shellResult(result->code, result->stdout, result->stderr)
                         : pkexecResult(result->code, result->stdout, result->stderr));
    return 0;
}
