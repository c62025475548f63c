// Socket addresses of entries in an open folder.
#include "common/HelperEndpoint.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <sys/socket.h>

#include "common/HelperSystemCalls.h"
#include "platform/HostFiles.h"

namespace veldo::common {

Result<sockaddr_un> socketAddressIn(int folderFd, std::string_view name)
{
    const std::string entry(name);
    if (folderFd < 0 || !detail::isSingleComponent(entry))
        return Error::fromErrno(EINVAL);
    const std::string path = platform::descriptorName(folderFd).string() + "/" + entry;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return Error::fromErrno(ENAMETOOLONG);
    std::memcpy(address.sun_path, path.data(), path.size());
    return address;
}

} // namespace veldo::common
