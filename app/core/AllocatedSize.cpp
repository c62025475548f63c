// Bytes on disk of a file or folder tree, by a descriptor-relative walk.
#include "app/core/AllocatedSize.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/core/FolderTrail.h"
#include "app/core/SizeWalkPool.h"
#include "base/RawValue.h"
#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "platform/MacFileSystem.h"

namespace veldo::core {

namespace {

// Folder descriptors kept open along the current path; deeper folders close their far
// ancestors and reopen them through ".." on the way back.
constexpr std::size_t kHeldDepth = 64;
constexpr std::size_t kListingBufferBytes = std::size_t{64} << 10;
constexpr std::int64_t kBlockBytes = 512;
// A tree with no more entries than this is measured on the calling thread alone: handing work
// to other threads would cost more than it saves.
constexpr std::size_t kCallerOnlyEntries = 512;
// Folders opened and waiting for a walker, per measured tree (each holds a descriptor).
constexpr std::size_t kQueuedFolders = 32;
constexpr std::size_t kLinkShards = 16;

bool statAt(int dirFd, const char* name, struct stat& st)
{
    for (;;) {
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

// The files with several hard links met so far in one measured tree, by (device, inode), in
// shards so that walkers rarely wait for each other.
class LinkedFiles
{
public:
    // True the first time a file is offered.
    bool firstSighting(FileKey key)
    {
        Shard& shard = m_shards[FileKeyHash{}(key) % kLinkShards];
        std::lock_guard lock(shard.mutex);
        return shard.keys.insert(key).second;
    }

private:
    struct Shard
    {
        std::mutex mutex;
        std::unordered_set<FileKey, FileKeyHash> keys;
    };
    std::array<Shard, kLinkShards> m_shards;
};

class TreeWalk;

// One call's tree: the total, the hard links seen, and the opened folders waiting for a walker
// (the caller or a pool worker). A walker's own folders stay with it; it hands a subfolder over
// only while few are waiting, so the opened descriptors stay bounded: kHeldDepth per walker plus
// kQueuedFolders.
class SizeJob final : public SizeWalkPool::Source
{
public:
    explicit SizeJob(std::stop_token stop) : m_stop(std::move(stop)) {}

    bool stopRequested() const { return m_stop.stop_requested(); }
    LinkedFiles& linkedFiles() { return m_linked; }
    void add(std::int64_t bytes) { m_total.fetch_add(bytes, std::memory_order_relaxed); }
    std::int64_t total() const { return m_total.load(std::memory_order_relaxed); }

    // Whether a walker should hand its next subfolder over rather than walk it itself.
    bool wantsFolders() const
    {
        return m_sharing.load(std::memory_order_relaxed) &&
               m_queued.load(std::memory_order_relaxed) < kQueuedFolders;
    }

    // From now on walkers hand folders over (to this job's queue, which the pool's workers see).
    void startSharing(std::shared_ptr<SizeJob> self)
    {
        m_self = std::move(self);
        m_sharing.store(true, std::memory_order_relaxed);
    }

    void handOver(UniqueFd folder)
    {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(folder));
            m_queued.store(m_queue.size(), std::memory_order_relaxed);
            ++m_outstanding;
        }
        SizeWalkPool::shared().offer(m_self);
    }

    bool runOne() override;

    // Runs queued folders on the calling thread until every handed-over folder is walked.
    void finish()
    {
        for (;;) {
            if (runOne())
                continue;
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_outstanding == 0 || !m_queue.empty(); });
            if (m_outstanding == 0)
                break;
        }
        m_self.reset(); // no cycle left once the caller is done
    }

private:
    std::stop_token m_stop;
    LinkedFiles m_linked;
    std::atomic<std::int64_t> m_total{0};
    std::atomic<bool> m_sharing{false};
    std::atomic<std::size_t> m_queued{0};
    std::shared_ptr<SizeJob> m_self;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<UniqueFd> m_queue;
    std::size_t m_outstanding = 0; // queued or being walked
};

// Walks one folder's tree depth-first, holding at most kHeldDepth descriptors, and hands
// subfolders over to the job while it wants them.
class TreeWalk
{
public:
    TreeWalk(SizeJob& job, std::vector<char>& buffer) : m_job(job), m_buffer(buffer) {}

    // Adds the tree's bytes to the job. With `entriesBeforeSharing`, the job starts sharing once
    // the walk has met that many entries (the call's own first walk).
    void run(UniqueFd start, std::size_t entriesBeforeSharing = 0)
    {
        m_entriesBeforeSharing = entriesBeforeSharing;
        readFolder(m_trail.push(std::move(start)));
        while (!m_trail.empty()) {
            FolderTrail::Level& top = m_trail.top();
            if (top.next < top.subfolders.size()) {
                if (m_job.stopRequested())
                    break;
                const std::string& name = top.subfolders[top.next++];
                UniqueFd child(openFolderAt(top.fd.get(), name.c_str()));
                if (!child)
                    continue; // unreadable or gone: skipped
                if (m_job.wantsFolders()) {
                    m_job.handOver(std::move(child));
                    continue;
                }
                readFolder(m_trail.push(std::move(child)));
                continue;
            }
            // A parent moved away during the walk ends it with what it has counted.
            if (!m_trail.pop())
                break;
        }
        m_job.add(m_total);
    }

