#include "helper/HelperConnection.h"

#include <string>

#include "common/HelperFrame.h"
#include "helper/HelperLog.h"

namespace veldo::helper {

HelperConnection::HelperConnection(base::UniqueFd socket, uid_t callerUID, pid_t callerPID,
                                   PinnedProcess connector, RepeatedLines* lines)
    : m_socket(std::move(socket)), m_callerUID(callerUID), m_callerPID(callerPID),
      m_connector(std::move(connector)), m_lines(lines)
{
}

void HelperConnection::replyPending()
{
    const std::lock_guard guard(m_lock);
    ++m_pending;
}

bool HelperConnection::sendReply(std::string_view payload)
{
    bool sent = false;
    {
        const std::lock_guard send(m_sendLock);
        // A reply must not wait forever on a client that stopped reading.
        const auto written = common::writeFrame(
            m_socket.get(), payload, std::chrono::steady_clock::now() + std::chrono::seconds(30));
        sent = written.has_value();
        if (!sent) {
            constexpr std::string_view kLine =
                "Reply to pid %{public}d dropped: the client has gone";
            const HelperLog& log = HelperLog::category("listener");
            if (m_lines)
                m_lines->log(log, HelperLog::Level::info, m_callerUID, kLine,
                             {std::to_string(m_callerPID)});
            else
                log.info(kLine, {std::to_string(m_callerPID)});
        }
    }
    {
        const std::lock_guard guard(m_lock);
        if (m_pending > 0)
            --m_pending;
    }
    m_changed.notify_all();
    return sent;
}

bool HelperConnection::waitForReplies(std::chrono::milliseconds timeout)
{
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, timeout, [this] { return m_pending == 0; });
}

} // namespace veldo::helper
