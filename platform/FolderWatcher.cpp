// inotify behind FolderWatcher.
#include "platform/FolderWatcher.h"

#include <cerrno>
#include <mutex>
#include <set>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "platform/HostFiles.h"
#include "platform/MacFileSystem.h"

namespace veldo::platform {

namespace {

constexpr uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                           IN_ATTRIB | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

struct FolderWatcher::Core
{
    UniqueFd inotify;
    UniqueFd wake;
    std::function<void()> onChange;
    std::chrono::milliseconds latency{300};
    std::mutex mutex;      // guards the watch descriptors
    std::set<int> watches; // watch descriptors

    // Drains pending inotify records; true when any reports a change (overflow included). The
    // record that says a watch was removed is no change: re-arming must not trigger a rescan.
    bool drain()
    {
        alignas(struct inotify_event) char buf[16384];
        bool any = false;
        for (;;) {
            const ssize_t n =
                base::retryOnInterrupt([&] { return ::read(inotify.get(), buf, sizeof buf); });
            if (n > 0) {
                for (ssize_t off = 0; off + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
                    const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
                    if (e->mask != IN_IGNORED)
                        any = true;
                    off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                }
                continue;
            }
            return any; // EAGAIN: nothing more for now
        }
    }

    void run()
    {
        pollfd fds[2] = {{inotify.get(), POLLIN, 0}, {wake.get(), POLLIN, 0}};
        bool pending = false;
        auto deadline = std::chrono::steady_clock::now();
        for (;;) {
            int timeout = -1;
            if (pending) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                timeout = static_cast<int>(std::max<long long>(0, left.count()));
            }
            int rc = ::poll(fds, 2, timeout);
            if (rc < 0 && errno != EINTR)
                return;
            if (rc > 0 && (fds[1].revents & POLLIN))
                return;
            if (rc > 0 && (fds[0].revents & POLLIN) && drain() && !pending) {
                pending = true;
                deadline = std::chrono::steady_clock::now() + latency;
            }
            if (pending && std::chrono::steady_clock::now() >= deadline) {
                pending = false;
                drain();
                onChange();
            }
        }
    }
};

Result<std::unique_ptr<FolderWatcher>> FolderWatcher::create(std::function<void()> onChange,
                                                             std::chrono::milliseconds latency)
{
    auto core = std::make_shared<Core>();
    core->inotify.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!core->inotify)
        return Error::fromErrno(errno);
    core->wake.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!core->wake)
        return Error::fromErrno(errno);
    core->onChange = std::move(onChange);
    core->latency = latency;
    return std::unique_ptr<FolderWatcher>(new FolderWatcher(std::move(core)));
}

FolderWatcher::FolderWatcher(std::shared_ptr<Core> core) : m_core(std::move(core))
{
    m_thread = std::thread([core = m_core] { core->run(); });
}

FolderWatcher::~FolderWatcher()
{
    const uint64_t one = 1;
    (void)base::retryOnInterrupt([&] { return ::write(m_core->wake.get(), &one, sizeof one); });
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach(); // destroyed from its own callback: the thread ends by itself
    else if (m_thread.joinable())
        m_thread.join();
}

std::size_t FolderWatcher::setFolders(const std::vector<MacPath>& folders)
{
    std::lock_guard lock(m_core->mutex);
    std::set<int> wanted;
    for (const auto& folder : folders) {
        // The folder is opened inside the root and watched through its descriptor's entry in
        // /proc, which names the folder opened whatever its path has become since. Adding a
        // folder already watched answers its existing descriptor.
        auto opened = openInRoot(folder, O_PATH | O_DIRECTORY, FollowLinks::yes);
        if (!opened)
            continue;
        const HostPath procEntry = descriptorName(opened->get());
        const int wd = ::inotify_add_watch(m_core->inotify.get(), procEntry.c_str(), kMask);
        if (wd >= 0)
            wanted.insert(wd);
    }
    for (int wd : m_core->watches) {
        if (!wanted.count(wd))
            ::inotify_rm_watch(m_core->inotify.get(), wd);
    }
    m_core->watches = std::move(wanted);
    return m_core->watches.size();
}

} // namespace veldo::platform
