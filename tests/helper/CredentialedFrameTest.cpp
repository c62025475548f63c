// Reading a frame with its writer: one writer per frame, whoever sends its pieces.
#include "helper/CredentialedFrame.h"

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/HelperFrame.h"
#include "helper/PinnedProcess.h"

namespace veldo::helper {
namespace {

using namespace std::chrono_literals;

std::string header(std::uint32_t length)
{
    return {static_cast<char>(length >> 24), static_cast<char>((length >> 16) & 0xFF),
            static_cast<char>((length >> 8) & 0xFF), static_cast<char>(length & 0xFF)};
}

void sendAll(int fd, const std::string& bytes)
{
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

// Sends `bytes` from a child process and waits for it.
void sendFromChild(int fd, const std::string& bytes)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                        static_cast<ssize_t>(bytes.size())
                    ? 0
                    : 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(status, 0);
}

class CredentialedFrameTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        reader = base::UniqueFd(pair[0]);
        writer = base::UniqueFd(pair[1]);
        ASSERT_TRUE(enableWriterCredentials(reader.get(), GetParam()));
    }
    base::UniqueFd reader;
    base::UniqueFd writer;
};

TEST_P(CredentialedFrameTest, AFrameCarriesItsOneWriter)
{
    sendAll(writer.get(), header(5) + "he");
    sendAll(writer.get(), "llo" + header(2) + "hi");
    auto first = readCredentialedFrame(reader.get());
    ASSERT_EQ(first.status, CredentialedFrame::Status::frame);
    EXPECT_EQ(first.payload, "hello");
    ASSERT_TRUE(first.writer);
    EXPECT_EQ(first.writer->pid, ::getpid());
    EXPECT_EQ(first.writer->uid, ::getuid());
    EXPECT_EQ(static_cast<bool>(first.writer->pidfd), GetParam());
    if (first.writer->pidfd) {
        EXPECT_EQ(pidOfProcessDescriptor(first.writer->pidfd.get()), ::getpid());
    }
    EXPECT_EQ(readCredentialedFrame(reader.get()).payload, "hi") << "the next frame stays whole";

    writer.reset();
    EXPECT_EQ(readCredentialedFrame(reader.get()).status, CredentialedFrame::Status::closed);
}

TEST_P(CredentialedFrameTest, PiecesOfTwoWritersOrPassedDescriptorsHaveNoSingleWriter)
{
    sendAll(writer.get(), header(4) + "ab");
    sendFromChild(writer.get(), "cd");
    EXPECT_EQ(readCredentialedFrame(reader.get()).status,
              CredentialedFrame::Status::noSingleWriter);

    SetUp();
    const int passed = ::dup(STDIN_FILENO);
    std::string frame = header(1) + "x";
    iovec vector{frame.data(), frame.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* fds = CMSG_FIRSTHDR(&message);
    fds->cmsg_level = SOL_SOCKET;
    fds->cmsg_type = SCM_RIGHTS;
    fds->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(fds), &passed, sizeof passed);
    ASSERT_EQ(::sendmsg(writer.get(), &message, 0), static_cast<ssize_t>(frame.size()));
    ::close(passed);
    EXPECT_EQ(readCredentialedFrame(reader.get()).status,
              CredentialedFrame::Status::noSingleWriter);
}

// The kernel attaches no writer to bytes sent before their reader asked for one (as to a
// connection made before the daemon's listening socket asked, until its accepted socket does).
TEST_P(CredentialedFrameTest, BytesSentBeforeTheReaderAskedHaveNoSingleWriter)
{
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    reader = base::UniqueFd(pair[0]);
    writer = base::UniqueFd(pair[1]);
    sendAll(writer.get(), header(2) + "hi");
    ASSERT_TRUE(enableWriterCredentials(reader.get(), GetParam()));
    const auto early = readCredentialedFrame(reader.get());
    EXPECT_EQ(early.status, CredentialedFrame::Status::noSingleWriter)
        << (early.writer ? "writer pid " + std::to_string(early.writer->pid) : "no writer");

    sendAll(writer.get(), header(2) + "hi");
    EXPECT_EQ(readCredentialedFrame(reader.get()).status, CredentialedFrame::Status::frame)
        << "bytes sent once it asked carry their writer";
}

