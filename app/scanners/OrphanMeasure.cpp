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

#include "app/core/FolderTrail.h"
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

bool isAppName(const char* name)
{
    const std::string_view text(name);
    const std::size_t dot = text.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return false;
    return platform::lowercased(text.substr(dot + 1)) == "app";
}

class Walk
{
public:
    Walk(const std::stop_token& stop, Measurement& result) : m_stop(stop), m_result(result) {}

    // False when the stop was requested.
    bool run(UniqueFd top)
    {
        m_hook = objectHook() ? &objectHook() : nullptr;
        if (!readLevel(m_trail.push(std::move(top))))
            return false;
        while (!m_trail.empty()) {
            core::FolderTrail::Level& level = m_trail.top();
            if (level.next < level.subfolders.size()) {
                const std::string& name = level.subfolders[level.next++];
                UniqueFd child = core::openFolderAt(level.fd.get(), name.c_str());
                if (child && !readLevel(m_trail.push(std::move(child))))
                    return false;
                continue;
            }
            if (!m_trail.pop())
                return true; // the way back is gone: what was counted stands
        }
        return true;
    }

private:
    bool readLevel(core::FolderTrail::Level& level)
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

    void take(int dirFd, const char* name, core::FolderTrail::Level& level)
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
            if (st.st_nlink >= 2 && !m_linked.insert(core::FileKey{st.st_dev, st.st_ino}).second)
                return; // a hard link met before counts once
            m_result.bytes += static_cast<std::int64_t>(st.st_blocks) * kBlockBytes;
        } else if (S_ISLNK(st.st_mode)) {
            m_result.bytes += static_cast<std::int64_t>(st.st_blocks) * kBlockBytes;
        }
    }

    const std::stop_token& m_stop;
    Measurement& m_result;
    const std::function<void(std::uint64_t)>* m_hook = nullptr;
    core::FolderTrail m_trail{kHeldFolders};
    std::vector<char> m_buffer = std::vector<char>(kListingBytes);
    std::unordered_set<core::FileKey, core::FileKeyHash> m_linked;
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
    UniqueFd top = core::openFolderAt(entry->get(), ".");
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
