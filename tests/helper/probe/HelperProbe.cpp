// helper-probe: a client of the helper daemon for the tests, run from inside a test app bundle (as
// the app's executable) or outside it. It connects to the helper's socket and acts as one mode
// says; what the daemon answered goes to standard output as "reply <text>" or "closed".
//
//   call <envelope>                  connect, send, read the answer
//   call-file <path>                 the same with the envelope read from the file <path> (one
//                                    larger than an argument may be)
//   map-then-call <envelope> <object>...
//                                    map each object to read it (never to run it), then call:
//                                    a file by its path, "memfd" a memory file of its own and
//                                    "sysv" a System V segment of its own, both holding data;
//                                    "unmapped <object> <errno>" when one can't be mapped
//   wait-then-call <envelope>        connect, print "ready", read a line, then send and read
//   exec-after-connect <program> <envelope>
//                                    connect, then run <program> write-fd 5 <envelope> on the
//                                    socket
//   write-fd <fd> <envelope>         send on an inherited socket and read the answer
//   fork-then-exec <program> <envelope>
//                                    connect; a child sends and reads once this process has run
//                                    <program> hold
//   orphan-writer <envelope>         connect; a child sends and reads once this process has ended
//   forge-in-namespace <program> <envelope>
//                                    in new user and pid namespaces, start <program>
//                                    connect-and-hand, take its connection and send on it naming
//                                    that process (and user 0 of the namespace) as the writer
//   connect-and-hand <fd>            connect, pass the socket over <fd>, wait until <fd> closes
//   raw <hex> <then>                 connect, send the bytes, then "half-close" (shut writing and
//                                    read the answer), "close" (close at once) or "read"
//   hold                             close standard output, sleep 10 s
//   flood <count> <length>           open <count> connections (fewer when connecting fails); with
//                                    a length, send on each a header announcing it and then as
//                                    much of the body as the daemon takes, all but its last byte,
//                                    until nothing moves for a second; print "ready <connections>
//                                    <body bytes sent>" and hold them until a line is read
// Started with no mode, as the activator starts the daemon, with a listening socket as descriptor
// 3 (LISTEN_FDS=1), it stands in for the daemon: it accepts one connection, asks nothing of its
// socket, reads one byte and prints to standard error "writer <pid>", or "writer none" when the
// byte came without its writer's credentials.
// A request that could not be sent at all prints "unsent <errno>".
// Exit status: 0 answered, 3 closed unanswered, 4 no connection, 5 no namespaces, 2 bad use.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/UniqueFd.h"
#include "common/HelperEndpoint.h"
#include "common/HelperFrame.h"
#include "platform/MacRoot.h"

namespace {

using namespace std::chrono_literals;
using veldo::base::UniqueFd;

UniqueFd connectToHelper()
{
    const std::string folder = veldo::platform::hostPath(
        veldo::platform::MacPath(std::string(veldo::common::kHelperSocketFolder)));
    const UniqueFd folderFd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd)
        return {};
    const auto address =
        veldo::common::socketAddressIn(folderFd.get(), veldo::common::kHelperSocketName);
    if (!address)
        return {};
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket ||
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0)
        return {};
    return socket;
}

// Prints the answer read from `fd` (after `sent` says whether the request went out).
int printAnswer(int fd, bool sent)
{
    if (!sent) {
        std::cout << "unsent " << errno << std::endl;
        return 3;
    }
    const auto reply = veldo::common::readFrame(fd, std::chrono::steady_clock::now() + 600s);
    if (!reply || !*reply) {
        std::cout << "closed" << std::endl;
        return 3;
    }
    std::cout << "reply " << **reply << std::endl;
    return 0;
}

int exchange(int fd, std::string_view envelope)
{
    return printAnswer(fd, veldo::common::writeFrame(fd, envelope).has_value());
}