TEST_P(CredentialedFrameTest, TruncatedAndOversizedFramesKeepTheirWriter)
{
    sendAll(writer.get(), header(10) + "abc");
    ::shutdown(writer.get(), SHUT_WR);
    const auto truncated = readCredentialedFrame(reader.get());
    EXPECT_EQ(truncated.status, CredentialedFrame::Status::truncated);
    ASSERT_TRUE(truncated.writer);
    EXPECT_EQ(truncated.writer->pid, ::getpid());

    SetUp();
    sendAll(writer.get(), header(16 * 1024 * 1024 + 1));
    const auto oversized = readCredentialedFrame(reader.get());
    EXPECT_EQ(oversized.status, CredentialedFrame::Status::oversized);
    EXPECT_TRUE(oversized.writer);
}

TEST_P(CredentialedFrameTest, AFrameMustBeWholeWithinItsTimeOfItsFirstByte)
{
    FrameReading reading;
    reading.within = 200ms;
    // Quiet before the first byte doesn't count.
    std::jthread late([&] {
        std::this_thread::sleep_for(300ms);
        sendAll(writer.get(), header(2) + "hi");
    });
    const auto frame = readCredentialedFrame(reader.get(), reading);
    EXPECT_EQ(frame.status, CredentialedFrame::Status::frame);
    EXPECT_EQ(frame.payload, "hi");
    late.join();

    sendAll(writer.get(), header(10) + "abc");
    const auto started = std::chrono::steady_clock::now();
    const auto stalled = readCredentialedFrame(reader.get(), reading);
    EXPECT_EQ(stalled.status, CredentialedFrame::Status::timedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 150ms);
    EXPECT_TRUE(stalled.writer);
}

TEST_P(CredentialedFrameTest, ABodyOverOnePieceIsReadOnlyOnceTheBudgetGrantsIt)
{
    const std::size_t length = common::kHelperFramePiece + 1;
    const std::string frame = header(static_cast<std::uint32_t>(length)) + std::string(length, 'x');
    FrameBudget budget(2 * length, length); // two such bodies in all, one per account
    FrameReading reading;
    reading.within = 300ms;
    reading.budget = &budget;
    reading.account = 501;

    // The account's share is taken: the frame times out with its body unread.
    auto taken = budget.acquire(501, length, std::chrono::steady_clock::now());
    ASSERT_TRUE(taken);
    sendAll(writer.get(), frame);
    EXPECT_EQ(readCredentialedFrame(reader.get(), reading).status,
              CredentialedFrame::Status::timedOut);
    char byte = 0;
    EXPECT_EQ(::recv(reader.get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT), 1);

    // Another account's is read beside it, and holds its length until it is dropped.
    SetUp();
    reading.account = 502;
    sendAll(writer.get(), frame);
    auto other = readCredentialedFrame(reader.get(), reading);
    ASSERT_EQ(other.status, CredentialedFrame::Status::frame);
    EXPECT_EQ(other.payload, std::string(length, 'x'));
    EXPECT_EQ(budget.held(), 2 * length);

    // With everything taken, a frame of one piece needs nothing; a share given back in time lets
    // the waiting frame through.
    sendAll(writer.get(), header(5) + "hello");
    EXPECT_EQ(readCredentialedFrame(reader.get(), reading).payload, "hello");
    reading.account = 501;
    reading.within = 5s;
    std::jthread giveBack([&] {
        std::this_thread::sleep_for(100ms);
        taken.reset();
    });
    sendAll(writer.get(), frame);
    EXPECT_EQ(readCredentialedFrame(reader.get(), reading).status,
              CredentialedFrame::Status::frame);
    giveBack.join();
    other = {};
    EXPECT_EQ(budget.held(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Pinning, CredentialedFrameTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "ProcessDescriptors" : "ProcessIds";
                         });

TEST(FrameBudget, AGrantFitsTheTotalAndItsAccountsShare)
{
    FrameBudget budget(3000, 2000);
    const auto now = std::chrono::steady_clock::now;
    EXPECT_FALSE(budget.acquire(1, 2001, now() + 10s)) << "more than a share: refused at once";
    auto first = budget.acquire(1, 2000, now());
    ASSERT_TRUE(first);
    EXPECT_FALSE(budget.acquire(1, 1, now() + 50ms)) << "the share is taken";
    auto second = budget.acquire(2, 1000, now());
    ASSERT_TRUE(second);
    EXPECT_FALSE(budget.acquire(3, 1, now() + 50ms)) << "the total is taken";
    first.reset();
    EXPECT_TRUE(budget.acquire(3, 1000, now()));
    EXPECT_EQ(budget.held(), 1000u);
}

} // namespace
} // namespace veldo::helper
