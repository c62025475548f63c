// Running child programs with bounded waits, and finding the user's command-line tools.
#include "app/core/CommandRunner.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <functional>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "platform/ChildProcess.h"
#include "platform/DeveloperTools.h"
#include "platform/Home.h"
#include "platform/HostFiles.h"
#include "platform/MacFileSystem.h"
#include "platform/MacRoot.h"
#include "platform/OncePerRoot.h"
#include "platform/Unicode.h"

extern char** environ; // NOLINT(readability-redundant-declaration)

namespace veldo::core::CommandRunner {

namespace {

using platform::MacPath;
using SteadyClock = std::chrono::steady_clock;
using Deadline = std::optional<SteadyClock::time_point>;

constexpr std::string_view kPathMarker = "__VELDO_PATH__";
constexpr std::chrono::seconds kLoginShellTimeout{5};
constexpr std::chrono::seconds kXcodeSelectTimeout{5};
constexpr std::size_t kReadChunk = std::size_t{64} * 1024;
constexpr std::size_t kMaxShellsFileBytes = std::size_t{1024} * 1024;
constexpr std::size_t kMaxAliasBytes = std::size_t{64} * 1024;

Deadline deadlineAfter(std::chrono::milliseconds wait)
{
    // Beyond about thirty years, no limit (and no overflow of the clock).
    if (wait > std::chrono::seconds(1'000'000'000))
        return std::nullopt;
    return SteadyClock::now() + std::max(wait, std::chrono::milliseconds::zero());
}

// A descriptor that becomes readable once a stop is requested through a token; none for a
// token that can never stop.
class StopSignal
{
public:
    explicit StopSignal(const std::stop_token& stop)
    {
        if (!stop.stop_possible())
            return;
        m_fd = UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!m_fd)
            return; // cannot watch: the run goes on as if no stop could come
        const int fd = m_fd.get();
        m_callback.emplace(stop, [fd] {
            const std::uint64_t one = 1;
            while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
            }
        });
    }

    // -1 when there is nothing to watch.
    int fd() const { return m_fd ? m_fd.get() : -1; }

private:
    UniqueFd m_fd;
    std::optional<std::stop_callback<std::function<void()>>> m_callback;
};

// Reads both pipes of a child and notices its end, while waiting for one condition.
class OutputPump
{
public:
    OutputPump(platform::ChildProcess& child, int stopFd) : m_child(child), m_stopFd(stopFd) {}

    bool exited() const { return m_exited; }
    bool stdoutEnded() const { return m_stdoutEnded; }
    bool stderrEnded() const { return m_stderrEnded; }
    std::string& stdoutBytes() { return m_stdout; }
    std::string& stderrBytes() { return m_stderr; }
    bool truncated() const { return m_truncated; }
    bool stopRequested() const { return m_stopRequested; }
    // Stops watching for a stop request (the child is being stopped already).
    void ignoreStop() { m_stopFd = -1; }

    // Reads whatever arrives until `done()` holds, the deadline passes (none: no limit) or a
    // stop is requested. Returns done() at the end.
    template <typename Done>
    bool pumpUntil(Done done, Deadline deadline)
    {
        for (;;) {
            if (done())
                return true;
            if (m_stopRequested && m_stopFd >= 0)
                return false;
            if (m_exited)
                m_child.closeInput(); // nobody is left to read it
            pollfd fds[5];
            nfds_t count = 0;
            const int inputFd = m_child.stdinFd();
            if (inputFd >= 0)
                fds[count++] = pollfd{inputFd, POLLOUT, 0};
            if (!m_stdoutEnded)
                fds[count++] = pollfd{m_child.stdoutFd(), POLLIN, 0};
            if (!m_stderrEnded)
                fds[count++] = pollfd{m_child.stderrFd(), POLLIN, 0};
            if (!m_exited)
                fds[count++] = pollfd{m_child.exitFd(), POLLIN, 0};
            if (count == (inputFd >= 0 ? 1 : 0))
                return done();
            if (m_stopFd >= 0)
                fds[count++] = pollfd{m_stopFd, POLLIN, 0};

            timespec wait{};
            timespec* waitPointer = nullptr;
            bool lastRound = false;
            if (deadline) {
                const auto left = *deadline - SteadyClock::now();
                if (left <= SteadyClock::duration::zero()) {
                    lastRound = true;
                } else {
                    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left);
                    wait.tv_sec = static_cast<time_t>(ns.count() / 1'000'000'000);
                    wait.tv_nsec = static_cast<long>(ns.count() % 1'000'000'000);
                }
                waitPointer = &wait;
            }
            const int ready = ::ppoll(fds, count, waitPointer, nullptr);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                return done(); // cannot wait at all: give up on this condition
            }
            for (nfds_t i = 0; i < count; ++i) {
                if (fds[i].revents == 0)
                    continue;
                if (fds[i].fd == m_stopFd)
                    m_stopRequested = true;
                else if (fds[i].fd == inputFd)
                    m_child.writeInput();
                else if (fds[i].fd == m_child.exitFd())
                    m_exited = true;
                else if (fds[i].fd == m_child.stdoutFd())
                    readSome(fds[i].fd, m_stdout, m_stdoutEnded);
                else
                    readSome(fds[i].fd, m_stderr, m_stderrEnded);
            }
            if (lastRound)
                return done();
        }
    }

private:
    // One read: data is appended up to kMaxOutputBytes and the rest dropped; end of file or a
    // read error ends the pipe.
    void readSome(int fd, std::string& buffer, bool& ended)
    {
        char chunk[kReadChunk];
        const ssize_t n = base::retryOnInterrupt([&] { return ::read(fd, chunk, sizeof chunk); });
        if (n > 0) {
            const auto count = static_cast<std::size_t>(n);
            const std::size_t kept = std::min(count, kMaxOutputBytes - buffer.size());
            buffer.append(chunk, kept);
            if (kept < count)
                m_truncated = true;
        } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            ended = true;
        }
    }