// Waits until the process `pid` has ended (it is not this process's child).
void waitGone(pid_t pid, std::string_view program)
{
    const UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    for (int turn = 0; turn < 500; ++turn) {
        if (!pidfd)
            return;
        if (!program.empty()) {
            // Until the parent runs `program`.
            char target[4096] = {};
            const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
            const ssize_t n = ::readlink(exe.c_str(), target, sizeof target - 1);
            if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == program)
                return;
        } else {
            pollfd wait{pidfd.get(), POLLIN, 0};
            if (::poll(&wait, 1, 0) == 1)
                return;
        }
        std::this_thread::sleep_for(10ms);
    }
}

bool writeFile(const char* path, const std::string& text)
{
    const UniqueFd file(::open(path, O_WRONLY | O_CLOEXEC));
    return file &&
           ::write(file.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// Sends `size` bytes at `data` on the socket `fd` in one message that carries `payload` as one
// socket-level control message of `type`; answers what sendmsg answers.
template <typename Payload>
ssize_t sendWithControl(int fd, void* data, std::size_t size, int type, const Payload& payload)
{
    iovec vector{data, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(Payload))] = {};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = type;
    header->cmsg_len = CMSG_LEN(sizeof(Payload));
    std::memcpy(CMSG_DATA(header), &payload, sizeof payload);
    return ::sendmsg(fd, &message, MSG_NOSIGNAL);
}

// Sends `fd` over the socket `channel`.
bool handOver(int channel, int fd)
{
    char byte = 0;
    return sendWithControl(channel, &byte, 1, SCM_RIGHTS, fd) == 1;
}

// Receives one byte on the socket `fd` and, when one socket-level control message of `type` came
// with it, its `Payload` into `payload`; false when no byte came.
template <typename Payload>
bool receiveWithControl(int fd, int type, Payload& payload)
{
    char byte = 0;
    iovec vector{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(Payload))] = {};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (::recvmsg(fd, &message, MSG_CMSG_CLOEXEC) != 1)
        return false;
    const cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (header && header->cmsg_level == SOL_SOCKET && header->cmsg_type == type)
        std::memcpy(&payload, CMSG_DATA(header), sizeof payload);
    return true;
}

UniqueFd takeOver(int channel)
{
    int fd = -1;
    if (!receiveWithControl(channel, SCM_RIGHTS, fd))
        return {};
    return UniqueFd(fd);
}

// Sends `envelope` as one frame on `fd` with credentials naming `pid`, uid 0 and gid 0.
int forgedExchange(int fd, pid_t pid, std::string_view envelope)
{
    std::string frame(4, '\0');
    const auto length = static_cast<std::uint32_t>(envelope.size());
    for (int at = 0; at < 4; ++at)
        frame[static_cast<std::size_t>(at)] = static_cast<char>((length >> (24 - 8 * at)) & 0xFF);
    frame.append(envelope);
    const ucred named{pid, 0, 0};
    return printAnswer(fd, sendWithControl(fd, frame.data(), frame.size(), SCM_CREDENTIALS,
                                           named) == static_cast<ssize_t>(frame.size()));
}

int forgeInNamespace(const char* program, std::string_view envelope)
{
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWPID) != 0 ||
        !writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !writeFile("/proc/self/setgroups", "deny") ||
        !writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
        std::cout << "no namespaces " << errno << std::endl;
        return 5;
    }
    std::cout.flush();
    const pid_t first = ::fork(); // the namespace's first process
    if (first != 0) {
        int status = 0;
        ::waitpid(first, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
    }
    int channel[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0)
        ::_exit(2);
    const pid_t client = ::fork();
    if (client == 0) {
        ::close(channel[0]);
        ::dup2(channel[1], 6);
        ::execl(program, program, "connect-and-hand", "6", nullptr);
        ::_exit(2);
    }
    ::close(channel[1]);
    const UniqueFd connection = takeOver(channel[0]);
    if (!connection) {
        std::cout << "no connection" << std::endl;
        ::_exit(4);
    }
    const int result = forgedExchange(connection.get(), client, envelope);
    ::close(channel[0]);
    ::waitpid(client, nullptr, 0);
    ::_exit(result);
}

