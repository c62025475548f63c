// HelperFrame: the framing of messages on the socket between the app and the helper daemon.
//
// A frame is a 4-byte big-endian payload length followed by that many payload bytes (one JSON
// envelope). Payloads above kMaxHelperFramePayload bytes are refused on both sides; a reader
// refuses such a frame from its header alone, before any of its body is read, and holds memory
// only for the body bytes that have arrived, in pieces of kHelperFramePiece bytes (FrameBody),
// never for the length the header announces.
//
// Both calls block the calling thread on one connected stream socket (blocking or non-blocking;
// they wait with poll either way) until the whole frame has moved, the peer goes away, a system
// call fails or the optional deadline passes. EINTR is retried; SIGPIPE is never raised. They
// read or write exactly one frame's bytes, so frames that follow stay in the socket. After any
// failure the connection is out of step and should be closed.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"

namespace veldo::common {

inline constexpr std::size_t kHelperFrameHeaderBytes = 4;
inline constexpr std::size_t kMaxHelperFramePayload = 16 * 1024 * 1024;
inline constexpr std::size_t kHelperFramePiece = 64 * 1024;

// The payload length a frame header announces (kHelperFrameHeaderBytes, big-endian).
std::uint32_t frameLength(const unsigned char* header);

// The body of one frame as it arrives: each piece is set aside when its bytes are about to be
// read, so the memory held follows the bytes received (at most one piece ahead of them), never
// the length announced, and no growing buffer is ever copied into one twice its size. take()
// joins a whole body into one string of exactly its size, releasing each piece as it is copied.
// Not thread-safe.
class FrameBody
{
public:
    explicit FrameBody(std::size_t length);

    bool complete() const { return m_received == m_length; }
    std::size_t received() const { return m_received; }
    // Room for the next bytes: the rest of the current piece (a new piece when it is full), at
    // most up to the announced length; empty when complete.
    std::span<char> room();
    // `count` bytes of room() were filled.
    void filled(std::size_t count);
    // The whole body; the pieces are released as they are copied.
    std::string take();

private:
    // Bytes received into the last piece.
    std::size_t inLastPiece() const;

    std::size_t m_length;
    std::size_t m_received = 0;
    std::vector<std::string> m_pieces;
};

// When to give up waiting; none waits as long as it takes.
using FrameDeadline = std::optional<std::chrono::steady_clock::time_point>;

// Sends `payload` as one frame. Fails with invalidArgument (nothing sent) when the payload is
// above the limit, timedOut at the deadline, and ioFailure with the errno otherwise (EPIPE or
// ECONNRESET when the peer has gone).
Result<void> writeFrame(int socketFd, std::string_view payload, FrameDeadline deadline = {});

// Receives one frame and returns its payload, or none when the peer closed the connection
// cleanly before the first byte of a frame. Fails with refused when the header announces more
// than the limit (the body is left unread), unreadable when the peer closed the connection in
// the middle of a frame, timedOut at the deadline, and ioFailure with the errno otherwise.
Result<std::optional<std::string>> readFrame(int socketFd, FrameDeadline deadline = {});

} // namespace veldo::common
