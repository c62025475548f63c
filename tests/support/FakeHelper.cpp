// Installs and runs the fake helper daemon in a fake Mac.
#include "tests/support/FakeHelper.h"

#include <csignal>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "common/HelperEndpoint.h"
#include "tests/support/StandInControl.h"

namespace veldo::testsupport {

namespace fs = std::filesystem;
using platform::MacPath;

bool FakeHelper::canRun(std::string& reason)
{
    if (::geteuid() == 0)
        return true;
    reason = "the helper socket is only trusted in a root-owned folder, bound by root";
    return false;
}

FakeHelper::FakeHelper(const FakeMac& mac) : m_mac(mac), m_control("/private/var/fake-helper")
{
    start();
}

void FakeHelper::start()
{
    const FakeMac& mac = m_mac;
    mac.mkdir(m_control);
    const MacPath program(std::string{kProgramPath});
    mac.mkdir(program.deletingLastPathComponent());
    std::error_code ec;
    fs::copy_file(VELDO_FAKE_HELPER_PROGRAM, mac.host(program),
                  fs::copy_options::overwrite_existing, ec);
    ASSERT_FALSE(ec) << "copy the fake helper: " << ec.message();
    ::chmod(mac.host(program).c_str(), 0755);

    const std::string folderHost = mac.host(MacPath(std::string{common::kHelperSocketFolder}));
    UniqueFd folder(::open(folderHost.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(folder) << "open " << folderHost;
    const std::string address = "/proc/self/fd/" + std::to_string(folder.get()) + "/" +
                                std::string(common::kHelperSocketName);
    sockaddr_un sun{};
    sun.sun_family = AF_UNIX;
    ASSERT_LT(address.size(), sizeof sun.sun_path);
    address.copy(sun.sun_path, address.size());
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(listener);
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<const sockaddr*>(&sun), sizeof sun), 0)
        << "bind the helper socket: " << std::strerror(errno);
    ::fchmodat(folder.get(), std::string(common::kHelperSocketName).c_str(), 0666, 0);
    ASSERT_EQ(::listen(listener.get(), 16), 0);

    const std::string programHost = mac.host(program);
    const std::string controlHost = mac.host(m_control);
    m_pid = ::fork();
    ASSERT_GE(m_pid, 0);
    if (m_pid == 0) {
        // dup2 onto itself would keep close-on-exec.
        if (listener.get() == 3 ? ::fcntl(3, F_SETFD, 0) != 0 : ::dup2(listener.get(), 3) != 3)
            ::_exit(126);
        ::execl(programHost.c_str(), programHost.c_str(), controlHost.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
}

FakeHelper::~FakeHelper()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        (void)base::retryOnInterrupt([&] { return ::waitpid(m_pid, &status, 0); });
    }
    ::unlink(m_mac.host(MacPath(std::string{common::kHelperSocketPath})).c_str());
}

void FakeHelper::setReply(std::string_view method, std::string_view payload) const
{
    m_mac.write(m_control.appendingPathComponent(std::string(method) + ".reply"), payload);
}

void FakeHelper::setBehaviour(std::string_view method, std::string_view behaviour) const
{
    m_mac.write(m_control.appendingPathComponent(std::string(method) + ".behaviour"), behaviour);
}

std::size_t FakeHelper::connections() const
{
    return controlLogLines(m_mac, m_control, "connections").size();
}

std::vector<std::string> FakeHelper::requests() const
{
    return controlLogLines(m_mac, m_control, "requests");
}

} // namespace veldo::testsupport
