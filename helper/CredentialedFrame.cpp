#include "helper/CredentialedFrame.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/HelperFrame.h"
#include "helper/PinnedProcess.h"

namespace veldo::helper {

namespace {

using Clock = std::chrono::steady_clock;

// What one piece read carried besides its bytes.
struct Piece
{
    std::optional<ucred> credentials;
    base::UniqueFd pidfd;
    bool spoiled = false; // descriptors passed, or control data cut short
};

// Reads up to `size` bytes with their control messages. 0 at end of stream, -1 on failure.
ssize_t receivePiece(int fd, char* buffer, std::size_t size, Piece& piece)
{
    alignas(cmsghdr) std::array<char, 512> control{};
    iovec vector{buffer, size};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    ssize_t n = 0;
    do
        n = ::recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
    while (n < 0 && errno == EINTR);
    if (n < 0)
        return n;
    if ((message.msg_flags & MSG_CTRUNC) != 0)
        piece.spoiled = true;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET)
            continue;
        const std::size_t dataBytes = header->cmsg_len - CMSG_LEN(0);
        if (header->cmsg_type == SCM_RIGHTS) {
            for (std::size_t at = 0; at + sizeof(int) <= dataBytes; at += sizeof(int)) {
                int passed = -1;
                std::copy_n(CMSG_DATA(header) + at, sizeof passed,
                            reinterpret_cast<unsigned char*>(&passed));
                ::close(passed);
            }
            piece.spoiled = true;
        } else if (header->cmsg_type == SCM_CREDENTIALS && dataBytes >= sizeof(ucred)) {
            ucred credentials{};
            std::copy_n(CMSG_DATA(header), sizeof credentials,
                        reinterpret_cast<unsigned char*>(&credentials));
            piece.credentials = credentials;
        } else if (header->cmsg_type == kScmPidfd && dataBytes >= sizeof(int)) {
            int pidfd = -1;
            std::copy_n(CMSG_DATA(header), sizeof pidfd, reinterpret_cast<unsigned char*>(&pidfd));
            piece.pidfd = base::UniqueFd(pidfd);
        }
    }
    return n;
}

// The same process behind two process descriptors: on kernels whose descriptors carry an inode
// per process the inodes match, and both show the same process id.
bool sameProcess(int first, int second)
{
    struct stat a
    {
    };
    struct stat b
    {
    };
    if (::fstat(first, &a) != 0 || ::fstat(second, &b) != 0 || a.st_ino != b.st_ino)
        return false;
    const auto pidA = pidOfProcessDescriptor(first);
    return pidA && *pidA > 0 && pidA == pidOfProcessDescriptor(second);
}

class FrameReader
{
public:
    FrameReader(int fd, std::optional<Clock::duration> within) : m_fd(fd), m_within(within) {}

    // Reads exactly `size` bytes into `buffer` unless the stream ends: the count read, or -1 when
    // a read failed or the deadline passed (timedOut()).
    ssize_t readExactly(char* buffer, std::size_t size)
    {
        std::size_t received = 0;
        while (received < size) {
            if (!waitReadable())
                return -1;
            Piece piece;
            const ssize_t n = receivePiece(m_fd, buffer + received, size - received, piece);
            if (n < 0)
                return -1;
            if (piece.spoiled)
                m_spoiled = true;
            if (n == 0)
                break;
            if (!m_deadline && m_within)
                m_deadline = Clock::now() + *m_within;
            take(piece);
            received += static_cast<std::size_t>(n);
        }
        return static_cast<ssize_t>(received);
    }

