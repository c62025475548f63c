// Reading one request frame (common/HelperFrame.h's format) from a client socket together with
// who wrote it: the credentials the kernel attaches to every byte (SO_PASSCRED) and, where the
// kernel offers it (SO_PASSPIDFD), a process descriptor of the writer.
//
// A stream read never joins bytes of two writers, so each piece read carries one writer; every
// piece of a frame must carry the same process and user, else the frame has no single writer, as
// it has none when a piece carries no writer: bytes written to an accepted socket before it asked
// for credentials read as process 0 of the overflow user (since Linux 6.16 a connection takes the
// listening socket's options when it is made, not when it is accepted; bytes that wait for the
// accept carry their writer).
// Descriptors passed along with the bytes (SCM_RIGHTS) are closed at once and spoil the frame.
// The body is kept in pieces as it arrives (common::FrameBody); a body of more than one piece is
// read only once the frame budget grants its length, or, for a reader that drops such bodies, read
// and thrown away piece by piece without a grant. Blocks the calling thread until the frame is
// whole, the peer goes, a call fails, or the frame's deadline passes.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include <sys/types.h>

#include "base/UniqueFd.h"
#include "helper/FrameBudget.h"

namespace veldo::helper {

// Socket options newer than Debian 12's headers (Linux 6.5).
inline constexpr int kSoPassPidfd = 76;
inline constexpr int kSoPeerPidfd = 77;
inline constexpr int kScmPidfd = 4;

struct FrameWriter
{
    pid_t pid = 0;
    uid_t uid = 0;
    base::UniqueFd pidfd;       // the writer's process descriptor, when the kernel passed one
    std::uint64_t readTick = 0; // bootTicksNow() right after its first bytes were read
};

struct CredentialedFrame
{
    enum class Status
    {
        frame,          // a whole frame: `payload`
        closed,         // the peer closed before the first byte
        oversized,      // the header announces more than the frame limit (the body stays unread)
        truncated,      // the peer closed in the middle of the frame
        timedOut,       // the frame wasn't whole within its time (the rest stays unread)
        failed,         // a read failed
        noSingleWriter, // mixed writers, bytes without credentials, or descriptors passed
        dropped,        // a whole frame of more than one piece, read and thrown away
    };

    Status status = Status::failed;
    std::string payload;
    // The one writer of the bytes read (every status but closed, failed and noSingleWriter).
    std::optional<FrameWriter> writer;
    // The memory a body of more than one piece holds, until the frame has been handled.
    std::optional<FrameBudget::Grant> grant;
};

// What a frame may take.
struct FrameReading
{
    // From the frame's first byte to its last, waiting for the budget included; none: as long as
    // it takes. Before its first byte a reader waits as long as it takes.
    std::optional<std::chrono::steady_clock::duration> within;
    // Where a body of more than one piece takes its memory from, as `account`'s; none: no limit.
    FrameBudget* budget = nullptr;
    uid_t account = 0;
    // A body of more than one piece is read and dropped rather than kept (no budget is asked).
    bool dropsLargeBodies = false;
};

// Turns on what the reads below need on an accepted socket, or on a listening one for the
// connections made to it from then on: SO_PASSCRED always, SO_PASSPIDFD when `passPidfd` and the
// kernel knows it. False when SO_PASSCRED can't be set.
bool enableWriterCredentials(int socketFd, bool passPidfd);

// Reads one frame from the blocking `socketFd`.
CredentialedFrame readCredentialedFrame(int socketFd, const FrameReading& reading = {});

} // namespace veldo::helper
