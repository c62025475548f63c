// Running applications read from /proc; quitting through SIGTERM on a process descriptor.
#include "platform/RunningApplications.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <map>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "base/UniqueFd.h"
#include "platform/MacRoot.h"
#include "platform/Package.h"
#include "platform/ProcessList.h"
#include "platform/PropertyList.h"

namespace veldo::platform {

namespace {

constexpr std::size_t kMaxInfoBytes = std::size_t{4} << 20;

// The whole of a small /proc file; none when it can't be read.
std::optional<std::string> readSmallFile(int dirFd, const char* name)
{
    UniqueFd fd = base::openAt(dirFd, name, O_RDONLY);
    if (!fd)
        return std::nullopt;
    std::string data;
    char buf[4096];
    while (data.size() < 65536) {
        const ssize_t n = base::retryOnInterrupt([&] { return ::read(fd.get(), buf, sizeof buf); });
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    return data;
}

template <typename T>
std::optional<T> parseNumber(std::string_view text)
{
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end == text.data())
        return std::nullopt;
    return value;
}

// The real user id from the "Uid:" line of /proc/PID/status.
std::optional<uid_t> realUid(int procFd)
{
    auto status = readSmallFile(procFd, "status");
    if (!status)
        return std::nullopt;
    std::string_view s = *status;
    const auto at = s.find("\nUid:");
    if (at == std::string_view::npos)
        return std::nullopt;
    s.remove_prefix(at + 5);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    return parseNumber<uid_t>(s);
}

// Field 22 of /proc/PID/stat (start time in clock ticks since boot). The command name in field
// 2 may hold spaces and parentheses, so counting starts after its last ')'.
std::optional<std::uint64_t> startTimeAt(int procFd)
{
    auto stat = readSmallFile(procFd, "stat");
    if (!stat)
        return std::nullopt;
    std::string_view s = *stat;
    const auto close = s.rfind(')');
    if (close == std::string_view::npos)
        return std::nullopt;
    s.remove_prefix(close + 1);
    // After ')' come fields 3, 4, …: skip 19 of them to reach field 22.
    for (int field = 3; field < 22; ++field) {
        while (!s.empty() && s.front() == ' ')
            s.remove_prefix(1);
        const auto space = s.find(' ');
        if (space == std::string_view::npos)
            return std::nullopt;
        s.remove_prefix(space);
    }
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    return parseNumber<std::uint64_t>(s);
}

// The ".app" folder whose Contents/MacOS directly holds `executable`.
std::optional<MacPath> bundleOfExecutable(const MacPath& executable)
{
    const MacPath macos = executable.deletingLastPathComponent();
    const MacPath contents = macos.deletingLastPathComponent();
    const MacPath bundle = contents.deletingLastPathComponent();
    if (macos.lastPathComponent() != "MacOS" || contents.lastPathComponent() != "Contents" ||
        !isAppBundleName(bundle.lastPathComponent(), ExtensionCase::exact))
        return std::nullopt;
    return bundle;
}

struct BundleNames
{
    std::optional<std::string> identifier;
    std::optional<std::string> name;
};

BundleNames readBundleNames(const MacPath& bundle)
{
    BundleNames names;
    auto info =
        readPropertyListFile(bundle.appendingPathComponent("Contents/Info.plist"), kMaxInfoBytes);
    if (!info)
        return names;
    auto nonEmpty = [&](std::string_view key) -> std::optional<std::string> {
        auto v = info->stringFor(key);
        return v && !v->empty() ? v : std::nullopt;
    };
    names.identifier = nonEmpty("CFBundleIdentifier");
    names.name = nonEmpty("CFBundleDisplayName");
    if (!names.name)
        names.name = nonEmpty("CFBundleName");
    return names;
}

// Through syscall(): glibc 2.36's <sys/pidfd.h> lacks C linkage for C++.
int openProcessDescriptor(pid_t pid)
{
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

bool sendSignal(int pidFd, int signal)
{
    return ::syscall(SYS_pidfd_send_signal, pidFd, signal, nullptr, 0) == 0;
}

} // namespace

std::vector<RunningApplication> ProcRunningApplications::runningApplications() const
{
    std::vector<RunningApplication> result;
    UniqueFd procFd = base::openAt(AT_FDCWD, "/proc", O_RDONLY | O_DIRECTORY);
    if (!procFd)
        return result;
    const uid_t me = ::getuid();
    const ProcessList::RootMapping mapping;
    std::map<MacPath, BundleNames> bundles;

    for (pid_t pid : ProcessList::processIds(procFd.get())) {
        const std::string pidName = std::to_string(pid);
        UniqueFd fd = base::openAt(procFd.get(), pidName.c_str(), O_RDONLY | O_DIRECTORY);
        if (!fd)
            continue; // gone since the listing
        if (realUid(fd.get()) != me)
            continue;
        auto host = ProcessList::executableHostPath(fd.get());
        if (!host)
            continue; // kernel threads, zombies
        auto executable = mapping.macPath(*host);
        if (!executable)
            continue;

        RunningApplication app;
        app.processIdentifier = pid;
        app.startTime = startTimeAt(fd.get()).value_or(0);
        app.executableURL = *executable;
        if (auto bundle = bundleOfExecutable(*executable)) {
            auto it = bundles.find(*bundle);
            if (it == bundles.end())
                it = bundles.emplace(*bundle, readBundleNames(*bundle)).first;
            app.bundleURL = *bundle;
            app.bundleIdentifier = it->second.identifier;
            app.localizedName = it->second.name;
        }
        result.push_back(std::move(app));
    }
    return result;
}

bool ProcRunningApplications::terminate(const RunningApplication& application) const
{
    // Without a start time the process id can't be tied to the process that was listed.
    if (application.processIdentifier <= 0 || application.startTime == 0)
        return false;
    UniqueFd pidFd(openProcessDescriptor(application.processIdentifier));
    if (!pidFd)
        return false;
    // The descriptor now holds whichever process has the id; make sure it is the one listed.
    UniqueFd procFd =
        base::openAt(AT_FDCWD, ("/proc/" + std::to_string(application.processIdentifier)).c_str(),
                     O_RDONLY | O_DIRECTORY);
    if (!procFd || startTimeAt(procFd.get()) != application.startTime)
        return false;
    return sendSignal(pidFd.get(), SIGTERM);
}

const ProcRunningApplications& ProcRunningApplications::shared()
{
    static const ProcRunningApplications source;
    return source;
}

} // namespace veldo::platform