    platform::ChildProcess& m_child;
    int m_stopFd = -1;
    bool m_stopRequested = false;
    std::string m_stdout;
    std::string m_stderr;
    bool m_exited = false;
    bool m_stdoutEnded = false;
    bool m_stderrEnded = false;
    bool m_truncated = false;
};

std::int32_t codeFromStatus(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return WTERMSIG(status);
    return status;
}

bool isValidEnvironmentName(const std::string& name)
{
    return !name.empty() && name.find('=') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// `errorPath` is the Mac path a failure to start names ("" for a host program).
Result<Output> runProgram(const std::string& hostExecutable, const std::string& argv0,
                          const std::string& errorPath, const std::vector<std::string>& arguments,
                          const Environment& environment, std::chrono::milliseconds timeout,
                          const RunOptions& options, const std::stop_token& stop)
{
    const Deadline deadline = deadlineAfter(timeout);
    if (stop.stop_requested())
        return Error::make(ErrorCode::cancelled);

    std::vector<std::string> argv;
    argv.reserve(arguments.size() + 1);
    argv.push_back(argv0);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env;
    env.reserve(environment.size());
    for (const auto& [name, value] : environment) {
        if (isValidEnvironmentName(name))
            env.push_back(std::string(name).append("=").append(value));
    }

    const StopSignal stopSignal(stop);
    platform::SpawnOptions spawnOptions;
    spawnOptions.standardInput = options.standardInput;
    // The working folder is opened inside the root and entered through its descriptor's name.
    UniqueFd workingFolder;
    if (options.workingDirectory) {
        auto folder = platform::openInRoot(*options.workingDirectory, O_PATH | O_DIRECTORY,
                                           platform::FollowLinks::yes);
        if (!folder)
            return Error::fromErrno(folder.error().systemErrno, options.workingDirectory->path());
        workingFolder = std::move(*folder);
        spawnOptions.workingDirectory = platform::descriptorName(workingFolder.get()).string();
    }
    auto child = platform::ChildProcess::spawn(hostExecutable, argv, env, spawnOptions);
    if (!child) {
        Error failure = child.error();
        failure.path = errorPath;
        return failure;
    }

    OutputPump pump(*child, stopSignal.fd());
    const auto hasExited = [&] { return pump.exited(); };
    const bool ended = pump.pumpUntil(hasExited, deadline);
    const bool cancelled = !ended && pump.stopRequested();
    const bool timedOut = !ended && !cancelled;
    if (!ended) {
        pump.ignoreStop();
        // A child that ended meanwhile cannot be signalled; the waits below see it ended.
        (void)child->sendSignal(options.terminateSignal);
        if (!pump.pumpUntil(hasExited, deadlineAfter(options.terminateGrace))) {
            (void)child->sendSignal(SIGKILL);
            pump.pumpUntil(hasExited, std::nullopt);
        }
    }
    const int status = child->wait();
    if (cancelled) {
        child->closeOutput();
        return Error::make(ErrorCode::cancelled);
    }
    pump.pumpUntil([&] { return pump.stdoutEnded(); }, deadlineAfter(options.outputDrainWait));
    pump.pumpUntil([&] { return pump.stderrEnded(); }, deadlineAfter(options.outputDrainWait));
    child->closeOutput();

    return Output{platform::repairedUtf8(pump.stdoutBytes()),
                  platform::repairedUtf8(pump.stderrBytes()), codeFromStatus(status), timedOut,
                  pump.truncated()};
}

std::vector<std::string> split(std::string_view text, char separator)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        const auto piece = text.substr(start, end == std::string_view::npos ? end : end - start);
        if (!piece.empty())
            pieces.emplace_back(piece);
        if (end == std::string_view::npos)
            return pieces;
        start = end + 1;
    }
}