    std::function<void()> onSharingDue; // set by the caller's first walk

private:
    // Counts the regular files of one folder and notes its subfolders. A folder whose listing
    // fails part way keeps what was read before the failure.
    void readFolder(FolderTrail::Level& frame)
    {
        const int dirFd = frame.fd.get();
        struct DueCheck
        {
            TreeWalk& walk;
            ~DueCheck() { walk.checkSharingDue(); }
        } dueCheck{*this};
        for (;;) {
            const ssize_t n = ::getdents64(dirFd, m_buffer.data(), m_buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            for (ssize_t offset = 0; offset < n;) {
                const auto* entry =
                    reinterpret_cast<const struct dirent64*>(m_buffer.data() + offset);
                offset += entry->d_reclen;
                const char* name = entry->d_name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                    continue;
                ++m_entries;
                switch (entry->d_type) {
                case DT_DIR:
                    frame.subfolders.emplace_back(name);
                    break;
                case DT_REG:
                case DT_UNKNOWN:
                    countEntry(dirFd, name, frame);
                    break;
                default:
                    break; // links, devices, sockets, FIFOs add nothing
                }
            }
        }
    }

    void countEntry(int dirFd, const char* name, FolderTrail::Level& frame)
    {
        struct stat st
        {
        };
        if (!statAt(dirFd, name, st))
            return;
        if (S_ISDIR(st.st_mode)) {
            frame.subfolders.emplace_back(name);
            return;
        }
        if (!S_ISREG(st.st_mode))
            return;
        if (st.st_nlink > 1 && !m_job.linkedFiles().firstSighting(FileKey{st.st_dev, st.st_ino}))
            return;
        m_total += static_cast<std::int64_t>(st.st_blocks) * kBlockBytes;
    }

    void checkSharingDue()
    {
        if (onSharingDue && m_entries > m_entriesBeforeSharing) {
            onSharingDue();
            onSharingDue = nullptr;
        }
    }

    SizeJob& m_job;
    std::vector<char>& m_buffer;
    FolderTrail m_trail{kHeldDepth};
    std::size_t m_entries = 0;
    std::size_t m_entriesBeforeSharing = 0;
    std::int64_t m_total = 0;
};

// Each thread's listing buffer, kept between walks.
std::vector<char>& listingBuffer()
{
    thread_local std::vector<char> buffer(kListingBufferBytes);
    return buffer;
}

bool SizeJob::runOne()
{
    UniqueFd folder;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty())
            return false;
        folder = std::move(m_queue.front());
        m_queue.pop_front();
        m_queued.store(m_queue.size(), std::memory_order_relaxed);
    }
    TreeWalk(*this, listingBuffer()).run(std::move(folder));
    {
        std::lock_guard lock(m_mutex);
        --m_outstanding;
    }
    m_changed.notify_all();
    return true;
}

// The bytes of the tree below `start`: the calling thread walks it alone until it has met
// kCallerOnlyEntries entries, then shares the rest with the pool and waits for it. The answer
// is the same however the work was shared: every regular file adds its own blocks, and a file
// with several links adds them only at the first sighting of its (device, inode).
std::int64_t measureTree(UniqueFd start, std::stop_token stop)
{
    auto job = std::make_shared<SizeJob>(std::move(stop));
    TreeWalk first(*job, listingBuffer());
    first.onSharingDue = [&job] {
        if (SizeWalkPool::shared().servesThisProcess())
            job->startSharing(job);
    };
    first.run(std::move(start), kCallerOnlyEntries);
    job->finish();
    return job->total();
}

} // namespace

std::int64_t allocatedSize(const platform::MacPath& path)
{
    return *allocatedSize(path, std::stop_token());
}

Result<std::int64_t> allocatedSize(const platform::MacPath& path, std::stop_token stop)
{
    // Opened inside the root, then measured through the descriptor: the entry measured is the
    // one the kernel found there, whatever its path turns into meanwhile.
    auto entry = platform::openInRoot(path, O_PATH, platform::FollowLinks::no);
    if (!entry)
        return 0;
    struct stat st
    {
    };
    if (::fstat(entry->get(), &st) != 0)
        return 0;
    if (!S_ISDIR(st.st_mode))
        return static_cast<std::int64_t>(st.st_blocks) * kBlockBytes;
    UniqueFd start(openFolderAt(entry->get(), "."));
    if (!start)
        return 0;
    const std::int64_t total = measureTree(std::move(start), stop);
    if (stop.stop_requested())
        return Error::make(ErrorCode::cancelled);
    return total;
}

} // namespace veldo::core
