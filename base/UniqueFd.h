// UniqueFd: sole owner of one open file descriptor, closed when the owner goes.
#pragma once

#include <utility>

#include <unistd.h>

namespace veldo::base {

class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }

    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    explicit operator bool() const { return valid(); }

    // Gives up ownership without closing.
    int release() { return std::exchange(m_fd, -1); }

    // Closes the held descriptor (errors from close are deliberately ignored: the descriptor
    // is gone either way) and takes `fd`.
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

} // namespace veldo::base

namespace veldo {
using base::UniqueFd;
} // namespace veldo
