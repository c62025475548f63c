// The descriptor-relative walk that measures an orphan-scan finding.
#include "app/scanners/OrphanMeasure.h"

#include <cerrno>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/RawValue.h"
#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "platform/MacFileSystem.h"
#include "platform/Unicode.h"

namespace veldo::scanners::OrphanScanner {

namespace {

constexpr std::int64_t kBlockBytes = 512;
constexpr std::uint64_t kObjectsBetweenStopChecks = 256;
// Folder descriptors held along the current path; deeper, the far ancestors are closed and
// reached again through ".." on the way back.
constexpr std::size_t kHeldFolders = 48;
constexpr std::size_t kListingBytes = std::size_t{32} << 10;

std::function<void(std::uint64_t)>& objectHook()
{
    static std::function<void(std::uint64_t)> hook;
    return hook;
}

core::Date dateOf(const struct stat& st)
{
    return core::Date(std::chrono::duration_cast<core::Date::duration>(
        std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
}

struct FileKey
{
    dev_t device;
    ino_t inode;
    friend bool operator==(const FileKey&, const FileKey&) = default;
};

struct FileKeyHash
{
    std::size_t operator()(const FileKey& k) const noexcept
    {
        std::size_t seed = std::hash<std::uint64_t>{}(static_cast<std::uint64_t>(k.device));
        base::hashCombine(seed, std::hash<std::uint64_t>{}(static_cast<std::uint64_t>(k.inode)));
        return seed;
    }
};

bool isAppName(const char* name)
{
    const std::string_view text(name);
    const std::size_t dot = text.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return false;
    return platform::lowercased(text.substr(dot + 1)) == "app";
}

UniqueFd openFolder(int dirFd, const char* name)
{
    return base::openAt(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK);
}

// One folder below the measured item: its descriptor (closed while far from the current one),
// and the subfolders still to walk.
struct Level
{
    UniqueFd fd;
    std::vector<std::string> subfolders;
    std::size_t next = 0;
    dev_t device = 0;
    ino_t inode = 0;
};

class Walk
{
public:
    Walk(const std::stop_token& stop, Measurement& result) : m_stop(stop), m_result(result) {}

    // False when the stop was requested.
    bool run(UniqueFd top)
    {
        m_hook = objectHook() ? &objectHook() : nullptr;
        if (!enter(std::move(top)))
            return false;
        while (!m_levels.empty()) {
            Level& level = m_levels.back();
            if (level.next < level.subfolders.size()) {
                const std::string& name = level.subfolders[level.next++];
                UniqueFd child = openFolder(level.fd.get(), name.c_str());
                if (child && !enter(std::move(child)))
                    return false;
                continue;
            }
            if (!leave())
                return true; // the way back is gone: what was counted stands
        }
        return true;
    }

private:
    bool enter(UniqueFd fd)
    {
        m_levels.push_back(Level{std::move(fd), {}, 0, 0, 0});
        if (m_levels.size() > kHeldFolders) {
            Level& far = m_levels[m_levels.size() - 1 - kHeldFolders];
            struct stat st
            {
            };
            if (::fstat(far.fd.get(), &st) == 0) {
                far.device = st.st_dev;
                far.inode = st.st_ino;
                far.fd.reset();
            }
        }
        return readLevel(m_levels.back());
    }

    bool leave()
    {
        if (m_levels.size() >= 2) {
            Level& parent = m_levels[m_levels.size() - 2];
            if (!parent.fd) {
                UniqueFd up = openFolder(m_levels.back().fd.get(), "..");
                struct stat st
                {
                };
                if (!up || ::fstat(up.get(), &st) != 0 || st.st_dev != parent.device ||
                    st.st_ino != parent.inode)
                    return false;
                parent.fd = std::move(up);
            }
        }
        m_levels.pop_back();
        return true;
    }

    bool readLevel(Level& level)
    {
        const int dirFd = level.fd.get();
        for (;;) {
            const ssize_t n = ::getdents64(dirFd, m_buffer.data(), m_buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return true; // a listing that fails part way keeps what was read
            for (ssize_t offset = 0; offset < n;) {
                const auto* entry =
                    reinterpret_cast<const struct dirent64*>(m_buffer.data() + offset);
                offset += entry->d_reclen;
                const char* name = entry->d_name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                    continue;
                ++m_objects;
                if (m_hook)
                    (*m_hook)(m_objects);
                if (m_objects % kObjectsBetweenStopChecks == 0 && m_stop.stop_requested())
                    return false;
                take(dirFd, name, level);
            }
        }
    }

    void take(int dirFd, const char* name, Level& level)
    {
        struct stat st
        {
        };
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return; // unreadable: passed over
        const core::Date date = dateOf(st);
        if (!m_result.lastModified || date > *m_result.lastModified)
            m_result.lastModified = date;
        if (S_ISDIR(st.st_mode)) {
            if (!m_result.containsAppBundle && isAppName(name))
                m_result.containsAppBundle = true;
            level.subfolders.emplace_back(name);
            return;
        }
        if (S_ISREG(st.st_mode)) {
            if (st.st_nlink >= 2 && !m_linked.insert(FileKey{st.st_dev, st.st_ino}).second)
                return; // a hard link met before counts once
            m_result.bytes += static_cast<std::int64_t>(st.st_blocks) * kBlockBytes;
        } else if (S_ISLNK(st.st_mode)) {
            m_result.bytes += static_cast<std::int64_t>(st.st_blocks) * kBlockBytes;
        }
    }

    const std::stop_token& m_stop;
    Measurement& m_result;
    const std::function<void(std::uint64_t)>* m_hook = nullptr;
    std::vector<Level> m_levels;
    std::vector<char> m_buffer = std::vector<char>(kListingBytes);
    std::unordered_set<FileKey, FileKeyHash> m_linked;
    std::uint64_t m_objects = 0;
};

} // namespace

std::optional<Measurement> measure(const platform::MacPath& url, const std::stop_token& stop)
{
    // The entry is opened once inside the root and measured through its descriptor.
    auto entry = platform::openInRoot(url, O_PATH, platform::FollowLinks::no);
    if (!entry)
        return Measurement{};
    struct stat st
    {
    };
    if (::fstat(entry->get(), &st) != 0)
        return Measurement{};
    Measurement result;
    result.lastModified = dateOf(st);
    if (!S_ISDIR(st.st_mode)) {
        result.bytes = static_cast<std::int64_t>(st.st_blocks) * kBlockBytes;
        return result;
    }
    UniqueFd top = openFolder(entry->get(), ".");
    if (!top)
        return result;
    if (!Walk(stop, result).run(std::move(top)))
        return std::nullopt;
    return result;
}

namespace testing {
void setObjectHook(std::function<void(std::uint64_t objects)> hook)
{
    objectHook() = std::move(hook);
}
} // namespace testing

} // namespace veldo::scanners::OrphanScanner
