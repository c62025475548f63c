// Bytes on disk of a file or folder tree, by a descriptor-relative walk.
#include "app/core/AllocatedSize.h"

#include <cerrno>
#include <string>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

UniqueFd openFolderAt(int dirFd, const char* name)
{
    // O_NONBLOCK: should the entry have turned into a FIFO, the open must not wait for a writer.
    return base::openAt(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK);
}

bool statAt(int dirFd, const char* name, struct stat& st)
{
    return base::retryOnInterrupt(
               [&] { return ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW); }) == 0;
}

class TreeWalk
{
public:
    std::int64_t run(UniqueFd start)
    {
        m_frames.push_back(Frame{std::move(start), {}, 0, 0, 0});
        readFolder(m_frames.back());
        while (!m_frames.empty()) {
            Frame& top = m_frames.back();
            if (top.next < top.subfolders.size()) {
                const std::string& name = top.subfolders[top.next++];
                UniqueFd child(openFolderAt(top.fd.get(), name.c_str()));
                if (!child)
                    continue; // unreadable or gone: skipped
                push(std::move(child));
                continue;
            }
            if (!pop())
                break;
        }
        return m_total;
    }

private:
    struct Frame
    {
        UniqueFd fd;
        std::vector<std::string> subfolders;
        std::size_t next;
        dev_t device; // recorded when the descriptor is closed early
        ino_t inode;
    };

    void push(UniqueFd child)
    {
        m_frames.push_back(Frame{std::move(child), {}, 0, 0, 0});
        if (m_frames.size() > kHeldDepth) {
            Frame& far = m_frames[m_frames.size() - 1 - kHeldDepth];
            struct stat st
            {
            };
            if (::fstat(far.fd.get(), &st) == 0) {
                far.device = st.st_dev;
                far.inode = st.st_ino;
                far.fd.reset();
            }
        }
        readFolder(m_frames.back());
    }

    // Leaves the top folder. False when its parent can no longer be reached as the same folder
    // (moved away during the walk): the walk then ends with what it has counted.
    bool pop()
    {
        if (m_frames.size() >= 2) {
            Frame& parent = m_frames[m_frames.size() - 2];
            if (!parent.fd) {
                UniqueFd up(openFolderAt(m_frames.back().fd.get(), ".."));
                struct stat st
                {
                };
                if (!up || ::fstat(up.get(), &st) != 0 || st.st_dev != parent.device ||
                    st.st_ino != parent.inode)
                    return false;
                parent.fd = std::move(up);
            }
        }
        m_frames.pop_back();
        return true;
    }

    // Counts the regular files of one folder and notes its subfolders. A folder whose listing
    // fails part way keeps what was read before the failure.
    void readFolder(Frame& frame)
    {
        const int dirFd = frame.fd.get();
        for (;;) {
            const ssize_t n = base::retryOnInterrupt(
                [&] { return ::getdents64(dirFd, m_buffer.data(), m_buffer.size()); });
            if (n <= 0)
                return;
            for (ssize_t offset = 0; offset < n;) {
                const auto* entry =
                    reinterpret_cast<const struct dirent64*>(m_buffer.data() + offset);
                offset += entry->d_reclen;
                const char* name = entry->d_name;
                if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                    continue;
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

    void countEntry(int dirFd, const char* name, Frame& frame)
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
        if (st.st_nlink > 1 && !m_linked.insert(FileKey{st.st_dev, st.st_ino}).second)
            return;
        m_total += static_cast<std::int64_t>(st.st_blocks) * kBlockBytes;
    }

    std::vector<Frame> m_frames;
    std::unordered_set<FileKey, FileKeyHash> m_linked;
    std::vector<char> m_buffer = std::vector<char>(kListingBufferBytes);
    std::int64_t m_total = 0;
};

} // namespace

std::int64_t allocatedSize(const platform::MacPath& path)
{
    const std::string host = platform::resolvedHostPath(path, platform::FollowLinks::no);
    struct stat st
    {
    };
    if (::lstat(host.c_str(), &st) != 0)
        return 0;
    if (!S_ISDIR(st.st_mode))
        return static_cast<std::int64_t>(st.st_blocks) * kBlockBytes;
    UniqueFd start(openFolderAt(AT_FDCWD, host.c_str()));
    if (!start)
        return 0;
    return TreeWalk().run(std::move(start));
}

} // namespace veldo::core
