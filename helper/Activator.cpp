#include "helper/Activator.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <linux/openat2.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "common/HelperEndpoint.h"
#include "common/HelperFileAccess.h"
#include "helper/CredentialedFrame.h"
#include "helper/HelperLog.h"
#include "helper/ServiceDefinition.h"
#include "helper/SystemFolders.h"
#include "helper/ToolRunner.h"
#include "platform/MacRoot.h"

namespace veldo::helper {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxPlistBytes = std::size_t{1} << 20;
constexpr std::string_view kLogName = "orbelkan.Veldo.Helper.log";
constexpr int kPollMilliseconds = 100;

HelperLog& activatorLog()
{
    return HelperLog::category("activator");
}

// `relative` beneath the open Mac root, no symbolic link followed anywhere on the way.
base::UniqueFd openInMac(int rootFd, const std::string& relative, int flags)
{
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags) | O_CLOEXEC | O_NOFOLLOW;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd = -1;
    do
        fd = ::syscall(SYS_openat2, rootFd, relative.c_str(), &how, sizeof how);
    while (fd < 0 && (errno == EINTR || errno == EAGAIN));
    return base::UniqueFd(static_cast<int>(fd));
}

bool isRootsAlone(int fd)
{
    struct stat status
    {
    };
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
           ToolRunner::isWritableOnlyByRoot(status, false);
}

// The open Mac folder `path`, made (root's, 0755) with every missing folder above it.
base::UniqueFd systemFolder(std::string_view path)
{
    const auto root = common::helperRoot();
    if (!root)
        return {};
    auto made = base::makeFolders(root->fd(), path.substr(1), {.mode = 0755, .onMade = {}});
    return made ? std::move(*made) : base::UniqueFd();
}

struct Endpoint
{
    base::UniqueFd folder;
    base::UniqueFd socket;
    dev_t device = 0;
    ino_t inode = 0;
};

// Binds the helper's socket in "/private/var/run", replacing a stale socket of root's.
std::optional<Endpoint> bindEndpoint(std::string& reason)
{
    Endpoint endpoint;
    endpoint.folder = systemFolder(common::kHelperSocketFolder);
    if (!endpoint.folder) {
        reason = "the socket's folder can't be opened";
        return std::nullopt;
    }
    const std::string name(common::kHelperSocketName);
    struct stat existing
    {
    };
    if (::fstatat(endpoint.folder.get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISSOCK(existing.st_mode) || existing.st_uid != 0) {
            reason = "something other than a socket of root's is at the socket's name";
            return std::nullopt;
        }
        if (::unlinkat(endpoint.folder.get(), name.c_str(), 0) != 0) {
            reason = "the stale socket can't be removed";
            return std::nullopt;
        }
    }
    // Bound, opened to everyone and listening under a name of its own first, then renamed into
    // place: a client that finds the name can connect.
    const std::string binding = name + ".binding";
    if (::unlinkat(endpoint.folder.get(), binding.c_str(), 0) != 0 && errno != ENOENT) {
        reason = "an earlier socket being bound can't be removed";
        return std::nullopt;
    }
    const auto address = common::socketAddressIn(endpoint.folder.get(), binding);
    endpoint.socket = base::UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    struct stat bound
    {
    };
    if (!address || !endpoint.socket ||
        ::bind(endpoint.socket.get(), reinterpret_cast<const sockaddr*>(&*address),
               sizeof *address) != 0 ||
        ::fstatat(endpoint.folder.get(), binding.c_str(), &bound, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::fchmodat(endpoint.folder.get(), binding.c_str(), 0666, 0) != 0 ||
        !enableWriterCredentials(endpoint.socket.get(), false) ||
        ::listen(endpoint.socket.get(), 128) != 0 ||
        ::renameat(endpoint.folder.get(), binding.c_str(), endpoint.folder.get(), name.c_str()) !=
            0) {
        reason = "the socket can't be bound (errno " + std::to_string(errno) + ")";
        (void)::unlinkat(endpoint.folder.get(), binding.c_str(), 0);
        return std::nullopt;
    }
    endpoint.device = bound.st_dev;
    endpoint.inode = bound.st_ino;
    return endpoint;
}

// Removes the socket when it is still the one bound.
void removeEndpoint(const Endpoint& endpoint)
{
    const std::string name(common::kHelperSocketName);
    struct stat status
    {
    };
    if (::fstatat(endpoint.folder.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        status.st_dev == endpoint.device && status.st_ino == endpoint.inode)
        (void)::unlinkat(endpoint.folder.get(), name.c_str(), 0);
}

// Starts the program with the socket as descriptor 3; the child's process descriptor.
base::UniqueFd startDaemon(const TrustedService& service, int socketFd, int logFd,
                           const ActivatorOptions& options)
{
    std::vector<std::string> environment{std::string(ToolRunner::kPathVariable)};
    if (const std::string root = platform::macRoot(); !root.empty())
        environment.push_back("VELDO_MAC_ROOT=" + root);
    for (const auto& name : options.passEnvironment)
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the activator has one thread
        if (const char* value = std::getenv(name.c_str()))
            environment.push_back(name + "=" + value);
    environment.push_back("LISTEN_FDS=1");
    std::string argv0 = service.programHostPath;
    const pid_t child = ::fork();
    if (child < 0)
        return {};
    if (child == 0) {
        environment.push_back("LISTEN_PID=" + std::to_string(::getpid()));
        std::vector<char*> envp;
        envp.reserve(environment.size() + 1);
        for (auto& variable : environment)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        char* argv[] = {argv0.data(), nullptr};
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        if (logFd >= 0)
            ::dup2(logFd, STDERR_FILENO);
        if (socketFd == 3)
            ::fcntl(3, F_SETFD, 0);
        else
            ::dup2(socketFd, 3);
        sigset_t none;
        sigemptyset(&none);
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the forked child has one thread
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        std::signal(SIGPIPE, SIG_DFL);
        ::syscall(SYS_execveat, service.program.get(), "", argv, envp.data(), AT_EMPTY_PATH);
        ::_exit(127);
    }
    return base::UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
}

} // namespace

std::optional<ActivatorOptions> parseActivatorOptions(const std::vector<std::string>& arguments,
                                                      std::string& error)
{
    ActivatorOptions options;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string& option = arguments[at];
        if (at + 1 >= arguments.size() ||
            (option != "--restart-spacing" && option != "--pass-env")) {
            error =
                "Usage: veldo-helper-activator [--restart-spacing SECONDS] [--pass-env NAME]...";
            return std::nullopt;
        }
        const std::string& value = arguments[++at];
        if (option == "--pass-env") {
            options.passEnvironment.push_back(value);
            continue;
        }
        char* end = nullptr;
        const double seconds = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0' || !(seconds >= 0) || seconds > 86400) {
            error = "The restart spacing must be a number of seconds.";
            return std::nullopt;
        }
        options.restartSpacing = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    }
    return options;
}

