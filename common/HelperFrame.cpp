// Length-prefixed frames on the app–helper socket.
#include "common/HelperFrame.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>

#include <poll.h>
#include <sys/socket.h>

namespace veldo::common {

namespace {

using Clock = std::chrono::steady_clock;

// Waits until `fd` reports one of `events` (or a hang-up or error, which the following send or
// recv turns into its own result).
Result<void> waitReady(int fd, short events, const FrameDeadline& deadline)
{
    // poll skips a negative descriptor instead of failing, and would wait for ever.
    if (fd < 0)
        return Error::fromErrno(EBADF);
    while (true) {
        int timeoutMs = -1;
        if (deadline) {
            auto now = Clock::now();
            if (now >= *deadline)
                return Error::make(ErrorCode::timedOut);
            auto remaining = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now);
            timeoutMs = static_cast<int>(
                std::min<std::chrono::milliseconds::rep>(remaining.count(), INT_MAX));
        }
        pollfd entry{fd, events, 0};
        int ready = ::poll(&entry, 1, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno(errno);
        }
        if (ready > 0)
            return {};
        // Timed out: the next turn sees the deadline passed.
    }
}

// Reads up to `size` bytes into `buffer`, stopping early only at end of stream. Returns how
// many bytes arrived.
Result<std::size_t> receiveExactly(int fd, char* buffer, std::size_t size,
                                   const FrameDeadline& deadline)
{
    std::size_t received = 0;
    while (received < size) {
        if (auto ready = waitReady(fd, POLLIN, deadline); !ready)
            return ready.error();
        ssize_t n = ::recv(fd, buffer + received, size - received, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return Error::fromErrno(errno);
        }
        if (n == 0)
            break;
        received += static_cast<std::size_t>(n);
    }
    return received;
}

} // namespace

std::uint32_t frameLength(const unsigned char* header)
{
    return (std::uint32_t{header[0]} << 24) | (std::uint32_t{header[1]} << 16) |
           (std::uint32_t{header[2]} << 8) | std::uint32_t{header[3]};
}

FrameBody::FrameBody(std::size_t length) : m_length(length)
{
}

std::size_t FrameBody::inLastPiece() const
{
    return m_pieces.empty() ? 0 : m_received - (m_pieces.size() - 1) * kHelperFramePiece;
}

std::span<char> FrameBody::room()
{
    if (complete())
        return {};
    if (m_pieces.empty() || inLastPiece() == kHelperFramePiece) {
        m_pieces.emplace_back();
        m_pieces.back().reserve(std::min(kHelperFramePiece, m_length - m_received));
    }
    const std::size_t used = inLastPiece();
    std::string& piece = m_pieces.back();
    piece.resize(std::min(kHelperFramePiece, used + (m_length - m_received)));
    return {piece.data() + used, piece.size() - used};
}

void FrameBody::filled(std::size_t count)
{
    if (m_pieces.empty())
        return;
    m_received += count;
    m_pieces.back().resize(inLastPiece());
}

std::string FrameBody::take()
{
    if (m_pieces.size() == 1)
        return std::move(m_pieces.front());
    std::string whole;
    whole.reserve(m_received);
    for (std::string& piece : m_pieces) {
        whole += piece;
        std::string().swap(piece);
    }
    m_pieces.clear();
    return whole;
}

Result<void> writeFrame(int socketFd, std::string_view payload, FrameDeadline deadline)
{
    if (payload.size() > kMaxHelperFramePayload)
        return Error::make(ErrorCode::invalidArgument);

    const auto length = static_cast<std::uint32_t>(payload.size());
    std::string frame;
    frame.reserve(kHelperFrameHeaderBytes + payload.size());
    frame.push_back(static_cast<char>((length >> 24) & 0xFF));
    frame.push_back(static_cast<char>((length >> 16) & 0xFF));
    frame.push_back(static_cast<char>((length >> 8) & 0xFF));
    frame.push_back(static_cast<char>(length & 0xFF));
    frame.append(payload);

    std::size_t sent = 0;
    while (sent < frame.size()) {
        if (auto ready = waitReady(socketFd, POLLOUT, deadline); !ready)
            return ready.error();
        ssize_t n =
            ::send(socketFd, frame.data() + sent, frame.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return Error::fromErrno(errno);
        }
        sent += static_cast<std::size_t>(n);
    }
    return {};
}

Result<std::optional<std::string>> readFrame(int socketFd, FrameDeadline deadline)
{
    unsigned char header[kHelperFrameHeaderBytes];
    auto got = receiveExactly(socketFd, reinterpret_cast<char*>(header), sizeof header, deadline);
    if (!got)
        return got.error();
    if (*got == 0)
        return std::optional<std::string>{};
    if (*got < sizeof header)
        return Error::make(ErrorCode::unreadable);

    const std::uint32_t length = frameLength(header);
    if (length > kMaxHelperFramePayload)
        return Error::make(ErrorCode::refused);

    // A header alone holds no memory for the body it announces.
    FrameBody body(length);
    for (auto room = body.room(); !room.empty(); room = body.room()) {
        got = receiveExactly(socketFd, room.data(), room.size(), deadline);
        if (!got)
            return got.error();
        body.filled(*got);
        if (*got < room.size())
            return Error::make(ErrorCode::unreadable);
    }
    return std::optional<std::string>{body.take()};
}

} // namespace veldo::common