std::string_view trimmed(std::string_view s, std::string_view characters)
{
    const auto first = s.find_first_not_of(characters);
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(characters);
    return s.substr(first, last - first + 1);
}

constexpr std::string_view kWhiteSpaceAndNewlines = " \t\n\r\v\f";

std::optional<std::string> accountShell()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) != 0 || !result ||
        !entry.pw_shell || entry.pw_shell[0] == '\0')
        return std::nullopt;
    return std::string(entry.pw_shell);
}

std::string inheritedPath()
{
    const Environment env = processEnvironment();
    auto it = env.find("PATH");
    return it == env.end() ? std::string() : it->second;
}

// The program at a Mac path, opened inside the root (links followed there), for the child to be
// started from: the file checked is the file that runs.
Result<UniqueFd> openProgram(const MacPath& executable)
{
    auto program = platform::openInRoot(executable, O_PATH, platform::FollowLinks::yes);
    if (!program)
        return Error::fromErrno(program.error().systemErrno, executable.path());
    return program;
}

} // namespace

Result<Output> run(const MacPath& executable, const std::vector<std::string>& arguments,
                   const Environment& environment, std::chrono::milliseconds timeout,
                   const RunOptions& options, std::stop_token stop)
{
    // argv[0] keeps the path as mapped, so programs that look at their own name see it.
    const std::string argv0 =
        platform::macRoot().empty() ? executable.path() : platform::hostPath(executable);
    const auto program = openProgram(executable);
    if (!program)
        return program.error();
    return runProgram(platform::descriptorName(program->get()).string(), argv0, executable.path(),
                      arguments, environment, timeout, options, stop);
}

Result<Output> runHostProgram(const platform::HostPath& hostExecutable,
                              const std::vector<std::string>& arguments,
                              const Environment& environment, std::chrono::milliseconds timeout,
                              const RunOptions& options, std::stop_token stop)
{
    return runProgram(hostExecutable.string(), hostExecutable.string(), {}, arguments, environment,
                      timeout, options, stop);
}

Result<Output> runWithUserEnvironment(const MacPath& executable,
                                      const std::vector<std::string>& arguments,
                                      std::chrono::milliseconds timeout, const RunOptions& options,
                                      std::stop_token stop)
{
    Environment env = processEnvironment();
    const auto own = env.find("PATH");
    const std::string ownPath = own == env.end() ? std::string() : own->second;
    const auto folders = searchPath(stop);
    if (!folders)
        return folders.error();
    env["PATH"] = childSearchPath(*folders, ownPath);
    return run(executable, arguments, env, timeout, options, std::move(stop));
}

Environment processEnvironment()
{
    Environment env;
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string_view text(*entry);
        const auto equals = text.find('=');
        if (equals == std::string_view::npos || equals == 0)
            continue;
        // The first definition of a name is the one getenv answers.
        env.emplace(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
    }
    return env;
}

const std::set<std::string, std::less<>>& appleStubTools()
{
    static const std::set<std::string, std::less<>> tools{"python3", "pip3",  "git",       "make",
                                                          "clang",   "swift", "xcodebuild"};
    return tools;
}

std::optional<MacPath> which(std::string_view name, const std::vector<MacPath>& searchPath,
                             bool stubsAcceptable)
{
    if (name.empty() || name.find('/') != std::string_view::npos)
        return std::nullopt;
    for (const MacPath& folder : searchPath) {
        const MacPath candidate = folder.appendingPathComponent(name);
        auto status = platform::fileStatus(candidate, platform::FollowLinks::yes);
        if (!status || status->type != platform::FileType::regular)
            continue;
        if (status->mode & S_IWOTH)
            continue;
        if (!platform::isExecutable(candidate))
            continue;
        if (!stubsAcceptable && isAppleStub(candidate))
            continue;
        return candidate;
    }
    return std::nullopt;
}

