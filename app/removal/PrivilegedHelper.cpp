// Calls to the privileged helper over its socket.
#include "app/removal/PrivilegedHelper.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>

#include "app/core/CleanupSettings.h"
#include "app/removal/PrivilegedHelperStatus.h"
#include "common/HelperEndpoint.h"
#include "common/HelperFileAccess.h"
#include "common/HelperRequestEnvelope.h"
#include "common/JsonDocument.h"
#include "common/VeldoHelperReply.h"
#include "platform/MainBundle.h"

namespace veldo::removal::PrivilegedHelper {

namespace {

using Clock = std::chrono::steady_clock;

// Only root may have made or changed the folder: owned by root, not writable by group or others.
bool onlyRootCanWrite(const common::HelperStat& st)
{
    return st.uid == 0 && (st.mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Bounds connect(2) by the time left: a Unix socket's connect waits up to the send time-out for
// room in a full backlog.
bool setSendTimeout(int fd, Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0)
        return false;
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(left.count() / 1'000'000);
    tv.tv_usec = static_cast<suseconds_t>(left.count() % 1'000'000);
    return ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0;
}

std::optional<std::string> requestFrame(common::HelperMethod method,
                                        std::optional<std::string> request)
{
    auto text = common::HelperRequestEnvelope{method, std::move(request)}.encodeJSON();
    if (!text)
        return std::nullopt;
    return std::move(*text);
}

BatchResponse sendBatch(common::HelperMethod method, Result<std::string> requestJSON,
                        std::chrono::milliseconds timeout, std::stop_token stop)
{
    if (!requestJSON)
        return BatchResponse::unavailable(kCouldNotEncode);
    auto frame = requestFrame(method, std::move(*requestJSON));
    if (!frame)
        return BatchResponse::unavailable(kCouldNotEncode);
    return call<BatchResponse>(
        timeout, BatchResponse::interrupted(kDidNotRespond),
        [&](Connection& connection) -> std::optional<BatchResponse> {
            auto reply = connection.exchange(*frame);
            if (!reply)
                return std::nullopt;
            return decodeReplyEnvelope(*reply);
        },
        std::move(stop));
}

} // namespace

BatchResponse BatchResponse::ofResults(std::vector<common::VeldoHelperItemResult> results)
{
    return BatchResponse{Kind::results, std::move(results), {}};
}

BatchResponse BatchResponse::unavailable(std::string_view sentence)
{
    return BatchResponse{Kind::unavailable, {}, std::string(sentence)};
}

BatchResponse BatchResponse::interrupted(std::string_view sentence)
{
    return BatchResponse{Kind::interrupted, {}, std::string(sentence)};
}

std::optional<std::string> Connection::exchange(std::string_view payload)
{
    if (!common::writeFrame(m_socket.get(), payload, m_deadline))
        return std::nullopt;
    auto reply = common::readFrame(m_socket.get(), m_deadline);
    if (!reply || !*reply)
        return std::nullopt;
    return std::move(**reply);
}

std::optional<Connection> connectToHelper(common::FrameDeadline deadline)
{
    auto folder =
        common::openPathBeneath(common::kHelperSocketFolder, {},
                                [](const common::HelperStat& st, const common::SharedDescriptor&) {
                                    return onlyRootCanWrite(st);
                                });
    if (!folder)
        return std::nullopt;
    auto address = common::socketAddressIn(folder->fd(), common::kHelperSocketName);
    if (!address)
        return std::nullopt;

    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket)
        return std::nullopt;
    if (deadline && !setSendTimeout(socket.get(), *deadline))
        return std::nullopt;
    // connect is not restarted after a signal; the call then counts as failed, like any error.
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0)
        return std::nullopt;

    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(socket.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        length != sizeof peer || peer.uid != 0)
        return std::nullopt;
    return Connection(std::move(socket), deadline);
}

void stopConnection(int socketFd)
{
    ::shutdown(socketFd, SHUT_RDWR);
}

std::optional<VersionReply> version(std::chrono::milliseconds timeout, std::stop_token stop)
{
    const auto frame = requestFrame(common::HelperMethod::version, std::nullopt);
    if (!frame)
        return std::nullopt;
    return call<std::optional<VersionReply>>(
        timeout, std::nullopt,
        [&](Connection& connection) -> std::optional<std::optional<VersionReply>> {
            auto reply = connection.exchange(*frame);
            if (!reply)
                return std::nullopt;
            auto decoded = VersionReply::decodeJSON(*reply);
            if (!decoded)
                return std::nullopt;
            return std::optional<VersionReply>(std::move(*decoded));
        },
        std::move(stop));
}

BatchResponse moveItemsWithHelper(const common::VeldoHelperMoveRequest& request,
                                  std::chrono::milliseconds timeout, std::stop_token stop)
{
    return sendBatch(common::HelperMethod::moveToTrash, request.encodeJSON(), timeout,
                     std::move(stop));
}

BatchResponse restoreItemsWithHelper(const common::VeldoHelperRestoreRequest& request,
                                     std::chrono::milliseconds timeout, std::stop_token stop)
{
    return sendBatch(common::HelperMethod::restore, request.encodeJSON(), timeout, std::move(stop));
}

BatchResponse decodeHelperReply(const std::optional<std::string>& data,
                                const std::optional<std::string>& error)
{
    if (data) {
        auto reply = common::VeldoHelperReply::decodeJSON(*data);
        if (!reply)
            return BatchResponse::interrupted(kUnreadableReply);
        return BatchResponse::ofResults(std::move(reply->results));
    }
    return BatchResponse::unavailable(error ? std::string_view(*error) : kRefused);
}

BatchResponse decodeReplyEnvelope(std::string_view text)
{
    const auto document = common::json::parseObject(text);
    if (!document)
        return BatchResponse::interrupted(kUnreadableReply);
    std::optional<std::string> data;
    std::optional<std::string> error;
    if (!common::json::readOptionalString(*document, "data", data) ||
        !common::json::readOptionalString(*document, "error", error))
        return BatchResponse::interrupted(kUnreadableReply);
    return decodeHelperReply(data, error);
}

bool isHelperUsable(const platform::UserDefaults& defaults, platform::ServiceManager& services,
                    std::chrono::milliseconds versionTimeout, std::stop_token stop)
{
    const auto setting = defaults.object(core::CleanupSettings::kUsePrivilegedHelperKey);
    if (!setting || setting->asBoolean() != true)
        return false;
    if (helperService(services) != PrivilegedHelperStatus::enabled)
        return false;
    const auto reply = version(versionTimeout, std::move(stop));
    return reply && reply->protocolVersion == kProtocolVersion && reply->build == appBuildNumber();
}

std::string appBuildNumber()
{
    const auto value = platform::mainBundleInfoValue("CFBundleVersion");
    const std::string* build = value ? value->asString() : nullptr;
    return build ? *build : std::string("0");
}

} // namespace veldo::removal::PrivilegedHelper