std::optional<TrustedService> trustedService(std::string& reason)
{
    const std::string plistName(common::kHelperPlistName);
    const platform::MacPath recordPath = platform::ServiceRegistrationRecord::pathFor(plistName);
    const auto folder = common::openPathBeneath(recordPath.deletingLastPathComponent().path());
    const base::UniqueFd file =
        folder ? base::openAt(folder->fd(), plistName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK)
               : base::UniqueFd();
    if (!file) {
        reason = "the registration record is missing or not a plain file";
        return std::nullopt;
    }
    struct stat status
    {
    };
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1 ||
        status.st_uid != 0 || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        reason = "the registration record isn't root's alone";
        return std::nullopt;
    }
    const auto bytes = base::readAll(file.get(), kMaxPlistBytes);
    auto record =
        bytes ? platform::ServiceRegistrationRecord::decodePropertyList(*bytes) : std::nullopt;
    const std::string label(common::kHelperServiceName);
    if (!record || !record->approved || record->label != label || record->plistName != plistName) {
        reason = "the registration record isn't an approved record of the helper";
        return std::nullopt;
    }
    const platform::MacPath bundle(record->bundlePath);
    if (!bundle.isAbsolute() || !ServiceDefinition::isInsideBundle(bundle.path().substr(1))) {
        reason = "the registration names no usable bundle";
        return std::nullopt;
    }

    const std::string bundleHost = platform::hostPath(bundle);
    const std::string relativeBundle = bundle.path().substr(1);
    const std::string plistRelative = std::string(common::kHelperLaunchDaemonPlist);
    const auto root = common::helperRoot();
    if (!root || !ToolRunner::checkToolPath(bundleHost + "/" + plistRelative)) {
        reason = "the bundle's launchd property list isn't root's alone";
        return std::nullopt;
    }
    const base::UniqueFd plist =
        openInMac(root->fd(), relativeBundle + "/" + plistRelative, O_RDONLY);
    const auto plistBytes = plist && isRootsAlone(plist.get())
                                ? base::readAll(plist.get(), kMaxPlistBytes)
                                : Result<std::string>(Error{});
    const auto definition =
        plistBytes ? ServiceDefinition::decode(*plistBytes) : std::optional<ServiceDefinition>();
    if (!definition || definition->label != record->label ||
        std::find(definition->machServices.begin(), definition->machServices.end(), label) ==
            definition->machServices.end() ||
        !ServiceDefinition::isInsideBundle(definition->bundleProgram)) {
        reason = "the bundle's launchd property list doesn't name the helper";
        return std::nullopt;
    }
    TrustedService service;
    service.programHostPath = bundleHost + "/" + definition->bundleProgram;
    if (!ToolRunner::checkToolPath(service.programHostPath)) {
        reason = "the helper's program isn't root's alone";
        return std::nullopt;
    }
    service.program =
        openInMac(root->fd(), relativeBundle + "/" + definition->bundleProgram, O_PATH);
    if (!service.program || !isRootsAlone(service.program.get())) {
        reason = "the helper's program can't be opened";
        return std::nullopt;
    }
    service.record = std::move(*record);
    return service;
}

