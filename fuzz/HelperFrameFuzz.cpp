// Fuzzes the socket frame reader with the bytes a peer sends: it answers a frame only when the
// header's length is within the limit and the bytes are all there, the payload is exactly those
// bytes, and it never reads past the frame: what follows stays in the socket.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <sys/socket.h>
#include <unistd.h>

#include "base/UniqueFd.h"
#include "common/HelperFrame.h"
#include "fuzz/FuzzCheck.h"

using namespace veldo::common;

namespace {

std::string readRest(int fd)
{
    std::string rest;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            rest.append(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return rest;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Stay well within the socket buffer, so writing all of it at once never blocks.
    if (size > 64 * 1024)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return 0;
    veldo::base::UniqueFd reader(fds[0]);
    veldo::base::UniqueFd writer(fds[1]);
    FUZZ_CHECK(::send(writer.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size()));
    writer.reset(); // the peer is done: a short frame must not wait for more

    const auto frame = readFrame(reader.get());
    if (size < kHelperFrameHeaderBytes) {
        // Nothing, or a torn header.
        FUZZ_CHECK(size == 0 ? (frame && !*frame) : !frame);
        return 0;
    }
    const std::size_t announced = (std::size_t{data[0]} << 24) | (std::size_t{data[1]} << 16) |
                                  (std::size_t{data[2]} << 8) | std::size_t{data[3]};
    const std::size_t available = size - kHelperFrameHeaderBytes;
    if (announced > kMaxHelperFramePayload || announced > available) {
        FUZZ_CHECK(!frame);
        return 0;
    }
    FUZZ_CHECK(frame && *frame);
    FUZZ_CHECK(**frame == bytes.substr(kHelperFrameHeaderBytes, announced));
    FUZZ_CHECK(readRest(reader.get()) == bytes.substr(kHelperFrameHeaderBytes + announced));

    // Written back, the payload makes the same frame.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return 0;
    veldo::base::UniqueFd again(fds[0]);
    veldo::base::UniqueFd sender(fds[1]);
    FUZZ_CHECK(writeFrame(sender.get(), **frame).has_value());
    sender.reset();
    FUZZ_CHECK(readRest(again.get()) == bytes.substr(0, kHelperFrameHeaderBytes + announced));
    return 0;
}
