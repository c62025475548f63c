// Fault points of the helper's test build.
#include "helper/HelperFaultPoints.h"

#ifdef VELDO_HELPER_FAULT_POINTS

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace veldo::helper {

namespace {

struct Point
{
    std::string name;
    std::string action; // "kill", "fail" or "pause:<folder>"
};

struct Configuration
{
    std::mutex mutex;
    std::optional<std::vector<Point>> points; // none: not read yet
};

Configuration& configuration()
{
    static Configuration c;
    return c;
}

std::vector<Point> parse(std::string_view text)
{
    std::vector<Point> points;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const std::size_t colon = item.find(':');
        if (colon != std::string_view::npos)
            points.push_back(
                {std::string(item.substr(0, colon)), std::string(item.substr(colon + 1))});
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return points;
}

void moveOneByte(const std::string& fifo, bool write)
{
    int fd = -1;
    do
        fd = ::open(fifo.c_str(), (write ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return;
    char byte = 'x';
    ssize_t n = 0;
    do
        n = write ? ::write(fd, &byte, 1) : ::read(fd, &byte, 1);
    while (n < 0 && errno == EINTR);
    ::close(fd);
}

} // namespace

bool faultPoint(std::string_view point)
{
    std::string action;
    {
        Configuration& c = configuration();
        std::lock_guard lock(c.mutex);
        if (!c.points) {
            const char* env = std::getenv("VELDO_HELPER_FAULT"); // NOLINT(concurrency-mt-unsafe)
            c.points = parse(env ? env : "");
        }
        for (const Point& p : *c.points)
            if (p.name == point) {
                action = p.action;
                break;
            }
    }
    if (action == "kill")
        ::raise(SIGKILL);
    if (action.starts_with("pause:")) {
        const std::string folder = action.substr(6);
        moveOneByte(folder + "/reached", true);
        moveOneByte(folder + "/go", false);
    }
    return action == "fail";
}

namespace testing {
void setFaultPoints(std::string_view text)
{
    Configuration& c = configuration();
    std::lock_guard lock(c.mutex);
    c.points = parse(text);
}
} // namespace testing

} // namespace veldo::helper

#endif
