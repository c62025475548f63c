#include "helper/ClientRequirement.h"

#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include <elf.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "base/BuildNumber.h"
#include "base/SystemCalls.h"
#include "common/HelperFileAccess.h"
#include "helper/DaemonBuild.h"
#include "helper/HelperFaultPoints.h"
#include "helper/HelperService.h"
#include "helper/ToolRunner.h"
#include "platform/HostFiles.h"
#include "platform/PropertyList.h"

namespace veldo::helper {

namespace {

constexpr std::string_view kAppIdentifier = "orbelkan.Veldo";
constexpr std::size_t kMaxInfoPlistBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxProcFileBytes = std::size_t{64} << 20;
// Readings of a process whose memory map changes under the check before it is refused.
constexpr int kMapReadings = 3;

// `relative` beneath the folder `folderFd`, no link followed on the way or at the end.
base::UniqueFd openBeneath(int folderFd, const char* relative, int flags)
{
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags) | O_CLOEXEC | O_NOFOLLOW;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd = -1;
    do
        fd = ::syscall(SYS_openat2, folderFd, relative, &how, sizeof how);
    while (fd < 0 && (errno == EINTR || errno == EAGAIN));
    return base::UniqueFd(static_cast<int>(fd));
}

bool isRootsAlone(const common::HelperStat& status)
{
    struct stat plain
    {
    };
    plain.st_uid = status.uid;
    plain.st_gid = status.gid;
    plain.st_mode = status.mode;
    return ToolRunner::isWritableOnlyByRoot(plain, false);
}

// The whole of a /proc file of the process folder `processFd`.
std::optional<std::string> readProcFile(int processFd, const char* name)
{
    const base::UniqueFd file = base::openAt(processFd, name, O_RDONLY);
    if (!file)
        return std::nullopt;
    auto text = base::readAll(file.get(), kMaxProcFileBytes);
    if (!text)
        return std::nullopt;
    return std::move(*text);
}

bool sameNamespace(int processFd, const char* name)
{
    struct stat theirs
    {
    };
    struct stat ours
    {
    };
    const std::string own = std::string("/proc/self/") + name;
    return ::fstatat(processFd, name, &theirs, 0) == 0 && ::stat(own.c_str(), &ours) == 0 &&
           theirs.st_dev == ours.st_dev && theirs.st_ino == ours.st_ino;
}

// The value of the "TracerPid:" line of "status".
std::optional<long> tracerPid(std::string_view status)
{
    const auto at = status.find("\nTracerPid:");
    if (at == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = status.substr(at + 11);
    while (!rest.empty() && (rest.front() == '\t' || rest.front() == ' '))
        rest.remove_prefix(1);
    long value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc() || end == rest.data())
        return std::nullopt;
    return value;
}

// Field 22 of "stat" (the start time in clock ticks since boot), counted after the command
// name's closing parenthesis (the name may hold anything).
std::optional<std::uint64_t> startTime(std::string_view stat)
{
    const auto close = stat.rfind(')');
    if (close == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = stat.substr(close + 1);
    // Fields 3 to 21 come first.
    for (int field = 3; field <= 22; ++field) {
        while (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
        const auto end = rest.find(' ');
        const std::string_view value = rest.substr(0, end);
        if (value.empty())
            return std::nullopt;
        if (field == 22) {
            std::uint64_t ticks = 0;
            const auto [last, error] =
                std::from_chars(value.data(), value.data() + value.size(), ticks);
            if (error != std::errc() || last != value.data() + value.size())
                return std::nullopt;
            return ticks;
        }
        if (end == std::string_view::npos)
            return std::nullopt;
        rest.remove_prefix(end);
    }
    return std::nullopt;
}

// A reason to refuse the process, and whether it may come from its memory map changing while it
// was read (a mapping listed that was gone a moment later).
struct Finding
{
    std::string reason;
    bool mapChanging = false;
};

// Root's, and writable by no one else: the rule for every file that holds the process's code.
bool rootsAlone(const common::HelperStat& status)
{
    return status.uid == 0 && (status.mode & (S_IWGRP | S_IWOTH)) == 0;
}

// What a mapped object's first bytes say it is.
enum class MappedObject
{
    elf,        // an ELF file: a library, a program, a loader
    other,      // data, or a device with nothing a loader could read from it
    unreadable, // it can't be opened or read: as good as an ELF file
};

// Reads the first bytes of what the O_PATH descriptor `mapped` holds, through a descriptor of its
// own opened from it (the very object, deleted files and shared memory included), without waiting.
// The loader reads a library's header before it maps it, so a character device that has nothing
// to read now (an event queue, as the GPU's nodes are) or can't be read at all (its driver only
// maps) holds no library.
MappedObject mappedObject(int mapped, const common::HelperStat& status)
{
    const base::UniqueFd file = base::openAt(AT_FDCWD, platform::descriptorName(mapped).c_str(),
                                             O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!file)
        return MappedObject::unreadable;
    unsigned char magic[SELFMAG] = {};
    ssize_t got = base::retryOnInterrupt([&] { return ::pread(file.get(), magic, SELFMAG, 0); });
    if (got < 0 && errno == ESPIPE)
        got = base::retryOnInterrupt([&] { return ::read(file.get(), magic, SELFMAG); });
    if (got < 0)
        return S_ISCHR(status.mode) && (errno == EAGAIN || errno == EINVAL)
                   ? MappedObject::other
                   : MappedObject::unreadable;
    return got == SELFMAG && std::memcmp(magic, ELFMAG, SELFMAG) == 0 ? MappedObject::elf
                                                                      : MappedObject::other;
}

// Every file-backed mapping of "maps", deleted files, shared memory and devices included: an
// executable one backed by a regular file of root's that neither group nor others may write
// ("[vdso]" and "[vsyscall]" aside), any other backed by such an object unless it holds no ELF
// file (data, shared memory, a device's memory); the finding otherwise. Each object is read once
// however often it is mapped (a GPU's node may be mapped hundreds of times).
std::optional<Finding> mappingRefusal(int processFd, std::string_view maps)
{
    std::unordered_set<common::HelperFileIdentity> holdingNoElf;
    while (!maps.empty()) {
        const auto lineEnd = maps.find('\n');
        const std::string_view line = maps.substr(0, lineEnd);
        maps.remove_prefix(lineEnd == std::string_view::npos ? maps.size() : lineEnd + 1);
        if (line.empty())
            continue;
        // range perms offset device inode [path]
        std::uint64_t start = 0;
        std::uint64_t end = 0;
        char permissions[5] = {};
        unsigned long long inode = 0;
        int pathAt = 0;
        const std::string copy(line);
        if (std::sscanf(copy.c_str(), "%" SCNx64 "-%" SCNx64 " %4s %*s %*s %llu %n", &start, &end,
                        permissions, &inode, &pathAt) < 4)
            return Finding{"its memory map can't be read"};
        const bool executable = permissions[2] == 'x';
        const std::string_view path =
            std::string_view(copy).substr(static_cast<std::size_t>(pathAt));
        if (inode == 0) {
            if (executable && path != "[vdso]" && path != "[vsyscall]")
                return Finding{"it runs code that no file holds"};
            continue;
        }
        const std::string shown(path.empty() ? "an unnamed file" : path);
        const std::string reason = executable ? "it runs code from " + shown
                                              : "it maps " + shown + ", which is not root's alone";
        char name[64];
        std::snprintf(name, sizeof name, "map_files/%" PRIx64 "-%" PRIx64, start, end);
        const base::UniqueFd mapped = base::openAt(processFd, name, O_PATH);
        if (!mapped)
            return Finding{reason, errno == ENOENT || errno == ESRCH};
        const auto status = common::statDescriptor(mapped.get());
        if (!status)
            return Finding{reason};
        if (executable) {
            if (!rootsAlone(*status) || !status->isRegularFile())
                return Finding{reason};
            continue;
        }
        if (rootsAlone(*status) || holdingNoElf.contains(status->identity()))
            continue;
        switch (mappedObject(mapped.get(), *status)) {
        case MappedObject::elf:
            return Finding{reason};
        case MappedObject::unreadable:
            return Finding{"it maps " + shown + ", which can't be read"};
        case MappedObject::other:
            holdingNoElf.insert(status->identity());
            break;
        }
    }
    return std::nullopt;
}

// The names a loader variable's value lists: LD_PRELOAD splits on spaces and colons, the others
// on colons (LD_LIBRARY_PATH on semicolons too). Empty names are left out, except in
// LD_LIBRARY_PATH, where the loader reads one as the working folder.
std::vector<std::string_view> loaderNames(std::string_view variable, std::string_view value)
{
    const std::string_view separators = variable == "LD_PRELOAD"        ? " :"
                                        : variable == "LD_LIBRARY_PATH" ? ":;"
                                                                        : ":";
    const bool keepsEmpty = variable == "LD_LIBRARY_PATH";
    std::vector<std::string_view> names;
    if (value.empty())
        return names;
    for (;;) {
        const auto at = value.find_first_of(separators);
        const std::string_view name = value.substr(0, at);
        if (!name.empty() || keepsEmpty)
            names.push_back(name);
        if (at == std::string_view::npos)
            return names;
        value.remove_prefix(at + 1);
    }
}

// How a loader variable's name fares when it is followed as the loader followed it.
enum class LoaderPath
{
    rootsAlone,    // root's alone all the way
    notRootsAlone, // a folder, link or file on the way that isn't root's alone, or nothing there
    inOpenFolder,  // a link or the library lies in a folder others may add to, sticky or not
};

// The links the kernel follows in one path before it gives up (ELOOP).
constexpr int kMaxLinksFollowed = 40;

// A folder to pass through: root's, writable by no one else; a sticky one passes, since no one
// else may take away or replace a folder of root's in it.
bool isRootsFolder(const struct stat& status)
{
    return S_ISDIR(status.st_mode) && ToolRunner::isWritableOnlyByRoot(status, true);
}

// Whether others may put an entry into the folder, its sticky bit notwithstanding: a link or a
// file found there may have been put there by someone other than root (a hard link to root's
// own, made in place of what the loader read).
bool othersMayAddTo(const struct stat& folder)
{
    return !ToolRunner::isWritableOnlyByRoot(folder, false);
}

// Follows the absolute `name` from "/" one entry at a time, never trusting the kernel to follow a
// link: every folder passed through must be root's alone (isRootsFolder), every link met root's
// in a folder that no one else may add to, and the end a regular file of root's writable by no one
// else in such a folder (a library), or, with `wantsFolder`, a folder of root's that no one else
// may add to (a library folder). What the loader read then was what it reads now: no one but root
// could have changed any of it since. ".." goes to the folder's parent, as the loader's lookup
// does; a name that is missing now fails (a library may delete itself once loaded).
LoaderPath followedAsTheLoaderDid(std::string_view name, bool wantsFolder)
{
    base::UniqueFd folder;
    struct stat folderStatus
    {
    };
    const auto enterRoot = [&] {
        folder = base::UniqueFd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        return folder && ::fstat(folder.get(), &folderStatus) == 0 && isRootsFolder(folderStatus);
    };
    if (!enterRoot())
        return LoaderPath::notRootsAlone;
    std::string rest(name);
    int links = 0;
    for (;;) {
        const std::size_t begin = rest.find_first_not_of('/');
        if (begin == std::string::npos)
            break;
        const std::size_t end = rest.find('/', begin);
        const std::string component = rest.substr(begin, end - begin);
        rest.erase(0, end == std::string::npos ? rest.size() : end);
        if (component == ".")
            continue;
        base::UniqueFd entry(
            ::openat(folder.get(), component.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat status
        {
        };
        if (!entry || ::fstat(entry.get(), &status) != 0)
            return LoaderPath::notRootsAlone;
        if (S_ISLNK(status.st_mode)) {
            if (status.st_uid != 0)
                return LoaderPath::notRootsAlone;
            if (othersMayAddTo(folderStatus))
                return LoaderPath::inOpenFolder;
            char target[PATH_MAX];
            const ssize_t length = ::readlinkat(entry.get(), "", target, sizeof target);
            if (++links > kMaxLinksFollowed || length <= 0 ||
                static_cast<std::size_t>(length) >= sizeof target)
                return LoaderPath::notRootsAlone;
            const std::string_view followed(target, static_cast<std::size_t>(length));
            if (followed.starts_with('/') && !enterRoot())
                return LoaderPath::notRootsAlone;
            rest = std::string(followed) + "/" + rest;
            continue;
        }
        if (S_ISDIR(status.st_mode)) {
            if (!isRootsFolder(status))
                return LoaderPath::notRootsAlone;
            folder = std::move(entry);
            folderStatus = status;
            continue;
        }
        // Anything but a folder or a link ends the name: only a library may, and only last.
        if (wantsFolder || rest.find_first_not_of('/') != std::string::npos ||
            !S_ISREG(status.st_mode) || !ToolRunner::isWritableOnlyByRoot(status, false))
            return LoaderPath::notRootsAlone;
        return othersMayAddTo(folderStatus) ? LoaderPath::inOpenFolder : LoaderPath::rootsAlone;
    }
    // The name ends in a folder: a library folder that others may add to is no folder to load
    // from, sticky or not.
    if (!wantsFolder || othersMayAddTo(folderStatus))
        return LoaderPath::notRootsAlone;
    return LoaderPath::rootsAlone;
}

// How the loader variable's `name` fares: a library (LD_PRELOAD, LD_AUDIT) or a library folder
// (LD_LIBRARY_PATH) followed as followedAsTheLoaderDid says. A bare library name is searched in
// the library folders (root's, or checked as LD_LIBRARY_PATH); any other relative name depends on
// a working folder and fails.
LoaderPath loaderPath(std::string_view variable, std::string_view name)
{
    const bool folder = variable == "LD_LIBRARY_PATH";
    if (!folder && !name.empty() && name.find('/') == std::string_view::npos)
        return LoaderPath::rootsAlone;
    if (!name.starts_with('/'))
        return LoaderPath::notRootsAlone;
    return followedAsTheLoaderDid(name, folder);
}

// The loader variables of the process's environment block ("environ"): none may name a file that
// isn't root's alone, or one reached through anything its user may change.
std::optional<std::string> environmentRefusal(std::string_view environment)
{
    static constexpr std::string_view kVariables[] = {"LD_PRELOAD", "LD_AUDIT", "LD_LIBRARY_PATH"};
    while (!environment.empty()) {
        const auto end = environment.find('\0');
        const std::string_view entry = environment.substr(0, end);
        environment.remove_prefix(end == std::string_view::npos ? environment.size() : end + 1);
        for (const std::string_view variable : kVariables) {
            if (!entry.starts_with(variable) || entry.substr(variable.size(), 1) != "=")
                continue;
            for (const std::string_view name :
                 loaderNames(variable, entry.substr(variable.size() + 1))) {
                const LoaderPath path = loaderPath(variable, name);
                if (path == LoaderPath::rootsAlone)
                    continue;
                return "its " + std::string(variable) + " names " +
                       (name.empty() ? std::string("the working folder") : std::string(name)) +
                       (path == LoaderPath::inOpenFolder
                            ? ", which lies in a folder others may add to"
                            : ", which is not root's alone");
            }
        }
    }
    return std::nullopt;
}

// Whether the process still runs with its memory: its descriptor shows its id, it is no zombie,
// and it has an executable (an exiting process loses it with its memory).
bool stillRuns(int processFd, const PinnedProcess& process)
{
    if (pidOfProcessDescriptor(process.pidfd.get()) != process.pid)
        return false;
    const auto status = readProcFile(processFd, "status");
    if (!status || status->find("\nState:\tZ") != std::string::npos ||
        status->find("\nState:\tX") != std::string::npos)
        return false;
    return static_cast<bool>(base::openAt(processFd, "exe", O_PATH));
}

// One reading of the process folder `processFd` against `client`.
std::optional<Finding> inspect(int processFd, const PinnedProcess& process,
                               const InstalledClient& client)
{
    if (process.startedBy) {
        const auto stat = readProcFile(processFd, "stat");
        const auto started = stat ? startTime(*stat) : std::nullopt;
        if (!started || *started > *process.startedBy)
            return Finding{"it started after its bytes were sent"};
    }
    if (!sameNamespace(processFd, "ns/pid") || !sameNamespace(processFd, "ns/user"))
        return Finding{"it runs in another namespace"};
    // A process that has ended but not been waited for keeps its id and loses its executable.
    const auto processStatus = readProcFile(processFd, "status");
    if (!processStatus || processStatus->find("\nState:\tZ") != std::string::npos)
        return Finding{"it has gone"};
    const base::UniqueFd executable = base::openAt(processFd, "exe", O_PATH);
    if (!executable && errno == ENOENT)
        return Finding{"it has gone"}; // only an exiting process has no executable
    const auto status =
        executable ? common::statDescriptor(executable.get()) : Result<common::HelperStat>(Error{});
    if (!status || !(status->identity() == client.executable))
        return Finding{"it is not the app's executable"};
    if (tracerPid(*processStatus) != 0)
        return Finding{"it is being traced"};
    const auto environment = readProcFile(processFd, "environ");
    if (!environment)
        return Finding{"its environment can't be read"};
    if (auto refused = environmentRefusal(*environment))
        return Finding{std::move(*refused)};
    const auto maps = readProcFile(processFd, "maps");
    if (!maps)
        return Finding{"its memory map can't be read"};
    (void)faultPoint("client.maps");
    return mappingRefusal(processFd, *maps);
}

} // namespace

std::optional<InstalledClient> readInstalledClient(const std::vector<platform::MacPath>& bundles,
                                                   const std::string& daemonBuild,
                                                   std::string& reason)
{
    if (bundles.size() != 1) {
        reason = "the daemon is not inside an app bundle";
        return std::nullopt;
    }
    const auto bundle = common::openPathBeneath(bundles.front().path());
    if (!bundle) {
        reason = "the app bundle can't be opened (errno " +
                 std::to_string(bundle.error().systemErrno) + ")";
        return std::nullopt;
    }
    const base::UniqueFd info = openBeneath(bundle->fd(), "Contents/Info.plist", O_RDONLY);
    const auto infoStatus =
        info ? common::statDescriptor(info.get()) : Result<common::HelperStat>(Error{});
    if (!infoStatus || !infoStatus->isRegularFile() || !isRootsAlone(*infoStatus)) {
        reason = "the app's Info.plist is missing or not root's alone";
        return std::nullopt;
    }
    const auto bytes = base::readAll(info.get(), kMaxInfoPlistBytes);
    const auto plist = bytes ? platform::parsePropertyList(*bytes) : std::nullopt;
    const auto identifier = plist ? plist->stringFor("CFBundleIdentifier") : std::nullopt;
    const auto executable = plist ? plist->stringFor("CFBundleExecutable") : std::nullopt;
    auto build = plist ? plist->stringFor("CFBundleVersion") : std::nullopt;
    if (!identifier || *identifier != kAppIdentifier || !executable) {
        reason = "the app's Info.plist doesn't name the app's executable";
        return std::nullopt;
    }
    if (!build || !base::isValidBuildNumber(*build) || !base::isValidBuildNumber(daemonBuild) ||
        base::compareBuilds(*build, daemonBuild) < 0) {
        reason =
            "the app's build " + build.value_or("(none)") + " is older than build " + daemonBuild;
        return std::nullopt;
    }
    if (executable->empty() || *executable == "." || *executable == ".." ||
        executable->find('/') != std::string::npos || executable->find('\0') != std::string::npos) {
        reason = "the app's executable name is not a file name";
        return std::nullopt;
    }
    const std::string relative = "Contents/MacOS/" + *executable;
    const base::UniqueFd program = openBeneath(bundle->fd(), relative.c_str(), O_PATH);
    const auto status =
        program ? common::statDescriptor(program.get()) : Result<common::HelperStat>(Error{});
    if (!status || !status->isRegularFile() || !isRootsAlone(*status)) {
        reason = "the app's executable is missing or not root's alone";
        return std::nullopt;
    }
    return InstalledClient{status->identity(), std::move(*build)};
}

std::optional<std::string> processRefusal(const PinnedProcess& process,
                                          const InstalledClient& client)
{
    if (process.pid <= 0 || !process.pidfd)
        return "it has gone";
    const std::string folder = "/proc/" + std::to_string(process.pid);
    const base::UniqueFd processFd =
        base::openAt(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    // Still running now, so the folder opened before is this process's.
    if (!processFd || pidOfProcessDescriptor(process.pidfd.get()) != process.pid)
        return "it has gone";
    for (int reading = 0; reading < kMapReadings; ++reading) {
        auto finding = inspect(processFd.get(), process, client);
        if (!finding) {
            // Still the same process after everything was read.
            if (pidOfProcessDescriptor(process.pidfd.get()) != process.pid)
                return "it has gone";
            return std::nullopt;
        }
        // A process that ended while it was read fails every reading: it is gone, whatever the
        // reading found missing.
        if (!stillRuns(processFd.get(), process))
            return "it has gone";
        if (!finding->mapChanging)
            return std::move(finding->reason);
    }
    return "its memory map kept changing while it was read";
}

std::optional<std::string> installedClientRefusal(const PinnedProcess& process)
{
    std::string reason;
    const auto client =
        readInstalledClient(HelperService::helperProtectedBundles(), daemonBuild(), reason);
    if (!client)
        return reason;
    return processRefusal(process, *client);
}

} // namespace veldo::helper
