// Reading a frame with its writer: one writer per frame, whoever sends its pieces.
#include "helper/CredentialedFrame.h"

#include <cstring>
#include <string>

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "helper/PinnedProcess.h"

namespace veldo::helper {
namespace {

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

INSTANTIATE_TEST_SUITE_P(Pinning, CredentialedFrameTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "ProcessDescriptors" : "ProcessIds";
                         });

} // namespace
} // namespace veldo::helper