// Maps `object` (see map-then-call) to read it; false when it can't be.
bool mapToRead(std::string_view object)
{
    constexpr std::string_view kData = "data of its own, no code";
    if (object == "sysv") {
        const int segment = ::shmget(IPC_PRIVATE, 4096, IPC_CREAT | 0600);
        if (segment < 0)
            return false;
        void* const failed = reinterpret_cast<void*>(-1);
        void* writable = ::shmat(segment, nullptr, 0);
        void* readable = ::shmat(segment, nullptr, SHM_RDONLY);
        if (writable != failed) {
            std::memcpy(writable, kData.data(), kData.size());
            ::shmdt(writable);
        }
        ::shmctl(segment, IPC_RMID, nullptr); // gone with the last mapping
        return writable != failed && readable != failed;
    }
    UniqueFd file;
    if (object == "memfd") {
        file = UniqueFd(::memfd_create("toolkit", MFD_CLOEXEC));
        if (!file ||
            ::write(file.get(), kData.data(), kData.size()) != static_cast<ssize_t>(kData.size()))
            return false;
    } else {
        file = UniqueFd(::open(std::string(object).c_str(), O_RDONLY | O_CLOEXEC));
    }
    // The mapping outlives the descriptor.
    return file && ::mmap(nullptr, 4096, PROT_READ, object == "memfd" ? MAP_SHARED : MAP_PRIVATE,
                          file.get(), 0) != MAP_FAILED;
}

int flood(std::size_t count, std::uint32_t length)
{
    std::vector<UniqueFd> sockets;
    while (sockets.size() < count) {
        UniqueFd socket = connectToHelper();
        if (!socket)
            break;
        sockets.push_back(std::move(socket));
    }
    std::size_t sentInAll = 0;
    if (length > 0) {
        struct Sending
        {
            int fd;
            std::string header;
            std::size_t headerSent = 0;
            std::size_t bodyLeft = 0;
            bool closed = false;
        };
        std::vector<Sending> sending;
        for (const UniqueFd& socket : sockets) {
            ::fcntl(socket.get(), F_SETFL, ::fcntl(socket.get(), F_GETFL) | O_NONBLOCK);
            std::string header(4, '\0');
            for (int at = 0; at < 4; ++at)
                header[static_cast<std::size_t>(at)] =
                    static_cast<char>((length >> (24 - 8 * at)) & 0xFF);
            sending.push_back({socket.get(), header, 0, std::size_t{length} - 1});
        }
        const std::string piece(64 * 1024, 'x');
        auto lastMove = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - lastMove < 1s) {
            bool moved = false;
            for (Sending& one : sending) {
                if (one.closed || (one.headerSent == 4 && one.bodyLeft == 0))
                    continue;
                const bool inHeader = one.headerSent < 4;
                const ssize_t n =
                    inHeader ? ::send(one.fd, one.header.data() + one.headerSent,
                                      4 - one.headerSent, MSG_NOSIGNAL | MSG_DONTWAIT)
                             : ::send(one.fd, piece.data(), std::min(piece.size(), one.bodyLeft),
                                      MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    const auto sent = static_cast<std::size_t>(n);
                    if (inHeader) {
                        one.headerSent += sent;
                    } else {
                        one.bodyLeft -= sent;
                        sentInAll += sent;
                    }
                    moved = true;
                } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                    one.closed = true; // by the daemon
                }
            }
            if (moved)
                lastMove = std::chrono::steady_clock::now();
            else
                std::this_thread::sleep_for(10ms);
        }
    }
    std::cout << "ready " << sockets.size() << " " << sentInAll << std::endl;
    std::string line;
    std::getline(std::cin, line);
    return 0;
}

