// Length-prefixed frames on a socket: whole, split, short, oversized and late ones.
#include "common/HelperFrame.h"

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/UniqueFd.h"
#include "tests/support/HeapPeak.h"

using namespace veldo::common;
using veldo::ErrorCode;
using veldo::UniqueFd;
using namespace std::chrono_literals;

namespace {

struct SocketPair
{
    UniqueFd a;
    UniqueFd b;
};

SocketPair makePair()
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        ADD_FAILURE() << "socketpair: " << errno;
    return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

void sendAll(int fd, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        ASSERT_GT(n, 0) << errno;
        sent += static_cast<std::size_t>(n);
    }
}

std::string header(std::uint32_t length)
{
    return {static_cast<char>(length >> 24), static_cast<char>((length >> 16) & 0xFF),
            static_cast<char>((length >> 8) & 0xFF), static_cast<char>(length & 0xFF)};
}

FrameDeadline in(std::chrono::milliseconds delay)
{
    return std::chrono::steady_clock::now() + delay;
}

} // namespace

TEST(HelperFrame, FramesInARowThenCleanClose)
{
    auto pair = makePair();
    const std::vector<std::string> payloads = {
        R"({"method":"version"})", "", std::string("bin\0ary\xFF", 8), std::string(100000, 'x')};
    std::jthread writer([&] {
        for (const std::string& payload : payloads)
            EXPECT_TRUE(writeFrame(pair.a.get(), payload));
        pair.a.reset();
    });
    for (const std::string& payload : payloads) {
        auto frame = readFrame(pair.b.get(), in(10s));
        ASSERT_TRUE(frame);
        ASSERT_TRUE(frame->has_value());
        EXPECT_EQ(**frame, payload);
    }
    auto end = readFrame(pair.b.get(), in(10s));
    ASSERT_TRUE(end);
    EXPECT_FALSE(end->has_value());
}

TEST(HelperFrame, LengthIsBigEndian)
{
    auto pair = makePair();
    ASSERT_TRUE(writeFrame(pair.a.get(), std::string(0x0102, 'z')));
    unsigned char bytes[4];
    ASSERT_EQ(::recv(pair.b.get(), bytes, 4, 0), 4);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0x00);
    EXPECT_EQ(bytes[2], 0x01);
    EXPECT_EQ(bytes[3], 0x02);
}

TEST(HelperFrame, SplitFrameIsReassembled)
{
    // A non-blocking reader, and a writer that trickles the frame out in uneven pieces (the
    // header itself split across sends) with a pause between them.
    auto pair = makePair();
    ASSERT_EQ(::fcntl(pair.b.get(), F_SETFL, O_NONBLOCK), 0);
    const std::string payload = R"({"data":"{\"results\":[]}"})";
    const std::string frame =
        header(static_cast<std::uint32_t>(payload.size())) + payload + header(2) + "{}";
    std::jthread writer([&] {
        std::size_t at = 0;
        for (std::size_t piece = 1; at < frame.size(); piece = piece % 5 + 1) {
            std::size_t n = std::min(piece, frame.size() - at);
            sendAll(pair.a.get(), frame.substr(at, n));
            at += n;
            std::this_thread::sleep_for(2ms);
        }
    });
    auto first = readFrame(pair.b.get(), in(10s));
    ASSERT_TRUE(first);
    ASSERT_TRUE(first->has_value());
    EXPECT_EQ(**first, payload);
    auto second = readFrame(pair.b.get(), in(10s));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->value_or(""), "{}");
}

TEST(HelperFrame, ShortFramesAreUnreadable)
{
    const std::string cases[] = {
        std::string("\0\0", 2), // half a header
        header(10) + "abcd",    // body cut short
        header(1),              // header without its body
    };
    for (const std::string& bytes : cases) {
        auto pair = makePair();
        sendAll(pair.a.get(), bytes);
        pair.a.reset();
        auto frame = readFrame(pair.b.get(), in(10s));
        ASSERT_FALSE(frame) << bytes.size();
        EXPECT_EQ(frame.error().code, ErrorCode::unreadable);
    }
}

