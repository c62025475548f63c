#include "helper/BuildFloor.h"

#include <array>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/BuildNumber.h"
#include "base/UniqueFd.h"
#include "common/HelperACL.h"
#include "common/HelperFileAccess.h"
#include "platform/MacPath.h"
#include "platform/UUID.h"
#include "platform/Unicode.h"

namespace veldo::helper {

namespace {

constexpr const char* kFileName = "highest-build";
constexpr std::string_view kTemporaryPrefix = ".highest-build.";

} // namespace

std::optional<common::SharedDescriptor> openStateDirectory(const std::string& path)
{
    const platform::MacPath macPath(path);
    const auto parent = common::openPathBeneath(macPath.deletingLastPathComponent().path());
    if (!parent)
        return std::nullopt;
    if (::mkdirat(parent->fd(), macPath.lastPathComponent().c_str(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    auto directory = common::openPathBeneath(path, {.readable = true});
    if (!directory)
        return std::nullopt;
    const auto status = common::statDescriptor(*directory);
    if (!status || !status->isDirectory() || status->uid != ::geteuid() ||
        (status->mode & 07777) != 0700 || common::extendedACLState(directory->fd()) != false)
        return std::nullopt;
    return *directory;
}

HighestBuild readHighestBuild(const common::SharedDescriptor& directory)
{
    const base::UniqueFd file(
        ::openat(directory.fd(), kFileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file)
        return {errno == ENOENT ? HighestBuild::Kind::none : HighestBuild::Kind::unknown, {}};
    struct stat status
    {
    };
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != ::geteuid() || status.st_nlink != 1 || status.st_size < 1 ||
        status.st_size > 64)
        return {};
    std::array<char, 65> buffer{};
    const ssize_t count = ::read(file.get(), buffer.data(), buffer.size());
    if (count < 1 || count > 64)
        return {};
    const std::string_view text = platform::trimmedWhiteSpace(
        std::string_view(buffer.data(), static_cast<std::size_t>(count)));
    if (!base::isValidBuildNumber(text))
        return {};
    return {HighestBuild::Kind::recorded, std::string(text)};
}

bool writeHighestBuild(const std::string& build, const common::SharedDescriptor& directory)
{
    const auto uuid = platform::UUID::random();
    if (!uuid)
        return false;
    const std::string temporary = std::string(kTemporaryPrefix) + uuid->string();
    base::UniqueFd file(::openat(directory.fd(), temporary.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file)
        return false;
    const std::string bytes = build + "\n";
    const ssize_t written = ::write(file.get(), bytes.data(), bytes.size());
    const bool synced = ::fsync(file.get()) == 0;
    file.reset();
    if (written == static_cast<ssize_t>(bytes.size()) && synced &&
        ::renameat(directory.fd(), temporary.c_str(), directory.fd(), kFileName) == 0) {
        (void)::fsync(directory.fd());
        return true;
    }
    ::unlinkat(directory.fd(), temporary.c_str(), 0);
    return false;
}

bool isHighestBuildTemporary(std::string_view name)
{
    if (!name.starts_with(kTemporaryPrefix))
        return false;
    const std::string_view text = name.substr(kTemporaryPrefix.size());
    const auto uuid = platform::UUID::parse(text);
    return uuid && uuid->string() == text;
}

BuildFloorResult checkBuildFloor(const std::string& build, const std::string& stateDirectory)
{
    using Kind = BuildFloorResult::Kind;
    if (!base::isValidBuildNumber(build))
        return {};
    const auto directory = openStateDirectory(stateDirectory);
    if (!directory)
        return {};
    const HighestBuild highest = readHighestBuild(*directory);
    if (highest.kind == HighestBuild::Kind::unknown)
        return {};
    if (highest.kind == HighestBuild::Kind::recorded) {
        const int order = base::compareBuilds(build, highest.build);
        if (order < 0)
            return {Kind::older, highest.build};
        if (order == 0)
            return {Kind::ok, {}};
    }
    return writeHighestBuild(build, *directory) ? BuildFloorResult{Kind::ok, {}}
                                                : BuildFloorResult{};
}

} // namespace veldo::helper
