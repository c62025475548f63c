#include "helper/Approval.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/HelperEndpoint.h"
#include "common/HelperFileAccess.h"
#include "helper/HelperService.h"
#include "platform/AtomicFile.h"
#include "platform/ServiceRegistrationRecord.h"
#include "platform/SystemError.h"

namespace veldo::helper {

namespace {

int fail(const std::string& line)
{
    const std::string text = line + "\n";
    (void)::write(STDERR_FILENO, text.data(), text.size());
    return 1;
}

} // namespace

int approveHelper()
{
    if (::getuid() != 0 || ::geteuid() != 0) {
        (void)fail("Only root can approve Veldo's helper.");
        return 77;
    }
    const auto bundles = HelperService::helperProtectedBundles();
    if (bundles.empty())
        return fail("Veldo's helper isn't inside the Veldo app, so there is nothing to approve.");

    const std::string plistName(common::kHelperPlistName);
    const platform::MacPath recordPath = platform::ServiceRegistrationRecord::pathFor(plistName);
    const platform::MacPath folderPath = recordPath.deletingLastPathComponent();
    const auto parent = common::openPathBeneath(folderPath.deletingLastPathComponent().path());
    if (!parent)
        return fail(
            "The registration folder couldn't be opened: " +
            platform::SystemError::posix(parent.error().systemErrno).localizedDescription());
    if (::mkdirat(parent->fd(), folderPath.lastPathComponent().c_str(), 0755) != 0 &&
        errno != EEXIST)
        return fail("The registration folder couldn't be made: " +
                    platform::SystemError::posix(errno).localizedDescription());
    const auto folder = common::openPathBeneath(folderPath.path(), {.readable = true});
    if (!folder)
        return fail(
            "The registration folder couldn't be opened: " +
            platform::SystemError::posix(folder.error().systemErrno).localizedDescription());

    std::string label = plistName.substr(0, plistName.size() - std::strlen(".plist"));
    const platform::ServiceRegistrationRecord record{std::move(label), bundles.front().path(),
                                                     plistName, true};
    const auto bytes = record.encodePropertyList();
    if (!bytes)
        return fail("The registration record couldn't be encoded.");
    if (const auto written = platform::writeFileAtomicallyAt(folder->fd(), plistName, *bytes, 0644);
        !written)
        return fail(
            "The registration record couldn't be written: " +
            platform::SystemError::posix(written.error().systemErrno).localizedDescription());
    return 0;
}

} // namespace veldo::helper
