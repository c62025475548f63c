#include "helper/HelperListener.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/BuildNumber.h"
#include "common/HelperFrame.h"
#include "common/HelperReplyEnvelope.h"
#include "common/VeldoHelperProtocol.h"
#include "helper/CredentialedFrame.h"
#include "helper/DaemonBuild.h"
#include "helper/HelperConnection.h"
#include "helper/HelperLog.h"
#include "helper/HelperService.h"

namespace veldo::helper {

namespace {

HelperLog& listenerLog()
{
    return HelperLog::category("listener");
}

// Gives the memory freed back to the system when destroyed armed: the daemon stays small at rest
// whatever large requests it read before.
struct GiveBackFreedMemory
{
    bool armed = false;
    GiveBackFreedMemory() = default;
    GiveBackFreedMemory(const GiveBackFreedMemory&) = delete;
    GiveBackFreedMemory& operator=(const GiveBackFreedMemory&) = delete;
    ~GiveBackFreedMemory()
    {
#if defined(__GLIBC__)
        if (armed)
            ::malloc_trim(0);
#endif
    }
};

// "10", "0.5": a time in seconds as a line shows it.
std::string secondsText(HelperListener::Seconds seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds.count());
    return text;
}

} // namespace

HelperListener::HelperListener(bool acceptsConnections, ClientCheck check, Seconds idleTimeout,
                               std::function<void()> exitProcess, bool usePidfdOptions,
                               Limits limits)
    : m_queue("orbelkan.Veldo.Helper.connections"), m_limits(limits),
      m_lines(limits.repeatedLines,
              [this](RepeatedLines::Clock::duration delay) {
                  m_queue.asyncAfter(delay, [this] { m_lines.sweep(); });
              }),
      m_frameBudget(limits.frameBytes, limits.frameBytesPerAccount), m_idleTimeout(idleTimeout),
      m_acceptsConnections(acceptsConnections), m_check(std::move(check)),
      m_usePidfdOptions(usePidfdOptions), m_exitProcess(std::move(exitProcess))
{
    if (!m_exitProcess)
        m_exitProcess = [] { ::_exit(0); };
}

