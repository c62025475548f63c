// HelperConnection: one accepted client socket of the helper daemon, with the caller it was
// accepted for (its user and process ids, and the process pinned at accept) and the replies
// still to be sent on it.
//
// A reply is announced (replyPending) before the request that made it releases the work lock and
// sent afterwards (sendReply), so that the exiting path can wait for it (waitForReplies). Sending
// is serialised on the connection and never raises SIGPIPE; a reply to a client that has gone is
// dropped with an info line. Safe on any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string_view>

#include <sys/types.h>

#include "base/UniqueFd.h"
#include "helper/PinnedProcess.h"
#include "helper/RepeatedLines.h"

namespace veldo::helper {

class HelperConnection final
{
public:
    // The line of a dropped reply goes through `lines` when given.
    HelperConnection(base::UniqueFd socket, uid_t callerUID, pid_t callerPID,
                     PinnedProcess connector = {}, RepeatedLines* lines = nullptr);
    HelperConnection(const HelperConnection&) = delete;
    HelperConnection& operator=(const HelperConnection&) = delete;

    int fd() const { return m_socket.get(); }
    uid_t callerUID() const { return m_callerUID; }
    pid_t callerPID() const { return m_callerPID; }
    // The process that connected, pinned at accept.
    const PinnedProcess& connector() const { return m_connector; }

    // One more reply is on its way.
    void replyPending();
    // Sends `payload` as one frame and settles one pending reply (when one was announced).
    // False when the client has gone or the write failed; the line is logged.
    bool sendReply(std::string_view payload);
    // Waits until no reply is pending or `timeout` has passed; true when none is pending.
    bool waitForReplies(std::chrono::milliseconds timeout);

private:
    base::UniqueFd m_socket;
    uid_t m_callerUID;
    pid_t m_callerPID;
    PinnedProcess m_connector;
    RepeatedLines* m_lines;
    std::mutex m_sendLock;
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_pending = 0;
};

} // namespace veldo::helper