    bool spoiled() const { return m_spoiled; }
    bool timedOut() const { return m_timedOut; }
    // When the frame must be whole: none before its first byte, or without a limit.
    std::optional<Clock::time_point> deadline() const { return m_deadline; }
    // Hands the one writer of the bytes read to `frame`.
    void giveWriter(CredentialedFrame& frame)
    {
        if (m_hasWriter)
            frame.writer.emplace(std::move(m_writer));
    }

private:
    // Once the frame has begun, waits for bytes no later than its deadline.
    bool waitReadable()
    {
        if (!m_deadline)
            return true;
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*m_deadline - Clock::now()).count();
            if (left <= 0) {
                m_timedOut = true;
                return false;
            }
            pollfd wait{m_fd, POLLIN, 0};
            const int ready = ::poll(&wait, 1, static_cast<int>(std::min<long long>(left, 60'000)));
            if (ready > 0)
                return true;
            if (ready < 0 && errno != EINTR)
                return false;
        }
    }

    void take(Piece& piece)
    {
        // Process id 0: the kernel attached no writer (the bytes came before their reader asked
        // for one) or one this process can't see.
        if (!piece.credentials || piece.credentials->pid == 0) {
            m_spoiled = true;
            return;
        }
        if (!m_hasWriter) {
            m_hasWriter = true;
            m_writer.pid = piece.credentials->pid;
            m_writer.uid = piece.credentials->uid;
            m_writer.pidfd = std::move(piece.pidfd);
            m_writer.readTick = bootTicksNow();
            return;
        }
        if (piece.credentials->pid != m_writer.pid || piece.credentials->uid != m_writer.uid ||
            static_cast<bool>(piece.pidfd) != static_cast<bool>(m_writer.pidfd) ||
            (piece.pidfd && !sameProcess(m_writer.pidfd.get(), piece.pidfd.get())))
            m_spoiled = true;
    }

    int m_fd;
    std::optional<Clock::duration> m_within;
    std::optional<Clock::time_point> m_deadline;
    bool m_timedOut = false;
    bool m_spoiled = false;
    bool m_hasWriter = false;
    FrameWriter m_writer;
};

} // namespace

bool enableWriterCredentials(int socketFd, bool passPidfd)
{
    const int on = 1;
    if (::setsockopt(socketFd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0)
        return false;
    if (passPidfd)
        (void)::setsockopt(socketFd, SOL_SOCKET, kSoPassPidfd, &on, sizeof on); // older kernels
    return true;
}

CredentialedFrame readCredentialedFrame(int socketFd, const FrameReading& reading)
{
    using Status = CredentialedFrame::Status;
    CredentialedFrame result;
    FrameReader reader(socketFd, reading.within);
    const auto finish = [&](Status status) {
        if (status == Status::failed && reader.timedOut())
            status = Status::timedOut;
        result.status = status;
        if (reader.spoiled() && status != Status::failed && status != Status::closed)
            result.status = Status::noSingleWriter;
        else if (status != Status::failed)
            reader.giveWriter(result);
        return std::move(result);
    };

    unsigned char header[common::kHelperFrameHeaderBytes];
    const ssize_t got = reader.readExactly(reinterpret_cast<char*>(header), sizeof header);
    if (got < 0)
        return finish(Status::failed);
    if (got == 0)
        return finish(reader.spoiled() ? Status::noSingleWriter : Status::closed);
    if (static_cast<std::size_t>(got) < sizeof header)
        return finish(Status::truncated);
    const std::uint32_t length = common::frameLength(header);
    if (length > common::kMaxHelperFramePayload)
        return finish(Status::oversized);
    if (length > common::kHelperFramePiece && reading.dropsLargeBodies) {
        std::array<char, 16 * 1024> scratch{};
        for (std::size_t left = length; left > 0;) {
            const std::size_t size = std::min(left, scratch.size());
            const ssize_t n = reader.readExactly(scratch.data(), size);
            if (n < 0)
                return finish(Status::failed);
            if (static_cast<std::size_t>(n) < size)
                return finish(Status::truncated);
            left -= size;
        }
        return finish(Status::dropped);
    }
    if (length > common::kHelperFramePiece && reading.budget) {
        // Without a deadline, a wait for as long as the daemon may run.
        const auto until = reader.deadline().value_or(Clock::now() + std::chrono::hours(24 * 365));
        result.grant = reading.budget->acquire(reading.account, length, until);
        if (!result.grant)
            return finish(Status::timedOut);
    }
    common::FrameBody body(length);
    for (auto room = body.room(); !room.empty(); room = body.room()) {
        const ssize_t n = reader.readExactly(room.data(), room.size());
        if (n < 0)
            return finish(Status::failed);
        body.filled(static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < room.size())
            return finish(Status::truncated);
    }
    result.payload = body.take();
    return finish(Status::frame);
}

} // namespace veldo::helper