int runActivator(const ActivatorOptions& options)
{
    if (::getuid() != 0 || ::geteuid() != 0) {
        activatorLog().error("Only root can run Veldo's helper activator.");
        return 77;
    }
    std::signal(SIGPIPE, SIG_IGN);
    ::umask(022);
    if (!macSystemFoldersProtected()) {
        activatorLog().error("Refusing to run: the Mac's system folders aren't protected");
        return 1;
    }
    std::string reason;
    if (!trustedService(reason)) {
        activatorLog().error("Not serving: %{public}s", {reason});
        return 1;
    }
    const base::UniqueFd logFolder = systemFolder("/private/var/log");
    auto endpoint = bindEndpoint(reason);
    if (!logFolder || !endpoint) {
        activatorLog().error("Not serving: %{public}s", {logFolder ? reason : "no log folder"});
        return 1;
    }
    activatorLog().notice("Serving orbelkan.Veldo.Helper");

    base::UniqueFd daemon;
    std::optional<Clock::time_point> lastStart;
    const auto stopServing = [&](int status) {
        removeEndpoint(*endpoint);
        if (daemon) {
            ::syscall(SYS_pidfd_send_signal, daemon.get(), SIGTERM, nullptr, 0);
            siginfo_t info{};
            ::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(daemon.get()), &info,
                     WEXITED);
        }
        return status;
    };
    for (;;) {
        pollfd wait{daemon ? daemon.get() : endpoint->socket.get(), POLLIN, 0};
        const int ready = ::poll(&wait, 1, kPollMilliseconds);
        if (ready < 0 && errno != EINTR)
            return stopServing(1);
        if (!trustedService(reason)) {
            activatorLog().notice("Stopped serving: %{public}s", {reason});
            return stopServing(0);
        }
        if (ready <= 0)
            continue;
        if (daemon) {
            siginfo_t info{};
            if (::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(daemon.get()), &info,
                         WEXITED | WNOHANG) == 0 &&
                info.si_pid != 0) {
                activatorLog().info("The helper daemon ended (status %{public}d)",
                                    {std::to_string(info.si_status)});
                daemon.reset();
            }
            continue;
        }
        // A client waits: check everything again, keep the spacing, start the daemon.
        if (!macSystemFoldersProtected()) {
            activatorLog().error("Refusing to run: the Mac's system folders aren't protected");
            return stopServing(1);
        }
        auto service = trustedService(reason);
        if (!service) {
            activatorLog().notice("Stopped serving: %{public}s", {reason});
            return stopServing(0);
        }
        if (lastStart) {
            const auto due = *lastStart + options.restartSpacing;
            if (Clock::now() < due)
                std::this_thread::sleep_until(due);
        }
        const base::UniqueFd log = base::openAt(logFolder.get(), std::string(kLogName).c_str(),
                                                O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW, 0644);
        lastStart = Clock::now();
        daemon = startDaemon(*service, endpoint->socket.get(), log.get(), options);
        if (!daemon) {
            activatorLog().error("The helper daemon couldn't be started (errno %{public}d)",
                                 {std::to_string(errno)});
            return stopServing(1);
        }
        activatorLog().info("Started the helper daemon");
    }
}

} // namespace veldo::helper