void HelperListener::listen(base::UniqueFd listeningSocket)
{
    m_listeningSocket = std::move(listeningSocket);
    const int flags = ::fcntl(m_listeningSocket.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(m_listeningSocket.get(), F_SETFL, flags | O_NONBLOCK);
    // Connections made from now on take these with them (so does every one to a socket the
    // activator bound); one made before has them only once its accepted socket is given them.
    (void)enableWriterCredentials(m_listeningSocket.get(), m_usePidfdOptions);
    int passPidfd = 0;
    socklen_t size = sizeof passPidfd;
    m_writerPidfds =
        m_usePidfdOptions &&
        ::getsockopt(m_listeningSocket.get(), SOL_SOCKET, kSoPassPidfd, &passPidfd, &size) == 0 &&
        passPidfd != 0;
    // The listener lives for the process: the thread is never joined.
    m_acceptingThread = std::thread([this] { acceptLoop(); });
    m_acceptingThread.detach();
}

int HelperListener::openConnections()
{
    int count = 0;
    m_queue.sync([&] { count = m_openConnections; });
    return count;
}

void HelperListener::acceptLoop()
{
    for (;;) {
        pollfd wait{m_listeningSocket.get(), POLLIN, 0};
        const int ready = ::poll(&wait, 1, -1);
        if (ready < 0 && errno != EINTR) {
            listenerLog().error("The listening socket failed (errno %{public}d)",
                                {std::to_string(errno)});
            return;
        }
        if (ready > 0 && (wait.revents & (POLLERR | POLLNVAL)) != 0) {
            listenerLog().error("The listening socket failed");
            return;
        }
        if (ready > 0) {
            bool backOff = false;
            m_queue.sync([&] { backOff = !acceptOne(); });
            if (backOff) // out of descriptors or memory: don't spin on a readable socket
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
}

bool HelperListener::acceptOne()
{
    base::UniqueFd socket(::accept4(m_listeningSocket.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!socket) {
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK || error == ECONNABORTED || error == EINTR)
            return true; // another waiter took it, or it went before accept
        listenerLog().error("Couldn't accept a connection (errno %{public}d)",
                            {std::to_string(error)});
        return false;
    }
    // At once, for a connection made before the listening socket had them (it takes them when it
    // is made): bytes written between the accept and this have no writer and spoil their frame.
    (void)enableWriterCredentials(socket.get(), m_usePidfdOptions);
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        listenerLog().error("Refusing a connection whose credentials can't be read");
        return true;
    }
    if (!m_acceptsConnections) {
        logRepeated(HelperLog::Level::error, peer.uid,
                    "Refusing pid %{public}d: build %{public}s failed the rollback check",
                    {std::to_string(peer.pid), daemonBuild()});
        return true;
    }
    if (!base::isValidBuildNumber(daemonBuild())) {
        logRepeated(HelperLog::Level::error, peer.uid,
                    "Refusing connections: build number %{public}s can't be required of clients",
                    {daemonBuild()});
        return true;
    }
    const CallerStanding standing = callerStanding(peer.uid);
    if (!withinLimits(peer.uid, peer.pid, standing))
        return true;
    logRepeated(HelperLog::Level::info, peer.uid, "Connection from pid %{public}d, uid %{public}u",
                {std::to_string(peer.pid), std::to_string(peer.uid)});
    ++m_openConnections;
    if (standing != CallerStanding::administrator)
        ++m_openOfOthers;
    ++m_openByAccount[peer.uid];
    PinnedProcess connector = pinConnector(socket.get(), peer.pid);
    auto connection = std::make_shared<HelperConnection>(std::move(socket), peer.uid, peer.pid,
                                                         std::move(connector), &m_lines);
    try {
        std::thread([this, connection, standing] { serve(connection, standing); }).detach();
    } catch (const std::system_error&) {
        connectionDidClose(peer.uid, standing); // closed unserved
        listenerLog().error("Couldn't start serving pid %{public}d", {std::to_string(peer.pid)});
        return false;
    }
    return true;
}

bool HelperListener::withinLimits(uid_t uid, pid_t pid, CallerStanding standing)
{
    if (m_openConnections >= m_limits.connections) {
        logRepeated(HelperLog::Level::error, uid,
                    "Refusing pid %{public}d: %{public}d connections are open, the most the helper "
                    "serves at once",
                    {std::to_string(pid), std::to_string(m_limits.connections)});
        return false;
    }
    const bool administrator = standing == CallerStanding::administrator;
    if (!administrator && m_openOfOthers >= m_limits.connectionsOfOthers) {
        logRepeated(HelperLog::Level::error, uid,
                    "Refusing pid %{public}d: %{public}d connections of accounts that are no "
                    "administrators are open, the most the helper holds for them",
                    {std::to_string(pid), std::to_string(m_limits.connectionsOfOthers)});
        return false;
    }
    const int most =
        administrator ? m_limits.connectionsPerAccount : m_limits.connectionsPerOtherAccount;
    const auto open = m_openByAccount.find(uid);
    if (open != m_openByAccount.end() && open->second >= most) {
        logRepeated(HelperLog::Level::error, uid,
                    "Refusing pid %{public}d: uid %{public}u has %{public}d connections open, the "
                    "most one account may have",
                    {std::to_string(pid), std::to_string(uid), std::to_string(most)});
        return false;
    }
    return true;
}

void HelperListener::logRepeated(HelperLog::Level level, uid_t uid, std::string_view format,
                                 std::initializer_list<std::string_view> values)
{
    m_lines.log(listenerLog(), level, uid, format, values);
}

PinnedProcess HelperListener::pinConnector(int socketFd, pid_t pid) const
{
    if (m_usePidfdOptions) {
        int pidfd = -1;
        socklen_t size = sizeof pidfd;
        if (::getsockopt(socketFd, SOL_SOCKET, kSoPeerPidfd, &pidfd, &size) == 0 && pidfd >= 0) {
            PinnedProcess process;
            process.pid = pid;
            process.pidfd = base::UniqueFd(pidfd);
            ::fcntl(pidfd, F_SETFD, FD_CLOEXEC);
            return process;
        }
    }
    return PinnedProcess::openedLate(pid, bootTicksNow());
}

bool HelperListener::passes(const PinnedProcess& process, uid_t uid)
{
    const auto refused = m_check(process);
    if (refused)
        logRepeated(HelperLog::Level::error, uid, "Refusing pid %{public}d: %{public}s",
                    {std::to_string(process.pid), *refused});
    return !refused;
}

void HelperListener::serve(std::shared_ptr<HelperConnection> connection, CallerStanding standing)
{
    if (passes(connection->connector(), connection->callerUID()))
        serveRequests(connection, standing);
    ::shutdown(connection->fd(), SHUT_RDWR);
    m_queue.async(
        [this, uid = connection->callerUID(), standing] { connectionDidClose(uid, standing); });
}

void HelperListener::serveRequests(const std::shared_ptr<HelperConnection>& shared,
                                   CallerStanding standing)
{
    using Status = CredentialedFrame::Status;
    HelperConnection& connection = *shared;
    const uid_t uid = connection.callerUID();
    const bool administrator = standing == CallerStanding::administrator;
    HelperService service(uid, connection.callerPID(), shared, UserDatabase::system(), standing,
                          &m_lines);
    FrameReading reading{
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(m_limits.wholeFrame),
        &m_frameBudget, uid};
    // An account that can't be served has no use for its large frames' bytes.
    reading.dropsLargeBodies = !administrator;
    for (;;) {
        // Destroyed after the frame and the answer: gives back what a large request freed.
        GiveBackFreedMemory giveBack;
        auto frame = readCredentialedFrame(connection.fd(), reading);
        giveBack.armed = frame.grant.has_value();
        if (frame.status == Status::closed || frame.status == Status::failed)
            return;
        // Answered as unreadable below, like a frame cut short, and closed.
        if (frame.status == Status::timedOut)
            logRepeated(HelperLog::Level::error, uid,
                        "Refusing pid %{public}d: a request didn't arrive whole within "
                        "%{public}s seconds",
                        {std::to_string(connection.callerPID()), secondsText(m_limits.wholeFrame)});
        if (frame.status == Status::noSingleWriter || !frame.writer) {
            logRepeated(HelperLog::Level::error, uid,
                        "Refusing pid %{public}d: a request came without one writer",
                        {std::to_string(connection.callerPID())});
            return;
        }
        if (frame.writer->uid != uid) {
            logRepeated(HelperLog::Level::error, uid,
                        "Refusing pid %{public}d: a request came from uid %{public}u",
                        {std::to_string(frame.writer->pid), std::to_string(frame.writer->uid)});
            return;
        }
        PinnedProcess writer;
        if (frame.writer->pidfd || m_writerPidfds) {
            // Where the kernel passes the writer's process descriptor, a writer without one had
            // ended before its bytes were read: it stays unpinned and fails as gone.
            writer.pid = frame.writer->pid;
            writer.pidfd = std::move(frame.writer->pidfd);
        } else {
            writer = PinnedProcess::openedLate(frame.writer->pid, frame.writer->readTick);
        }
        if (!passes(connection.connector(), uid) || !passes(writer, uid))
            return;
        if (frame.status == Status::dropped) {
            const auto refused = service.refuse(standing);
            if (!connection.sendReply(*refused.encodeJSON()))
                return;
            continue;
        }
        if (frame.status != Status::frame) {
            connection.sendReply(*common::HelperReplyEnvelope::withError(
                                      std::string(common::kHelperErrorUnreadableRequest))
                                      .encodeJSON());
            return;
        }
        const auto answer = service.handle(frame.payload);
        frame = {}; // the request's memory goes back before the reply waits on the client
        if (!connection.sendReply(answer.payload) || answer.closeAfterwards)
            return;
    }
}

void HelperListener::connectionDidClose(uid_t uid, CallerStanding standing)
{
    const int left = m_openConnections - 1;
    m_openConnections = std::max(left, 0);
    if (standing != CallerStanding::administrator)
        m_openOfOthers = std::max(m_openOfOthers - 1, 0);
    if (const auto open = m_openByAccount.find(uid); open != m_openByAccount.end()) {
        if (--open->second < 1)
            m_openByAccount.erase(open);
    }
    if (left < 1)
        armIdleTimer();
}

void HelperListener::armIdleTimer()
{
    const long generation = ++m_idleGeneration;
    m_queue.asyncAfter(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(m_idleTimeout),
        [this, generation] { idleCheck(generation); });
}

void HelperListener::idleCheck(long generation)
{
    if (generation != m_idleGeneration || m_openConnections != 0)
        return;
    // A client that connected just now (its accept is about to run) keeps the daemon too.
    pollfd waiting{m_listeningSocket.get(), POLLIN, 0};
    const bool connectionWaits = ::poll(&waiting, 1, 0) == 1 && (waiting.revents & POLLIN) != 0;
    std::unique_lock lock(HelperService::workLock(), std::try_to_lock);
    if (connectionWaits || !lock.owns_lock()) {
        armIdleTimer();
        return;
    }
    HelperService::shutdownFlag().set();
    m_lines.sweep(/*all=*/true);
    listenerLog().info("Idle; exiting");
    lock.release(); // held until the process has gone
    m_exitProcess();
}

} // namespace veldo::helper
