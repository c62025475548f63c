// System Settings panes and the Full Disk Access probe.
#include "app/core/SystemSettings.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/MacFileSystem.h"
#include "platform/UrlOpener.h"

namespace veldo::core::SystemSettings {

namespace {

using platform::MacPath;

bool isSchemeCharacter(char c, bool first)
{
    const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (first)
        return alpha;
    return alpha || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Unreserved and reserved characters of RFC 3986, plus percent escapes.
bool isURLCharacter(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("-._~:/?#[]@!$&'()*+,;=").find(c) != std::string_view::npos;
}

enum class Probe
{
    missing,
    readable,
    unreadable
};

Probe probe(const MacPath& path)
{
    auto status = platform::fileStatus(path, platform::FollowLinks::yes);
    if (!status)
        return Probe::missing;
    if (status->type == platform::FileType::directory)
        return platform::listDirectory(path) ? Probe::readable : Probe::unreadable;
    // O_NONBLOCK: a FIFO planted at the path must not hold the probe up.
    return platform::openInRoot(path, O_RDONLY | O_NOCTTY | O_NONBLOCK, platform::FollowLinks::yes)
               ? Probe::readable
               : Probe::unreadable;
}

} // namespace

bool isOpenableURL(std::string_view url)
{
    const auto colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return false;
    for (std::size_t i = 0; i < colon; ++i) {
        if (!isSchemeCharacter(url[i], i == 0))
            return false;
    }
    for (std::size_t i = colon + 1; i < url.size(); ++i) {
        const char c = url[i];
        if (c == '%') {
            if (i + 2 >= url.size() || !isHex(url[i + 1]) || !isHex(url[i + 2]))
                return false;
            i += 2;
        } else if (!isURLCharacter(c)) {
            return false;
        }
    }
    return true;
}

void open(std::string_view url)
{
    if (isOpenableURL(url))
        platform::openUrl(url);
}

FullDiskAccessStatus fullDiskAccessStatus(const MacPath& home)
{
    const Probe tcc = probe(MacPath("/Library/Application Support/com.apple.TCC/TCC.db"));
    if (tcc == Probe::readable)
        return FullDiskAccessStatus::granted;
    const Probe safari = probe(home.appendingPathComponent("Library/Safari"));
    if (safari == Probe::missing)
        return tcc == Probe::missing ? FullDiskAccessStatus::unknown : FullDiskAccessStatus::denied;
    return safari == Probe::readable ? FullDiskAccessStatus::granted : FullDiskAccessStatus::denied;
}

} // namespace veldo::core::SystemSettings
