// Fault points of the helper's test build.
#include "helper/HelperFaultPoints.h"

#ifdef VELDO_HELPER_FAULT_POINTS

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <stddef.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "common/HelperMoveLedger.h"

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

#if defined(__x86_64__)
#define VELDO_FAULT_AUDIT_ARCH AUDIT_ARCH_X86_64
#elif defined(__aarch64__)
#define VELDO_FAULT_AUDIT_ARCH AUDIT_ARCH_AARCH64
#endif

// From now on the first rename of an atomic write (renameat, or renameat2 without flags or with
// RENAME_EXCHANGE) is trapped and the trap raises SIGKILL: the write's temporary file stays, its
// target unchanged.
void killAtNextAtomicRename()
{
#ifdef VELDO_FAULT_AUDIT_ARCH
    struct sigaction action = {};
    action.sa_handler = [](int) { ::raise(SIGKILL); };
    if (::sigaction(SIGSYS, &action, nullptr) != 0)
        return;
    constexpr std::uint32_t kFlagsLow = offsetof(seccomp_data, args) + 4 * sizeof(std::uint64_t);
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, VELDO_FAULT_AUDIT_ARCH, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
#ifdef __NR_renameat
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat, 5, 0),
#else
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 0, 0),
#endif
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kFlagsLow),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, RENAME_EXCHANGE, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
    };
    sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return;
    (void)::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program);
#endif
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
    if (action == "killInWrite") {
        killAtNextAtomicRename();
        common::testing::setChangeAppendHook([] { ::raise(SIGKILL); });
    }
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
