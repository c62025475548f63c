// HelperListener: accepts the helper daemon's client connections on its listening socket, counts
// the open ones, serves each on a thread of its own, and ends the process once it has been idle.
//
// The accepting thread waits for the listening socket (non-blocking) outside `queue`; each accept
// runs in one synchronous block on `queue` that also counts the connection, so an idle check can
// never run between the two. A daemon whose build floor failed (acceptsConnections false), or
// whose build can't be required of clients, refuses every connection uncounted, with a log line.
// Every client must meet the client requirement (ClientRequirement.h): the process that connected,
// pinned at accept by its process descriptor (SO_PEERPIDFD, else pidfd_open), is checked when
// serving starts; before each request, the version call included, the frame's one writer must be
// of the connection's user and, like the connector, pass the check. A client that fails is closed
// unanswered with one error line.
// Floods are bounded (Limits). Each connection's standing (CallerStanding.h) is decided from its
// user id when it is accepted: accounts that are no administrator's can only be answered their
// version and refusals, so they are held to a few connections of their own, together and each,
// and their frames of more than one piece are read and thrown away (answered with their refusal)
// rather than kept, so that they never take from the administrators' frame budget. Beyond a number
// of open connections in all, or of those accounts, or for one account, a new connection is closed
// at once, uncounted, with an error line; a request frame must be whole within a time of its first
// byte, else it is answered as unreadable (after the client check), with an error line, and the
// connection closed; and an administrator's frame bodies of more than one piece take their memory
// from a budget (FrameBudget.h), in all and per account, waiting for it within that time. Before
// its first byte a connection may stay idle as long as it likes. After a request whose frame took
// budget the memory freed is given back to the system. The lines any account can make the daemon
// write for each connection or request are written once a window and counted (RepeatedLines.h):
// the connection, a refused connection, a dropped reply, and the refusal of a client or request,
// an administrator's as any other account's (a refusal for another reason has a line of its own);
// the counts left are written before the idle exit.
// An accepted connection is served until the peer closes it or the daemon closes it (an impostor,
// an unreadable or late frame); then it is uncounted, and when none is left the idle timer is
// armed. The idle check exits (through `exitProcess`, holding the work lock, with the shutdown
// flag set) when its timer is the latest, nothing is open and no request holds the work lock; a
// running request re-arms it, and so does a connection waiting to be accepted.
//
// The connection counts and `idleGeneration` change only on `queue`. The listener lives for the
// process.
#pragma once

#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <thread>

#include "base/UniqueFd.h"
#include "helper/CallerStanding.h"
#include "helper/ClientRequirement.h"
#include "helper/FrameBudget.h"
#include "helper/HelperLog.h"
#include "helper/RepeatedLines.h"
#include "platform/SerialQueue.h"

namespace veldo::helper {

class HelperConnection;

// What the listener lets the connections take.
struct ListenerLimits
{
    int connections = 64;           // open at once, all accounts together
    int connectionsPerAccount = 16; // open at once for one administrator's user id
    // Open at once for accounts that are no administrator's (the helper serves them nothing but
    // its version and refusals): all of them together, and one of them.
    int connectionsOfOthers = 16;
    int connectionsPerOtherAccount = 4;
    // How long the repeated log lines of one account are counted before the count is written.
    std::chrono::duration<double> repeatedLines = std::chrono::duration<double>(60.0);
    // From a request frame's first byte to its last.
    std::chrono::duration<double> wholeFrame = std::chrono::duration<double>(10.0);
    // Bytes of frames larger than one piece held at once; a share holds the largest frame.
    std::size_t frameBytes = std::size_t{32} << 20;
    std::size_t frameBytesPerAccount = std::size_t{16} << 20;
};

class HelperListener final
{
public:
    using Seconds = std::chrono::duration<double>;

    using Limits = ListenerLimits;

    // `usePidfdOptions` false pins processes without SO_PEERPIDFD and SO_PASSPIDFD, as on a kernel
    // without them (tests).
    HelperListener(bool acceptsConnections, ClientCheck check, Seconds idleTimeout = Seconds(60.0),
                   std::function<void()> exitProcess = {}, bool usePidfdOptions = true,
                   Limits limits = {});
    HelperListener(const HelperListener&) = delete;
    HelperListener& operator=(const HelperListener&) = delete;

    // Starts the accepting thread on `listeningSocket` (a listening AF_UNIX stream socket).
    void listen(base::UniqueFd listeningSocket);

    // Arms a new idle timer (runs on `queue`; start-up submits it once).
    void armIdleTimer();

    platform::SerialQueue& queue() { return m_queue; }

    // The open connections, read on `queue` (tests).
    int openConnections();

private:
    void acceptLoop();
    // False when accepting failed for want of resources (the caller backs off).
    bool acceptOne();
    void serve(std::shared_ptr<HelperConnection> connection, CallerStanding standing);
    // Serves requests until the connection ends.
    void serveRequests(const std::shared_ptr<HelperConnection>& connection,
                       CallerStanding standing);
    // The process that connected, pinned.
    PinnedProcess pinConnector(int socketFd, pid_t pid) const;
    // Logs (as `uid`'s line) and answers false when `process` fails the client requirement.
    bool passes(const PinnedProcess& process, uid_t uid);
    // Whether a connection of `uid` of `standing` (and pid `pid`, for the line) stays under the
    // limits.
    bool withinLimits(uid_t uid, pid_t pid, CallerStanding standing);
    void connectionDidClose(uid_t uid, CallerStanding standing);
    void idleCheck(long generation);
    // Writes a line that `uid` may make the daemon write again and again.
    void logRepeated(HelperLog::Level level, uid_t uid, std::string_view format,
                     std::initializer_list<std::string_view> values);

    platform::SerialQueue m_queue;
    int m_openConnections = 0;
    int m_openOfOthers = 0; // of accounts that are no administrator's
    std::map<uid_t, int> m_openByAccount;
    Limits m_limits;
    RepeatedLines m_lines;
    FrameBudget m_frameBudget;
    long m_idleGeneration = 0;
    Seconds m_idleTimeout;
    bool m_acceptsConnections;
    ClientCheck m_check;
    bool m_usePidfdOptions;
    bool m_writerPidfds = false; // the kernel passes each writer's process descriptor
    std::function<void()> m_exitProcess;
    base::UniqueFd m_listeningSocket;
    std::thread m_acceptingThread;
};

} // namespace veldo::helper
