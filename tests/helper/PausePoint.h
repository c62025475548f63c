// A fault point's pause seen from the test: the FIFOs "reached" and "go" in a folder of their own.
#pragma once

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace veldo::helper::testsupport {

class PausePoint
{
public:
    PausePoint()
    {
        char folder[] = "/tmp/veldo-pause-XXXXXX";
        EXPECT_NE(::mkdtemp(folder), nullptr);
        m_folder = folder;
        EXPECT_EQ(::mkfifo((m_folder + "/reached").c_str(), 0600), 0);
        EXPECT_EQ(::mkfifo((m_folder + "/go").c_str(), 0600), 0);
    }
    ~PausePoint()
    {
        ::unlink((m_folder + "/reached").c_str());
        ::unlink((m_folder + "/go").c_str());
        ::rmdir(m_folder.c_str());
    }
    PausePoint(const PausePoint&) = delete;
    PausePoint& operator=(const PausePoint&) = delete;

    // The action text for the configuration: "pause:<folder>".
    std::string action() const { return "pause:" + m_folder; }

    // Waits (at most 30 s) until the paused operation has reached the point; gives up early once
    // `finished` says the operation ended without reaching it.
    bool waitReached(const std::function<bool()>& finished = {}) const
    {
        const int fd = ::open((m_folder + "/reached").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        bool reached = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!reached && std::chrono::steady_clock::now() < deadline &&
               !(finished && finished())) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0 && (p.revents & POLLIN) != 0) {
                char byte = 0;
                reached = ::read(fd, &byte, 1) == 1;
            }
        }
        ::close(fd);
        return reached;
    }

    // Lets the paused operation go on (when it has reached the point).
    void release() const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            const int fd = ::open((m_folder + "/go").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                const char byte = 'g';
                (void)::write(fd, &byte, 1);
                ::close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ADD_FAILURE() << "nobody waited at " << m_folder;
    }

private:
    std::string m_folder;
};

} // namespace veldo::helper::testsupport
