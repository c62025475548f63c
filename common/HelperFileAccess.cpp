// Descriptor-relative file access of the helper: walks beneath the Mac root, status, listings,
// the private staging folder and the guarded folder removal.
#include "common/HelperFileAccess.h"

#include <cerrno>
#include <charconv>
#include <ctime>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "common/HelperACL.h"
#include "common/HelperSystemCalls.h"
#include "platform/MacRoot.h"
#include "platform/Unicode.h"

namespace veldo::common {

namespace {

using detail::openAt;

constexpr int kSearchFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW;
constexpr int kReadFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW;

using StoredNameReader = std::function<std::optional<std::string>(int, const std::string&)>;

struct Hooks
{
    std::mutex mutex;
    StoredNameReader storedNameReader;
};

Hooks& hooks()
{
    static Hooks h;
    return h;
}

struct RootCache
{
    std::mutex mutex;
    std::optional<SharedDescriptor> root;

    platform::MacRootResetHook hook = platform::addMacRootResetHook([this] {
        std::lock_guard lock(mutex);
        root.reset();
    });
};

RootCache& rootCache()
{
    static RootCache cache;
    return cache;
}

// Undoes the octal escapes (\040 for a space, \011, \012, \134) of /proc/self/mountinfo.
std::string unescapeMountField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
            isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            out.push_back(static_cast<char>(((field[i + 1] - '0') << 6) |
                                            ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.push_back(field[i]);
    }
    return out;
}

// Every mount's id and host mount point, from /proc/self/mountinfo; none when it can't be read.
std::optional<std::vector<std::pair<std::uint64_t, std::string>>> readMountTable()
{
    UniqueFd fd = openAt(AT_FDCWD, "/proc/self/mountinfo", O_RDONLY);
    if (!fd)
        return std::nullopt;
    const auto read = base::readAll(fd.get(), std::string().max_size());
    if (!read)
        return std::nullopt;
    const std::string& text = read.value();
    std::vector<std::pair<std::uint64_t, std::string>> mounts;
    // Each line: mount id, parent id, major:minor, root, mount point, options, ...
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        const std::string_view line(text.data() + lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        std::vector<std::string_view> fields;
        std::size_t pos = 0;
        while (pos < line.size() && fields.size() < 5) {
            std::size_t sp = line.find(' ', pos);
            if (sp == std::string_view::npos)
                sp = line.size();
            fields.push_back(line.substr(pos, sp - pos));
            pos = sp + 1;
        }
        if (fields.size() != 5)
            continue;
        std::uint64_t id = 0;
        const std::string_view first = fields[0];
        const auto [end, error] = std::from_chars(first.data(), first.data() + first.size(), id);
        if (error == std::errc() && end == first.data() + first.size())
            mounts.emplace_back(id, unescapeMountField(fields[4]));
    }
    return mounts;
}

std::optional<std::string>
mountPointIn(const std::vector<std::pair<std::uint64_t, std::string>>& mounts, std::uint64_t id)
{
    for (const auto& [mountID, mountPoint] : mounts)
        if (mountID == id)
            return mountPoint;
    return std::nullopt;
}

// The host mount point of the mount with id `id`, from /proc/self/mountinfo.
std::optional<std::string> mountPointOf(std::uint64_t id)
{
    const auto mounts = readMountTable();
    if (!mounts)
        return std::nullopt;
    return mountPointIn(*mounts, id);
}

bool isFreshPrivateFolder(const SharedDescriptor& folder, const HelperStat& parent,
                          std::int64_t createdAfter)
{
    auto st = statDescriptor(folder);
    if (!st)
        return false;
    // Where the file system reports no birth time, the change time stands in: it is set when
    // the folder is made and can only move later.
    const std::int64_t born = st->birthTime ? st->birthTime->seconds : st->changeTime.seconds;
    if (!st->isDirectory() || st->uid != ::geteuid() || (st->mode & 07777) != 0700 ||
        (st->flags & kComparedFlagsMask) != 0 || st->device != parent.device || st->links != 2 ||
        born < createdAfter - 1)
        return false;
    auto names = listDirectory(folder);
    return names && names->empty();
}

} // namespace

Result<SharedDescriptor> openHelperRoot(const std::string& hostFolder)
{
    const std::string path = hostFolder.empty() ? std::string("/") : hostFolder;
    UniqueFd fd = openAt(AT_FDCWD, path.c_str(), O_PATH | O_DIRECTORY);
    if (!fd)
        return Error::fromErrno(errno);
    return SharedDescriptor(std::move(fd));
}

Result<SharedDescriptor> helperRoot()
{
    RootCache& cache = rootCache();
    std::lock_guard lock(cache.mutex);
    if (cache.root)
        return *cache.root;
    auto opened = openHelperRoot(platform::macRoot());
    if (opened)
        cache.root = *opened;
    return opened;
}

Result<SharedDescriptor> openPathBeneath(const SharedDescriptor& root, std::string_view path,
                                         OpenBeneath how, const HelperFolderCheck& check)
{
    const bool readable = how.readable;
    const bool exactNames = how.exactNames;
    const std::vector<std::string_view> components = platform::splitPathComponents(path);
    bool climbs = false;
    for (const std::string_view c : components) {
        if (c.find('\0') != std::string::npos)
            return Error::fromErrno(EINVAL);
        climbs = climbs || c == "..";
    }

    UniqueFd first =
        openAt(root.fd(), ".", components.empty() && readable ? kReadFlags : kSearchFlags);
    if (!first)
        return Error::fromErrno(errno);
    SharedDescriptor current(std::move(first));

    // The identities of the folders the walk stands in, the root first: a ".." must come back
    // to the very folder it came through (a folder moved away meanwhile could otherwise lead
    // out of the root). Kept only when the path climbs.
    std::vector<HelperFileIdentity> trail;
    std::size_t depth = 0;

    auto inspect = [&](const SharedDescriptor& opened) -> Result<std::optional<HelperStat>> {
        if (!check && !climbs)
            return std::optional<HelperStat>();
        auto st = statDescriptor(opened);
        if (!st)
            return st.error();
        return std::optional<HelperStat>(*st);
    };

    {
        auto st = inspect(current);
        if (!st)
            return st.error();
        if (climbs)
            trail.push_back((*st)->identity());
        if (check && !check(**st, current))
            return Error::fromErrno(kEAUTH);
    }

    std::string soFar;
    for (std::size_t i = 0; i < components.size(); ++i) {
        const std::string component(components[i]);
        const bool last = i + 1 == components.size();
        soFar += '/';
        soFar += component;

        std::optional<std::string> stored;
        if (exactNames)
            stored = attributesOfEntry(current, component);

        const bool up = component == "..";
        // "/.." is "/": at the root a ".." opens the root again.
        const char* name = up && depth == 0 ? "." : component.c_str();
        UniqueFd next = openAt(current.fd(), name, last && readable ? kReadFlags : kSearchFlags);
        if (!next)
            return Error::fromErrno(errno);
        SharedDescriptor opened(std::move(next));

        if (exactNames &&
            (!stored || (*stored != component &&
                         platform::decomposed(*stored) != platform::decomposed(component)))) {
            // A mount point's stored name is the volume's name; anything else must match.
            const auto info = fileSystemInfo(opened);
            if (!info || info->mountPoint != soFar)
                return Error::fromErrno(EILSEQ);
        }

        auto st = inspect(opened);
        if (!st)
            return st.error();
        if (up && depth > 0) {
            if (!((*st)->identity() == trail[depth - 1]))
                return Error::fromErrno(EXDEV);
            trail.pop_back();
            --depth;
        } else if (!up && component != ".") {
            if (climbs)
                trail.push_back((*st)->identity());
            ++depth;
        }
        if (check && !check(**st, opened))
            return Error::fromErrno(kEAUTH);
        current = std::move(opened);
    }
    return current;
}

Result<SharedDescriptor> openPathBeneath(std::string_view path, OpenBeneath how,
                                         const HelperFolderCheck& check)
{
    auto root = helperRoot();
    if (!root)
        return root.error();
    return openPathBeneath(*root, path, how, check);
}

Result<HelperStat> statDescriptor(int fd)
{
    return detail::statFd(fd);
}

Result<std::optional<HelperStat>> statEntry(const SharedDescriptor& directory,
                                            const std::string& name)
{
    if (!detail::isSingleComponent(name))
        return Error::fromErrno(EINVAL);
    // One statx when it reports the flags too; otherwise an O_PATH open of the entry itself (a
    // link stays a link, a FIFO or device is not opened), so that the record and the flags come
    // from one object.
    if (auto st = detail::statEntryAt(directory.fd(), name.c_str())) {
        if (*st)
            return std::optional<HelperStat>(**st);
        if (st->error().systemErrno == ENOENT)
            return std::optional<HelperStat>();
        return st->error();
    }
    UniqueFd fd = openAt(directory.fd(), name.c_str(), O_PATH | O_NOFOLLOW);
    if (!fd) {
        if (errno == ENOENT)
            return std::optional<HelperStat>();
        return Error::fromErrno(errno);
    }
    auto st = detail::statFd(fd.get());
    if (!st)
        return st.error();
    return std::optional<HelperStat>(*st);
}

Result<std::vector<std::string>> listDirectory(const SharedDescriptor& directory)
{
    // A descriptor of its own for the listing: a path-only one reopened for reading, else a
    // duplicate (listed from the first entry, so an earlier listing's offset does not matter).
    UniqueFd dup;
    if (detail::isPathOnly(directory.fd()))
        dup = openAt(directory.fd(), ".", kReadFlags);
    else
        dup.reset(::fcntl(directory.fd(), F_DUPFD_CLOEXEC, 0));
    if (!dup)
        return Error::fromErrno(errno);
    return base::folderNames(std::move(dup));
}

std::optional<std::string> attributesOfEntry(const SharedDescriptor& directory,
                                             const std::string& name)
{
    StoredNameReader reader;
    {
        std::lock_guard lock(hooks().mutex);
        reader = hooks().storedNameReader;
    }
    if (reader)
        return reader(directory.fd(), name);

    if (!detail::isSingleComponent(name))
        return std::nullopt;
    struct statx sx = {};
    const int rc = base::retryOnInterrupt([&] {
        return ::statx(directory.fd(), name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &sx);
    });
    // Lookups are exact here: the entry found under `name` is stored under that very name.
    if (rc != 0 || platform::repairedUtf8(name) != name)
        return std::nullopt;
    return name;
}

std::optional<std::string> HelperMountTable::mountPoint(std::uint64_t id)
{
    if (m_mounts) {
        if (auto found = mountPointIn(*m_mounts, id))
            return found;
    }
    m_mounts = readMountTable();
    if (!m_mounts)
        return std::nullopt;
    return mountPointIn(*m_mounts, id);
}

std::optional<HelperFileSystemInfo> fileSystemInfo(int fd, HelperMountTable* mounts)
{
    const auto fsid = detail::fileSystemID(fd);
    if (!fsid)
        return std::nullopt;
    const auto id = detail::mountID(fd);
    if (!id)
        return std::nullopt;
    const auto hostMountPoint = mounts ? mounts->mountPoint(*id) : mountPointOf(*id);
    if (!hostMountPoint)
        return std::nullopt;

    HelperFileSystemInfo info;
    info.fileSystemID = *fsid;
    info.mountID = *id;
    if (auto mac = platform::macPathForHost(*hostMountPoint))
        info.mountPoint = mac->path();
    return info;
}

bool isOnFileSystem(int fd, const HelperFileSystemInfo& info)
{
    const auto id = detail::mountID(fd);
    if (!id || *id != info.mountID)
        return false;
    const auto fsid = detail::fileSystemID(fd);
    return fsid && *fsid == info.fileSystemID;
}

HelperCurrentPath currentPath(std::int64_t /*device*/, std::uint64_t /*inode*/)
{
    return HelperCurrentPath{HelperCurrentPath::Kind::unknown, {}};
}

Result<SharedDescriptor> makePrivateFolder(const SharedDescriptor& parent, const std::string& name)
{
    if (!detail::isSingleComponent(name))
        return Error::fromErrno(EINVAL);
    auto parentStat = statDescriptor(parent);
    if (!parentStat)
        return parentStat.error();
    timespec now = {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t start = now.tv_sec;

    const int rc =
        base::retryOnInterrupt([&] { return ::mkdirat(parent.fd(), name.c_str(), 0700); });
    if (rc != 0)
        return Error::fromErrno(errno);
    UniqueFd fd = openAt(parent.fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_DIRECTORY);
    if (!fd)
        return Error::fromErrno(errno);
    SharedDescriptor folder(std::move(fd));

    // Whatever fails this check may not be the folder just made: leave it where it is.
    if (!isFreshPrivateFolder(folder, *parentStat, start))
        return Error::fromErrno(EPERM);

    if (extendedACLState(folder.fd()) == false)
        return folder;
    // Entries inherited from the parent (or an unreadable ACL): clear them and look again.
    (void)installEmptyACL(folder.fd()); // the state is looked at again
    if (extendedACLState(folder.fd()) == false && isFreshPrivateFolder(folder, *parentStat, start))
        return folder;
    (void)removeDirectoryIfSame(parent, name, folder); // EPERM says why, whatever stays
    return Error::fromErrno(EPERM);
}

Result<void> removeDirectoryIfSame(const SharedDescriptor& parent, const std::string& name,
                                   const SharedDescriptor& expected)
{
    if (!detail::isSingleComponent(name))
        return Error::fromErrno(EINVAL);
    const auto wanted = statDescriptor(expected);
    if (!wanted)
        return wanted.error();
    const auto found = statEntry(parent, name);
    if (!found)
        return found.error();
    if (!found->has_value())
        return Error::fromErrno(ENOENT);
    if (!((*found)->identity() == wanted->identity()))
        return Error::make(ErrorCode::refused);
    const int rc =
        base::retryOnInterrupt([&] { return ::unlinkat(parent.fd(), name.c_str(), AT_REMOVEDIR); });
    if (rc != 0)
        return Error::fromErrno(errno);
    return {};
}

namespace testing {

void setStoredNameReader(
    std::function<std::optional<std::string>(int directoryFd, const std::string& name)> reader)
{
    std::lock_guard lock(hooks().mutex);
    hooks().storedNameReader = std::move(reader);
}

} // namespace testing

} // namespace veldo::common