Result<std::vector<MacPath>> searchPath(std::stop_token stop)
{
    static platform::OncePerRoot<std::vector<MacPath>> value(
        [](std::stop_token makerStop) -> std::optional<std::vector<MacPath>> {
            const auto login = loginShellPath(makerStop);
            // A stopped shell may have reported nothing: such a path is not the user's.
            if (makerStop.stop_requested())
                return std::nullopt;
            // The shell's folders are looked up at the same paths inside the Mac root.
            std::vector<MacPath> loginFolders;
            loginFolders.reserve(login.size());
            for (const auto& folder : login)
                loginFolders.emplace_back(folder.string());
            return composeSearchPath(loginFolders, platform::homeDirectory(), inheritedPath());
        });
    auto folders = value.get(std::move(stop));
    if (!folders)
        return Error::make(ErrorCode::cancelled);
    return std::move(*folders);
}

bool commandLineToolsInstalled()
{
    static platform::OncePerRoot<bool> value([] {
        if (platform::developerToolsAlwaysInstalled())
            return true;
        if (platform::exists(MacPath("/Library/Developer/CommandLineTools/usr/bin")))
            return true;
        auto out = run(MacPath("/usr/bin/xcode-select"), {"-p"}, processEnvironment(),
                       kXcodeSelectTimeout);
        if (!out || out->code != 0 || out->timedOut)
            return false;
        const auto folder = trimmed(out->stdout, kWhiteSpaceAndNewlines);
        return !folder.empty() && platform::exists(MacPath(folder));
    });
    return value.get();
}

std::optional<MacPath> findTool(std::string_view name, const std::stop_token& stop)
{
    const auto folders = searchPath(stop);
    if (!folders)
        return std::nullopt; // stopped
    return which(name, *folders, commandLineToolsInstalled());
}

std::vector<MacPath> composeSearchPath(const std::vector<MacPath>& loginFolders,
                                       const MacPath& home, std::string_view inherited)
{
    std::vector<MacPath> entries = loginFolders;
    for (auto& folder : versionManagerDirectories(home))
        entries.push_back(std::move(folder));
    for (const char* fixed :
         {"/opt/homebrew/bin", "/usr/local/bin", "/usr/bin", "/bin", "/usr/sbin", "/sbin"})
        entries.emplace_back(fixed);
    for (auto& piece : split(inherited, ':'))
        entries.emplace_back(std::move(piece));
    return usableDirectories(entries);
}

std::string childSearchPath(const std::vector<MacPath>& searchPath, std::string_view inherited)
{
    const bool mapped = !platform::macRoot().empty();
    std::vector<std::string> folders;
    folders.reserve(searchPath.size());
    for (const MacPath& folder : searchPath) {
        if (!mapped) {
            folders.push_back(folder.path());
        } else if (auto host = platform::resolvedHostPath(folder, platform::FollowLinks::yes)) {
            folders.push_back(host->string());
        }
    }
    if (mapped) {
        for (auto& piece : split(inherited, ':')) {
            if (piece.front() == '/' &&
                std::find(folders.begin(), folders.end(), piece) == folders.end())
                folders.push_back(std::move(piece));
        }
    }
    std::string joined;
    for (const auto& folder : folders) {
        if (!joined.empty())
            joined.push_back(':');
        joined.append(folder);
    }
    return joined;
}

platform::HostPath loginShell()
{
    std::vector<std::string> allowed;
    const auto shells =
        platform::readHostText(platform::HostPath("/etc/shells"), kMaxShellsFileBytes);
    for (const auto& line : split(shells, '\n')) {
        const auto shell = trimmed(line, " \t");
        if (!shell.empty() && shell.front() == '/')
            allowed.emplace_back(shell);
    }
    std::vector<std::string> candidates;
    const Environment env = processEnvironment();
    if (auto it = env.find("SHELL"); it != env.end())
        candidates.push_back(it->second);
    if (auto shell = accountShell())
        candidates.push_back(*shell);
    for (const auto& candidate : candidates) {
        if (std::find(allowed.begin(), allowed.end(), candidate) != allowed.end() &&
            platform::isExecutableHostFile(platform::HostPath(candidate)))
            return platform::HostPath(candidate);
    }
    return platform::HostPath("/bin/zsh");
}

std::vector<platform::HostPath> loginShellPath(std::stop_token stop)
{
    Environment env = processEnvironment();
    env["VELDO_RESOLVING_ENVIRONMENT"] = "1";
    const std::string script =
        "printf '" + std::string(kPathMarker) + "%s" + std::string(kPathMarker) + "' \"$PATH\"";
    RunOptions options;
    options.terminateSignal = SIGHUP;
    auto out = runHostProgram(loginShell(), {"-l", "-i", "-c", script}, env, kLoginShellTimeout,
                              options, std::move(stop));
    if (!out || out->code != 0 || out->timedOut)
        return {};
    return parseLoginShellPath(out->stdout);
}

