// PrivilegedHelper: the app's side of the calls to the privileged helper daemon, over the helper
// socket (common/HelperEndpoint.h) with common/'s frames and envelopes.
//
// Every call opens its own connection and waits for exactly one outcome: the helper's answer, or
// the call's fallback value when anything fails. The connection is opened only after the helper
// is pinned: every folder from the Mac root's "/" down to the socket's folder is owned by root and
// writable by no one else (so only root can have bound the socket), the socket is connected
// through the descriptor of that very folder, and the peer's credentials (SO_PEERCRED, those of
// whoever listens on the socket) name root. Failing the pin is failing the requirement: the
// fallback. Then one request frame goes out and one reply frame comes back, all under one
// deadline; the connection is closed when the call returns, so a late reply is never read.
//
// All calls block the calling thread (up to their time-out), touch no shared state and may run
// on any thread; a stop request ends a waiting call with its fallback. Nothing here throws, and a
// reply of any shape counts as success only when it decodes.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "base/UniqueFd.h"
#include "common/HelperFrame.h"
#include "common/HelperVersionReply.h"
#include "common/VeldoHelperItemResult.h"
#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperProtocol.h"
#include "common/VeldoHelperRestoreRequest.h"
#include "platform/ServiceManager.h"
#include "platform/UserDefaults.h"

namespace veldo::removal::PrivilegedHelper {

// The protocol version the app speaks.
inline constexpr std::int64_t kProtocolVersion = common::kHelperProtocolVersion;

// How long a move or restore, and the version call, may take.
inline constexpr std::chrono::milliseconds kBatchTimeout = std::chrono::seconds(600);
inline constexpr std::chrono::milliseconds kVersionTimeout = std::chrono::seconds(5);

inline constexpr std::string_view kCouldNotEncode = "Couldn't encode the request.";
inline constexpr std::string_view kRefused = "Veldo's helper refused the request.";
inline constexpr std::string_view kUnreadableReply = "Veldo's helper sent an unreadable reply.";
inline constexpr std::string_view kDidNotRespond = "Veldo's helper didn't respond.";

// The helper's answer to the version call.
using VersionReply = common::HelperVersionReply;

// The answer of one move or restore.
struct BatchResponse
{
    enum class Kind
    {
        results,     // the helper answered, one result per item
        unavailable, // no reply record, the helper did not act; `sentence` says why
        interrupted  // no usable answer: whether the helper acted is unknown; `sentence` says so
    };

    Kind kind = Kind::interrupted;
    std::vector<common::VeldoHelperItemResult> results; // for results only
    std::string sentence;                               // for unavailable and interrupted

    static BatchResponse ofResults(std::vector<common::VeldoHelperItemResult> results);
    static BatchResponse unavailable(std::string_view sentence);
    static BatchResponse interrupted(std::string_view sentence);

    friend bool operator==(const BatchResponse&, const BatchResponse&) = default;
};

// One open, pinned connection to the helper, given to the body of a call.
class Connection
{
public:
    Connection(UniqueFd socket, common::FrameDeadline deadline)
        : m_socket(std::move(socket)), m_deadline(deadline)
    {
    }

    // Sends `payload` as one frame and reads one reply frame, before the call's deadline. None
    // when the frame can't be sent, the helper closes without a reply, the reply frame is
    // broken or above the frame limit, or the deadline passes.
    std::optional<std::string> exchange(std::string_view payload);

