// Child processes started from a descriptor of their program, watched and signalled through a
// pidfd.
#include "platform/ChildProcess.h"

#include <cerrno>
#include <ctime>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "platform/HostFiles.h"

namespace veldo::platform {

namespace {

struct Pipe
{
    UniqueFd read;
    UniqueFd write;
};

enum class ParentEnd
{
    read,
    write
};

// A pipe whose end kept by the parent is non-blocking.
Result<Pipe> makePipe(ParentEnd parentEnd = ParentEnd::read)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return Error::fromErrno(errno);
    Pipe p{UniqueFd(fds[0]), UniqueFd(fds[1])};
    const int parentFd = parentEnd == ParentEnd::read ? p.read.get() : p.write.get();
    const int flags = ::fcntl(parentFd, F_GETFL);
    if (flags < 0 || ::fcntl(parentFd, F_SETFL, flags | O_NONBLOCK) != 0)
        return Error::fromErrno(errno);
    return p;
}

// write() on a pipe with SIGPIPE blocked for this thread; a SIGPIPE the write raised is taken
// back, so a reader that went away is only an EPIPE.
ssize_t writeWithoutSigpipe(int fd, const char* bytes, std::size_t count)
{
    sigset_t pipeOnly;
    sigset_t previous;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    ::pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    const ssize_t n = base::retryOnInterrupt([&] { return ::write(fd, bytes, count); });
    const int writeErr = errno;
    if (n < 0 && writeErr == EPIPE && !wasPending) {
        const timespec now{};
        while (::sigtimedwait(&pipeOnly, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = writeErr;
    return n;
}

std::vector<char*> cStrings(const std::vector<std::string>& strings)
{
    std::vector<char*> out;
    out.reserve(strings.size() + 1);
    for (const auto& s : strings)
        out.push_back(const_cast<char*>(s.c_str())); // execveat does not write them
    out.push_back(nullptr);
    return out;
}

int reap(pid_t pid, int& status)
{
    return base::retryOnInterrupt([&] { return ::waitpid(pid, &status, 0); }) < 0 ? errno : 0;
}

// Where the child keeps the program's descriptor and the end of the pipe that reports a failed
// start; every descriptor from kFirstUnused up is closed before the program starts.
constexpr int kProgramFd = 3;
constexpr int kReportFd = 4;
constexpr int kFirstUnused = 5;

// The parent's descriptors that the child arranges, and how it names the program: `name` in the
// folder `program`, or `program` itself when the name is empty; the folder it starts in (a host
// path), or none.
struct ChildDescriptors
{
    int input;
    int output;
    int error;
    int program;
    int report;
    const char* name;
    const char* workingDirectory;
};

// The program's folder and its name there, when that name names exactly the opened file right
// now: scripts then see their real name and folder (as "/dev/fd/3/<name>", a path that leads to
// both) rather than a bare "/dev/fd/3". None for a file without one (removed, or not found where
// the kernel says it is).
std::optional<std::pair<UniqueFd, std::string>> folderAndName(int program)
{
    const std::string path = hostPathOfDescriptor(program).string();
    if (path.empty() || path[0] != '/')
        return std::nullopt;
    const auto slash = path.rfind('/');
    std::string name = path.substr(slash + 1);
    if (name.empty())
        return std::nullopt;
    UniqueFd folder = base::openAt(AT_FDCWD, slash == 0 ? "/" : path.substr(0, slash).c_str(),
                                   O_PATH | O_DIRECTORY);
    struct stat opened = {};
    struct stat named = {};
    if (!folder || ::fstat(program, &opened) != 0 ||
        ::fstatat(folder.get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
        return std::nullopt;
    return std::pair{std::move(folder), std::move(name)};
}

// Reports `err` through the report pipe and ends the child.
[[noreturn]] void failInChild(int reportFd, int err)
{
    (void)!::write(reportFd, &err, sizeof err);
    ::_exit(127);
}

// The child's side of spawn, between fork and exec: system calls only, since the parent's other
// threads may have held locks that stay held in the child.
[[noreturn]] void startInChild(const ChildDescriptors& fds, char* const* argv, char* const* envp)
{
    struct sigaction defaults = {};
    defaults.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &defaults, nullptr); // SIGKILL, SIGSTOP and reserved ones refuse
    sigset_t none;
    sigemptyset(&none);
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the forked child has one thread
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    // Entered while every descriptor of the parent is still open, so that a "/proc/self/fd/N"
    // name leads where it did in the parent.
    if (fds.workingDirectory && ::chdir(fds.workingDirectory) != 0)
        failInChild(fds.report, errno);

    // Each descriptor is first moved above the places it and the others go to, so that placing
    // one never overwrites another.
    const int sources[] = {fds.input, fds.output, fds.error, fds.program, fds.report};
    int moved[5];
    for (int i = 0; i < 5; ++i) {
        moved[i] = ::fcntl(sources[i], F_DUPFD_CLOEXEC, kFirstUnused);
        if (moved[i] < 0)
            failInChild(fds.report, errno);
    }
    const int report = moved[4];
    for (int target = 0; target < 5; ++target) {
        if (::dup2(moved[target], target) < 0)
            failInChild(report, errno);
    }
    // dup2 cleared close-on-exec; the program's descriptor and the report pipe keep it.
    if (::fcntl(kProgramFd, F_SETFD, FD_CLOEXEC) != 0 ||
        ::fcntl(kReportFd, F_SETFD, FD_CLOEXEC) != 0)
        failInChild(report, errno);
    ::close_range(kFirstUnused, ~0U, 0);

    const char* name = fds.name;
    const int flags = fds.name[0] != '\0' ? AT_SYMLINK_NOFOLLOW : AT_EMPTY_PATH;
    ::execveat(kProgramFd, name, argv, envp, flags);
    if (errno == ENOENT) {
        // A script: its interpreter is handed "/dev/fd/3/<name>" (or "/dev/fd/3") and must be
        // able to open it, so the descriptor stays open across this exec only.
        if (::fcntl(kProgramFd, F_SETFD, 0) == 0)
            ::execveat(kProgramFd, name, argv, envp, flags);
    }
    failInChild(kReportFd, errno);
}

} // namespace

Result<ChildProcess> ChildProcess::spawn(const std::string& hostExecutable,
                                         const std::vector<std::string>& argv,
                                         const std::vector<std::string>& environment,
                                         const SpawnOptions& options)
{
    // What runs is the file opened here, whatever its path names by the time the child starts.
    const UniqueFd program = base::openAt(AT_FDCWD, hostExecutable.c_str(), O_PATH);
    if (!program)
        return Error::fromErrno(errno);
    auto out = makePipe();
    if (!out)
        return out.error();
    Result<Pipe> err = options.combinedOutput ? Result<Pipe>(Pipe{}) : makePipe();
    if (!err)
        return err.error();
    const int errWrite = options.combinedOutput ? out->write.get() : err->write.get();
    std::optional<Pipe> in;
    UniqueFd nullInput;
    if (options.standardInput) {
        auto made = makePipe(ParentEnd::write);
        if (!made)
            return made.error();
        in = std::move(*made);
    } else {
        nullInput = base::openAt(AT_FDCWD, "/dev/null", O_RDONLY);
        if (!nullInput)
            return Error::fromErrno(errno);
    }
    int reportFds[2];
    if (::pipe2(reportFds, O_CLOEXEC) != 0)
        return Error::fromErrno(errno);
    UniqueFd reportRead(reportFds[0]);
    UniqueFd reportWrite(reportFds[1]);

    auto argvPointers = cStrings(argv);
    auto envPointers = cStrings(environment);
    const auto named = folderAndName(program.get());
    const ChildDescriptors fds{in ? in->read.get() : nullInput.get(),
                               out->write.get(),
                               errWrite,
                               named ? named->first.get() : program.get(),
                               reportWrite.get(),
                               named ? named->second.c_str() : "",
                               options.workingDirectory ? options.workingDirectory->c_str()
                                                        : nullptr};

    // No signal handler of ours may run in the child before it has reset them all.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = ::fork();
    if (pid == 0)
        startInChild(fds, argvPointers.data(), envPointers.data());
    const int forkErr = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (pid < 0)
        return Error::fromErrno(forkErr);

    // The report pipe reaches its end when the program has started (its end closed on exec),
    // or brings the errno of the failed start.
    reportWrite.reset();
    int startErr = 0;
    const ssize_t reported = base::retryOnInterrupt(
        [&] { return ::read(reportRead.get(), &startErr, sizeof startErr); });
    if (reported != 0) {
        if (reported != static_cast<ssize_t>(sizeof startErr))
            startErr = reported < 0 ? errno : EIO;
        ::kill(pid, SIGKILL);
        int status = 0;
        reap(pid, status);
        return Error::fromErrno(startErr);
    }

    // The child is ours and unreaped, so its id cannot have been reused yet.
    UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (!pidfd) {
        const int openErr = errno;
        ::kill(pid, SIGKILL);
        int status = 0;
        reap(pid, status);
        return Error::fromErrno(openErr);
    }
    ChildProcess child(pid, std::move(pidfd), std::move(out->read), std::move(err->read));
    if (in) {
        child.m_stdin = std::move(in->write);
        child.m_input = *options.standardInput;
        if (child.m_input.empty())
            child.closeInput();
    }
    return child;
}

ChildProcess::ChildProcess(pid_t pid, UniqueFd pidfd, UniqueFd out, UniqueFd err)
    : m_pid(pid), m_pidfd(std::move(pidfd)), m_stdout(std::move(out)), m_stderr(std::move(err))
{
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_pidfd(std::move(other.m_pidfd)),
      m_stdout(std::move(other.m_stdout)), m_stderr(std::move(other.m_stderr)),
      m_stdin(std::move(other.m_stdin)), m_input(std::move(other.m_input)),
      m_inputWritten(std::exchange(other.m_inputWritten, 0)),
      m_status(std::exchange(other.m_status, std::nullopt))
{
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0 && !m_status) {
        (void)sendSignal(SIGKILL); // it may have ended already; wait() reaps it either way
        wait();
    }
}

Result<void> ChildProcess::sendSignal(int signal)
{
    if (m_pid <= 0 || m_status)
        return Error::fromErrno(ESRCH);
    if (::syscall(SYS_pidfd_send_signal, m_pidfd.get(), signal, nullptr, 0) != 0)
        return Error::fromErrno(errno);
    return {};
}

int ChildProcess::wait()
{
    if (m_status)
        return *m_status;
    int status = 0;
    if (reap(m_pid, status) != 0) {
        // Only possible when someone else reaped our child (SIGCHLD ignored process-wide):
        // report it as killed rather than as a clean exit.
        status = SIGKILL;
    }
    m_status = status;
    return status;
}

void ChildProcess::writeInput()
{
    while (m_stdin && m_inputWritten < m_input.size()) {
        const ssize_t n = writeWithoutSigpipe(m_stdin.get(), m_input.data() + m_inputWritten,
                                              m_input.size() - m_inputWritten);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return; // the pipe is full: more once the child has read
            break;      // EPIPE: the child no longer reads; anything else: give up the same way
        }
        m_inputWritten += static_cast<std::size_t>(n);
    }
    closeInput();
}

void ChildProcess::closeInput()
{
    m_stdin.reset();
    m_input = std::string();
    m_inputWritten = 0;
}

void ChildProcess::closeOutput()
{
    m_stdout.reset();
    m_stderr.reset();
    closeInput();
}

} // namespace veldo::platform
