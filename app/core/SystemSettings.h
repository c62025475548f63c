// SystemSettings: opening System Settings panes, and the Full Disk Access probe.
#pragma once

#include <array>
#include <string_view>
#include <utility>

#include "base/RawValue.h"
#include "platform/MacPath.h"

namespace veldo::core {

namespace SystemSettings {

enum class FullDiskAccessStatus
{
    granted,
    denied,
    unknown
};

// The App Management privacy list.
inline constexpr std::string_view kAppManagementURL =
    "x-apple.systempreferences:com.apple.preference.security?Privacy_AppBundles";
// The Full Disk Access privacy list.
inline constexpr std::string_view kFullDiskAccessURL =
    "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";

// Asks the system to open the URL when the text is a URL (a scheme, a colon, and only
// characters a URL may hold: no white space or controls); anything else does nothing. Reports
// nothing back.
void open(std::string_view url);

// Whether the text would be opened by open().
bool isOpenableURL(std::string_view url);

// Whether the app can read what the privacy controls guard, found without asking the system:
// probes "/Library/Application Support/com.apple.TCC/TCC.db" and the home folder's
// "Library/Safari". Blocks on the file system briefly; never fails (errors fold into the
// answer). A folder is readable when it can be listed, a file when it can be opened for
// reading; nothing is read.
FullDiskAccessStatus fullDiskAccessStatus(const platform::MacPath& home);

} // namespace SystemSettings

} // namespace veldo::core

template <>
struct veldo::base::EnumTraits<veldo::core::SystemSettings::FullDiskAccessStatus>
{
    using Status = veldo::core::SystemSettings::FullDiskAccessStatus;

    static constexpr std::array<std::pair<Status, std::string_view>, 3> kCases{{
        {Status::granted, "granted"},
        {Status::denied, "denied"},
        {Status::unknown, "unknown"},
    }};
};
