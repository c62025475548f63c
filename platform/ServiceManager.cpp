// The Linux service manager: a registration record per daemon.
#include "platform/ServiceManager.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/SystemCalls.h"
#include "platform/AtomicFile.h"
#include "platform/MacFileSystem.h"
#include "platform/MainBundle.h"
#include "platform/ServiceRegistrationRecord.h"
#include "platform/UrlOpener.h"

namespace veldo::platform {

namespace {

// A record is a few hundred bytes; anything much larger is not one.
constexpr std::size_t kMaxRecordBytes = 64 * 1024;

SystemError systemErrorOf(const Error& error)
{
    return SystemError::posix(error.systemErrno != 0 ? error.systemErrno : EIO);
}

class RecordServiceManager final : public ServiceManager
{
public:
    explicit RecordServiceManager(std::string plistName) : m_plistName(std::move(plistName)) {}

    ServiceStatusValue status() override
    {
        if (!isRegularFile(launchdPlist()))
            return kServiceNotFound;
        auto fd = openInRoot(recordPath(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK, FollowLinks::no);
        if (!fd)
            return fd.error().systemErrno == ENOENT ? kServiceNotRegistered : kServiceNotFound;
        struct stat st
        {
        };
        if (::fstat(fd->get(), &st) != 0 || !S_ISREG(st.st_mode))
            return kServiceNotFound;
        auto bytes = base::readAll(fd->get(), kMaxRecordBytes);
        if (!bytes)
            return kServiceNotFound;
        const auto record = ServiceRegistrationRecord::decodePropertyList(*bytes);
        if (!record)
            return kServiceNotFound;
        const bool trusted = st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
        return trusted && record->approved ? kServiceEnabled : kServiceRequiresApproval;
    }

    FileResult<void> registerService() override
    {
        if (!isRegularFile(launchdPlist()))
            return SystemError::posix(ENOENT);
        ServiceRegistrationRecord record{label(), mainBundleURL().path(), m_plistName,
                                         ::geteuid() == 0};
        auto bytes = record.encodePropertyList();
        if (!bytes)
            return systemErrorOf(bytes.error());
        if (auto written = writeFileAtomically(recordPath(), *bytes, {.mode = 0644}); !written)
            return systemErrorOf(written.error());
        return {};
    }

    FileResult<void> unregisterService() override
    {
        auto folder = openInRoot(MacPath(std::string(kServiceRegistrationFolder)),
                                 O_PATH | O_DIRECTORY, FollowLinks::yes);
        if (!folder)
            return systemErrorOf(folder.error());
        if (::unlinkat(folder->get(), m_plistName.c_str(), 0) != 0)
            return SystemError::posix(errno);
        return {};
    }

    void openSystemSettingsLoginItems() override { openUrl(kLoginItemsSettingsURL); }

private:
    MacPath launchdPlist() const
    {
        return mainBundleURL()
            .appendingPathComponent("Contents/Library/LaunchDaemons")
            .appendingPathComponent(m_plistName);
    }
    MacPath recordPath() const { return ServiceRegistrationRecord::pathFor(m_plistName); }
    std::string label() const
    {
        constexpr std::string_view kSuffix = ".plist";
        std::string_view name = m_plistName;
        if (name.size() > kSuffix.size() && name.ends_with(kSuffix))
            name.remove_suffix(kSuffix.size());
        return std::string(name);
    }

    const std::string m_plistName;
};

} // namespace

std::shared_ptr<ServiceManager> daemonService(std::string plistName)
{
    return std::make_shared<RecordServiceManager>(std::move(plistName));
}

} // namespace veldo::platform