    int fd() const { return m_socket.get(); }

private:
    UniqueFd m_socket;
    common::FrameDeadline m_deadline;
};

// Opens a pinned connection to the helper's socket, giving up at `deadline`. None when the
// folder chain or the peer fails the pin, the socket is missing or refuses, or on any error.
std::optional<Connection> connectToHelper(common::FrameDeadline deadline);

// Shuts the socket down for reading and writing, so that any wait on it ends; any thread.
void stopConnection(int socketFd);

// One call: connects, pins the helper, and runs `body` with the connection, all within
// `timeout`. The body's value is the answer; a body answering none, a failed connection, the
// time-out or a stop request give `fallback`. Blocks; exactly one return.
template <typename T>
T call(std::chrono::milliseconds timeout, T fallback,
       const std::function<std::optional<T>(Connection&)>& body, std::stop_token stop = {});

// The version call: 5 seconds (or `timeout`), none on any failure or an unreadable reply.
std::optional<VersionReply> version(std::chrono::milliseconds timeout = kVersionTimeout,
                                    std::stop_token stop = {});

// The items of `request` (a move or restore request) sent as consecutive requests of at most
// common::kHelperRequestItemLimit items each (the most the helper serves in one), in order:
// `send(part)` sends one and answers its response, `take(response, begin, end)` uses it for the
// items [begin, end) of `request`. Once a request is answered unavailable or interrupted, the
// later ones are not sent and take that same answer: the helper isn't usable now, or may still be
// at work. Blocks as `send` does.
template <typename Request, typename Send, typename Take>
void sendInRequests(const Request& request, const Send& send, const Take& take)
{
    std::optional<BatchResponse> failed;
    const std::size_t count = request.items.size();
    for (std::size_t begin = 0; begin < count; begin += common::kHelperRequestItemLimit) {
        const std::size_t end = std::min(count, begin + common::kHelperRequestItemLimit);
        BatchResponse response;
        if (failed) {
            response = *failed;
        } else {
            Request part;
            part.items.assign(request.items.begin() + static_cast<std::ptrdiff_t>(begin),
                              request.items.begin() + static_cast<std::ptrdiff_t>(end));
            response = send(part);
        }
        if (response.kind != BatchResponse::Kind::results)
            failed = response;
        take(response, begin, end);
    }
}

// Moves and restores. A request that can't be encoded gives unavailable(kCouldNotEncode)
// without a connection; any failure of the call gives interrupted(kDidNotRespond).
BatchResponse moveItemsWithHelper(const common::VeldoHelperMoveRequest& request,
                                  std::chrono::milliseconds timeout = kBatchTimeout,
                                  std::stop_token stop = {});
BatchResponse restoreItemsWithHelper(const common::VeldoHelperRestoreRequest& request,
                                     std::chrono::milliseconds timeout = kBatchTimeout,
                                     std::stop_token stop = {});

// The helper's answer made of its data and its sentence: decodable data gives its results (a
// sentence beside it is ignored), undecodable data interrupted(kUnreadableReply), no data
// unavailable(the sentence, else kRefused). Pure.
BatchResponse decodeHelperReply(const std::optional<std::string>& data,
                                const std::optional<std::string>& error);

// The same from the reply frame's envelope text: a text that is not a JSON object, or a "data"
// or "error" member that is neither a string nor null, gives interrupted(kUnreadableReply) (the
// helper may have acted); otherwise decodeHelperReply of the string members. Pure.
BatchResponse decodeReplyEnvelope(std::string_view text);

// Whether a removal or Undo should go through the helper, checked in this order, the first
// failing check answering false: the Boolean "Veldo.UsePrivilegedHelper" of `defaults` is true;
// `services` reports the helper enabled; the version call answers within `versionTimeout`; with
// protocol version 3; and with a build equal to appBuildNumber(). Changes nothing.
bool isHelperUsable(const platform::UserDefaults& defaults, platform::ServiceManager& services,
                    std::chrono::milliseconds versionTimeout = kVersionTimeout,
                    std::stop_token stop = {});

// "CFBundleVersion" of the app's own Info dictionary; "0" when missing or not a string.
std::string appBuildNumber();

template <typename T>
T call(std::chrono::milliseconds timeout, T fallback,
       const std::function<std::optional<T>(Connection&)>& body, std::stop_token stop)
{
    if (stop.stop_requested())
        return fallback;
    auto connection = connectToHelper(std::chrono::steady_clock::now() + timeout);
    if (!connection)
        return fallback;
    // A stop request shuts the socket down, which ends any wait on it at once.
    std::stop_callback onStop(stop, [fd = connection->fd()] { stopConnection(fd); });
    std::optional<T> answer = body(*connection);
    // An answer that arrived counts even when a stop came after it: the helper may have acted.
    if (!answer)
        return fallback;
    return std::move(*answer);
}

} // namespace veldo::removal::PrivilegedHelper
