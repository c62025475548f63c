#include "helper/CredentialedFrame.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/HelperFrame.h"
#include "helper/PinnedProcess.h"

namespace veldo::helper {

namespace {

constexpr std::size_t kReceivePiece = std::size_t{64} * 1024;

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
    explicit FrameReader(int fd) : m_fd(fd) {}

    // Reads exactly `size` bytes into `buffer` unless the stream ends: the count read, or -1.
    ssize_t readExactly(char* buffer, std::size_t size)
    {
        std::size_t received = 0;
        while (received < size) {
            Piece piece;
            const ssize_t n = receivePiece(m_fd, buffer + received, size - received, piece);
            if (n < 0)
                return -1;
            if (piece.spoiled)
                m_spoiled = true;
            if (n == 0)
                break;
            take(piece);
            received += static_cast<std::size_t>(n);
        }
        return static_cast<ssize_t>(received);
    }

    bool spoiled() const { return m_spoiled; }
    // Hands the one writer of the bytes read to `frame`.
    void giveWriter(CredentialedFrame& frame)
    {
        if (m_hasWriter)
            frame.writer.emplace(std::move(m_writer));
    }

private:
    void take(Piece& piece)
    {
        if (!piece.credentials) {
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

CredentialedFrame readCredentialedFrame(int socketFd)
{
    CredentialedFrame result;
    FrameReader reader(socketFd);
    const auto finish = [&](CredentialedFrame::Status status) {
        result.status = status;
        if (reader.spoiled() && status != CredentialedFrame::Status::failed &&
            status != CredentialedFrame::Status::closed)
            result.status = CredentialedFrame::Status::noSingleWriter;
        else if (status != CredentialedFrame::Status::failed)
            reader.giveWriter(result);
        return std::move(result);
    };

    unsigned char header[common::kHelperFrameHeaderBytes];
    const ssize_t got = reader.readExactly(reinterpret_cast<char*>(header), sizeof header);
    if (got < 0)
        return finish(CredentialedFrame::Status::failed);
    if (got == 0)
        return finish(reader.spoiled() ? CredentialedFrame::Status::noSingleWriter
                                       : CredentialedFrame::Status::closed);
    if (static_cast<std::size_t>(got) < sizeof header)
        return finish(CredentialedFrame::Status::truncated);
    const std::uint32_t length = (std::uint32_t{header[0]} << 24) |
                                 (std::uint32_t{header[1]} << 16) |
                                 (std::uint32_t{header[2]} << 8) | std::uint32_t{header[3]};
    if (length > common::kMaxHelperFramePayload)
        return finish(CredentialedFrame::Status::oversized);
    // The buffer grows with the bytes that arrive, never ahead of them by more than a piece.
    while (result.payload.size() < length) {
        const std::size_t before = result.payload.size();
        result.payload.resize(before + std::min<std::size_t>(length - before, kReceivePiece));
        const ssize_t n =
            reader.readExactly(result.payload.data() + before, result.payload.size() - before);
        if (n < 0)
            return finish(CredentialedFrame::Status::failed);
        if (static_cast<std::size_t>(n) < result.payload.size() - before)
            return finish(CredentialedFrame::Status::truncated);
    }
    return finish(CredentialedFrame::Status::frame);
}

} // namespace veldo::helper