std::vector<platform::HostPath> parseLoginShellPath(std::string_view output)
{
    const auto first = output.find(kPathMarker);
    if (first == std::string_view::npos)
        return {};
    const auto start = first + kPathMarker.size();
    const auto second = output.find(kPathMarker, start);
    if (second == std::string_view::npos)
        return {};
    std::vector<platform::HostPath> folders;
    for (auto& piece : split(output.substr(start, second - start), ':'))
        folders.emplace_back(std::move(piece));
    return folders;
}

std::vector<MacPath> versionManagerDirectories(const MacPath& home)
{
    std::vector<MacPath> folders;
    if (auto nvm = nvmNodeBinDirectory(home))
        folders.push_back(std::move(*nvm));
    for (const char* sub : {".pyenv/shims", ".rbenv/shims", ".asdf/shims",
                            ".local/share/mise/shims", ".volta/bin", ".local/bin"})
        folders.push_back(home.appendingPathComponent(sub));
    return folders;
}

std::optional<MacPath> nvmNodeBinDirectory(const MacPath& home)
{
    const MacPath versions = home.appendingPathComponent(".nvm/versions/node");
    std::vector<std::string> names;
    if (auto listed = platform::listDirectory(versions)) {
        for (auto& name : *listed) {
            if (!name.empty() && name.front() == 'v')
                names.push_back(std::move(name));
        }
    }
    if (names.empty())
        return std::nullopt;
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int c = compareNumerically(a, b);
        return c != 0 ? c > 0 : a > b;
    });

    std::string alias;
    if (auto text =
            platform::readFile(home.appendingPathComponent(".nvm/alias/default"), kMaxAliasBytes)) {
        // Text that is not UTF-8 cannot be read as an alias.
        if (platform::repairedUtf8(*text) == *text)
            alias = trimmed(*text, kWhiteSpaceAndNewlines);
    }
    if (alias.empty() || alias.front() != 'v')
        alias.insert(alias.begin(), 'v');

    const std::string prefix = alias + ".";
    std::string chosen = names.front();
    for (const auto& name : names) {
        if (name == alias || name.starts_with(prefix)) {
            chosen = name;
            break;
        }
    }
    return versions.appendingPathComponent(chosen).appendingPathComponent("bin");
}

int compareNumerically(std::string_view a, std::string_view b)
{
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t ie = i;
            std::size_t je = j;
            while (ie < a.size() && isDigit(a[ie]))
                ++ie;
            while (je < b.size() && isDigit(b[je]))
                ++je;
            auto ra = a.substr(i, ie - i);
            auto rb = b.substr(j, je - j);
            ra.remove_prefix(std::min(ra.find_first_not_of('0'), ra.size()));
            rb.remove_prefix(std::min(rb.find_first_not_of('0'), rb.size()));
            if (ra.size() != rb.size())
                return ra.size() < rb.size() ? -1 : 1;
            if (const int c = ra.compare(rb); c != 0)
                return c < 0 ? -1 : 1;
            i = ie;
            j = je;
            continue;
        }
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    const bool aLeft = i < a.size();
    const bool bLeft = j < b.size();
    return aLeft == bLeft ? 0 : (aLeft ? 1 : -1);
}

std::vector<MacPath> usableDirectories(const std::vector<MacPath>& entries)
{
    std::vector<MacPath> kept;
    for (const MacPath& entry : entries) {
        std::string path = entry.path();
        if (path.size() >= 2 && path.back() == '/')
            path.pop_back();
        if (path.empty() || path.front() != '/')
            continue;
        const MacPath folder(std::move(path));
        if (std::find(kept.begin(), kept.end(), folder) != kept.end())
            continue;
        auto status = platform::fileStatus(folder, platform::FollowLinks::yes);
        if (!status || status->type != platform::FileType::directory)
            continue;
        if (status->mode & S_IWOTH)
            continue;
        kept.push_back(folder);
    }
    return kept;
}

bool isAppleStub(const MacPath& path)
{
    if (path.deletingLastPathComponent().standardized() != MacPath("/usr/bin"))
        return false;
    if (appleStubTools().contains(path.lastPathComponent()))
        return true;
    auto tool = platform::fileStatus(path, platform::FollowLinks::yes);
    auto python = platform::fileStatus(MacPath("/usr/bin/python3"), platform::FollowLinks::yes);
    return tool && python && tool->device == python->device && tool->inode == python->inode;
}

} // namespace veldo::core::CommandRunner