// The daemon's stand-in (see above).
int reportFirstWriter()
{
    const UniqueFd connection(::accept4(3, nullptr, nullptr, SOCK_CLOEXEC));
    ucred writer{};
    if (!connection || !receiveWithControl(connection.get(), SCM_CREDENTIALS, writer))
        return 2;
    std::cerr << "writer " << (writer.pid > 0 ? std::to_string(writer.pid) : "none") << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 1 && std::getenv("LISTEN_FDS") != nullptr)
        return reportFirstWriter();
    if (argc < 2)
        return 2;
    std::string_view mode = argv[1];
    if (mode == "hold") {
        ::close(STDOUT_FILENO);
        std::this_thread::sleep_for(10s);
        return 0;
    }
    if (mode == "forge-in-namespace" && argc == 4)
        return forgeInNamespace(argv[2], argv[3]);
    if (mode == "write-fd" && argc == 4)
        return exchange(std::stoi(argv[2]), argv[3]);
    if (mode == "flood" && argc == 4)
        return flood(std::stoul(argv[2]), static_cast<std::uint32_t>(std::stoul(argv[3])));
    if (mode == "map-then-call" && argc >= 4) {
        for (int at = 3; at < argc; ++at) {
            if (!mapToRead(argv[at])) {
                std::cout << "unmapped " << argv[at] << " " << errno << std::endl;
                return 2;
            }
        }
        mode = "call";
        argc = 3;
    }

    UniqueFd socket = connectToHelper();
    if (!socket) {
        std::cout << "no connection" << std::endl;
        return 4;
    }
    if (mode == "call" && argc == 3)
        return exchange(socket.get(), argv[2]);
    if (mode == "call-file" && argc == 3) {
        std::ifstream file(argv[2], std::ios::binary);
        const std::string envelope{std::istreambuf_iterator<char>(file), {}};
        if (!file && !file.eof())
            return 2;
        return exchange(socket.get(), envelope);
    }
    if (mode == "wait-then-call" && argc == 3) {
        std::cout << "ready" << std::endl;
        std::string line;
        std::getline(std::cin, line);
        return exchange(socket.get(), argv[2]);
    }
    if (mode == "exec-after-connect" && argc == 4) {
        ::dup2(socket.get(), 5);
        ::execl(argv[2], argv[2], "write-fd", "5", argv[3], nullptr);
        return 2;
    }
    if (mode == "fork-then-exec" && argc == 4) {
        const pid_t parent = ::getpid();
        std::cout.flush();
        if (::fork() == 0) {
            waitGone(parent, argv[2]);
            ::_exit(exchange(socket.get(), argv[3]));
        }
        ::execl(argv[2], argv[2], "hold", nullptr);
        return 2;
    }
    if (mode == "connect-and-hand" && argc == 3) {
        const int channel = std::stoi(argv[2]);
        if (!handOver(channel, socket.get()))
            return 2;
        char byte = 0;
        while (::read(channel, &byte, 1) > 0) {
        }
        return 0;
    }
    if (mode == "raw" && argc == 4) {
        const std::string_view hex = argv[2];
        std::string bytes;
        for (std::size_t at = 0; at + 1 < hex.size(); at += 2)
            bytes.push_back(
                static_cast<char>(std::stoi(std::string(hex.substr(at, 2)), nullptr, 16)));
        if (::send(socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(bytes.size()))
            return 2;
        const std::string_view then = argv[3];
        if (then == "close")
            return 0;
        if (then == "half-close")
            ::shutdown(socket.get(), SHUT_WR);
        const auto reply =
            veldo::common::readFrame(socket.get(), std::chrono::steady_clock::now() + 20s);
        if (!reply || !*reply) {
            std::cout << "closed" << std::endl;
            return 3;
        }
        std::cout << "reply " << **reply << std::endl;
        // Then the daemon closes.
        const auto next =
            veldo::common::readFrame(socket.get(), std::chrono::steady_clock::now() + 20s);
        std::cout << (next && !*next ? "closed" : "open") << std::endl;
        return 0;
    }
    if (mode == "orphan-writer" && argc == 3) {
        const pid_t parent = ::getpid();
        std::cout.flush();
        if (::fork() == 0) {
            waitGone(parent, {});
            ::_exit(exchange(socket.get(), argv[2]));
        }
        return 0;
    }
    return 2;
}