TEST(HelperFrame, OversizedFrameRefusedBeforeItsBody)
{
    auto pair = makePair();
    sendAll(pair.a.get(), header(kMaxHelperFramePayload + 1) + "rest");
    auto frame = readFrame(pair.b.get(), in(10s));
    ASSERT_FALSE(frame);
    EXPECT_EQ(frame.error().code, ErrorCode::refused);
    // Nothing after the header was taken from the socket.
    char rest[8] = {};
    ASSERT_EQ(::recv(pair.b.get(), rest, sizeof rest, MSG_DONTWAIT), 4);
    EXPECT_EQ(std::string(rest, 4), "rest");

    sendAll(pair.a.get(), header(0xFFFFFFFF));
    EXPECT_EQ(readFrame(pair.b.get(), in(10s)).error().code, ErrorCode::refused);

    // A writer refuses such a payload and sends nothing.
    auto written = writeFrame(pair.a.get(), std::string(kMaxHelperFramePayload + 1, 'x'));
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().code, ErrorCode::invalidArgument);
    EXPECT_EQ(::recv(pair.b.get(), rest, sizeof rest, MSG_DONTWAIT), -1);
    EXPECT_EQ(errno, EAGAIN);
}

TEST(HelperFrame, LargestFrameGetsThrough)
{
    auto pair = makePair();
    std::string payload(kMaxHelperFramePayload, 'a');
    payload.back() = 'z';
    std::jthread writer([&] { EXPECT_TRUE(writeFrame(pair.a.get(), payload, in(60s))); });
    auto frame = readFrame(pair.b.get(), in(60s));
    ASSERT_TRUE(frame);
    ASSERT_TRUE(frame->has_value());
    EXPECT_TRUE(**frame == payload);
}

TEST(HelperFrame, DeadlinesEndTheWait)
{
    auto pair = makePair();
    // The peer stops after half a header and keeps the connection open.
    sendAll(pair.a.get(), std::string("\0\0", 2));
    auto frame = readFrame(pair.b.get(), in(50ms));
    ASSERT_FALSE(frame);
    EXPECT_EQ(frame.error().code, ErrorCode::timedOut);

    // The peer never reads: the socket buffer fills and the write gives up.
    auto quiet = makePair();
    auto written = writeFrame(quiet.a.get(), std::string(kMaxHelperFramePayload, 'x'), in(50ms));
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().code, ErrorCode::timedOut);
}

TEST(HelperFrame, AnnouncedLengthHoldsNoMemoryBeforeItsBytesArrive)
{
    // A peer announces the largest frame, sends 100 bytes of it and stalls: the reader must not
    // have set aside 16 MiB for a body that never comes.
    auto pair = makePair();
    sendAll(pair.a.get(), header(kMaxHelperFramePayload) + std::string(100, 'x'));
    const veldo::testsupport::HeapPeak heap;
    auto frame = readFrame(pair.b.get(), in(50ms));
    ASSERT_FALSE(frame);
    EXPECT_EQ(frame.error().code, ErrorCode::timedOut);
    EXPECT_LT(heap.peakAboveStart(), std::size_t{256} * 1024);
}

TEST(HelperFrame, AFrameCutShortHeldTheBytesThatArrivedAndNoMore)
{
    // 9 MiB of a 12 MiB frame arrive: a buffer that doubles as it grows would have held 8 and 16
    // MiB at once on the way.
    auto pair = makePair();
    const std::string sent = header(12 * 1024 * 1024) + std::string(9 * 1024 * 1024, 'x');
    const veldo::testsupport::HeapPeak heap;
    std::jthread writer([&] {
        sendAll(pair.a.get(), sent);
        ::shutdown(pair.a.get(), SHUT_WR);
    });
    auto frame = readFrame(pair.b.get(), in(20s));
    ASSERT_FALSE(frame);
    EXPECT_EQ(frame.error().code, ErrorCode::unreadable);
    EXPECT_LT(heap.peakAboveStart(), std::size_t{10} * 1024 * 1024);
}

TEST(HelperFrame, PeerGoneIsAnErrorNotASignal)
{
    auto pair = makePair();
    pair.b.reset();
    auto written = writeFrame(pair.a.get(), "{}");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().code, ErrorCode::ioFailure);
    EXPECT_EQ(written.error().systemErrno, EPIPE);

    // A descriptor never opened, and one already closed.
    int stale = ::dup(pair.a.get());
    ASSERT_GE(stale, 0);
    ::close(stale);
    for (int fd : {-1, stale}) {
        auto unusable = readFrame(fd);
        ASSERT_FALSE(unusable);
        EXPECT_EQ(unusable.error().code, ErrorCode::ioFailure);
        EXPECT_EQ(unusable.error().systemErrno, EBADF);
    }
}
