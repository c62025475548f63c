// Child processes through posix_spawn, watched and signalled through a pidfd.
#include "platform/ChildProcess.h"

#include <cerrno>
#include <ctime>
#include <optional>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/SystemCalls.h"

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
        out.push_back(const_cast<char*>(s.c_str())); // posix_spawn does not write them
    out.push_back(nullptr);
    return out;
}

// Owns the spawn attribute objects so that every exit path destroys them.
struct SpawnSetup
{
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    bool actionsMade = false;
    bool attributesMade = false;

    ~SpawnSetup()
    {
        if (actionsMade)
            ::posix_spawn_file_actions_destroy(&actions);
        if (attributesMade)
            ::posix_spawnattr_destroy(&attributes);
    }
};

int reap(pid_t pid, int& status)
{
    return base::retryOnInterrupt([&] { return ::waitpid(pid, &status, 0); }) < 0 ? errno : 0;
}

} // namespace

Result<ChildProcess> ChildProcess::spawn(const std::string& hostExecutable,
                                         const std::vector<std::string>& argv,
                                         const std::vector<std::string>& environment,
                                         const SpawnOptions& options)
{
    auto out = makePipe();
    if (!out)
        return out.error();
    Result<Pipe> err = options.combinedOutput ? Result<Pipe>(Pipe{}) : makePipe();
    if (!err)
        return err.error();
    const int errWrite = options.combinedOutput ? out->write.get() : err->write.get();
    std::optional<Pipe> in;
    if (options.standardInput) {
        auto made = makePipe(ParentEnd::write);
        if (!made)
            return made.error();
        in = std::move(*made);
    }

    SpawnSetup setup;
    if (int rc = ::posix_spawn_file_actions_init(&setup.actions); rc != 0)
        return Error::fromErrno(rc);
    setup.actionsMade = true;
    if (int rc = ::posix_spawnattr_init(&setup.attributes); rc != 0)
        return Error::fromErrno(rc);
    setup.attributesMade = true;

    int rc = in ? ::posix_spawn_file_actions_adddup2(&setup.actions, in->read.get(), 0)
                : ::posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    if (rc == 0)
        rc = ::posix_spawn_file_actions_adddup2(&setup.actions, out->write.get(), 1);
    if (rc == 0)
        rc = ::posix_spawn_file_actions_adddup2(&setup.actions, errWrite, 2);
    if (rc == 0)
        rc = ::posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    if (rc == 0 && options.workingDirectory)
        rc = ::posix_spawn_file_actions_addchdir_np(&setup.actions,
                                                    options.workingDirectory->c_str());

    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    if (rc == 0)
        rc = ::posix_spawnattr_setsigmask(&setup.attributes, &none);
    if (rc == 0)
        rc = ::posix_spawnattr_setsigdefault(&setup.attributes, &all);
    if (rc == 0)
        rc = ::posix_spawnattr_setflags(&setup.attributes,
                                        POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (rc != 0)
        return Error::fromErrno(rc);

    auto argvPointers = cStrings(argv);
    auto envPointers = cStrings(environment);
    pid_t pid = -1;
    rc = ::posix_spawn(&pid, hostExecutable.c_str(), &setup.actions, &setup.attributes,
                       argvPointers.data(), envPointers.data());
    if (rc != 0)
        return Error::fromErrno(rc);

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
