// The bundles the orphan scan counts as installed software besides the app list: hidden apps in
// the application folders, apps below the Application Support folders, and the plug-ins, panes,
// drivers and the like in the Library bundle folders; and what each bundle says of itself (its
// identifier, its signing team and application groups).
//
// Every call blocks on the file system and runs on the caller's thread. Nothing fails: a folder
// that can't be listed and a file that can't be read contribute nothing. The walks look at `stop`
// at the start of every folder level and then return what they gathered. Paths are Mac paths.
#pragma once

#include <array>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/MacPath.h"

namespace veldo::scanners::OrphanScanner {

// A folder whose lower-cased name contains one of these is data, not software: never entered.
extern const std::array<std::string_view, 13> appDataWords;

// The folders below a Library folder that hold bundles, searched two levels deep.
extern const std::array<std::string_view, 13> libraryBundleFolders;

// The entries of "/Applications" and then of the home folder's "Applications" whose name begins
// with "." and ends with ".app" (letter case ignored), not checked further; then the app bundles
// below "/Library/Application Support" and the home folder's "Library/Application Support".
std::vector<platform::MacPath> appBundles(const platform::MacPath& home,
                                          const std::stop_token& stop = {});

// Appends the app bundles in `folder` (at `depth`, its children at depth `depth`) and below it:
// hidden names skipped; names holding a data word entered only when they are apps; at depth 3
// only folders whose name starts with a number character or holds no "." are entered, and from
// depth 4 on only apps are taken. An app bundle is taken and never entered.
void collectAppBundles(const platform::MacPath& folder, int depth,
                       std::vector<platform::MacPath>& into, const std::stop_token& stop = {});

// The bundles in each Library folder given, in order: two levels below each child of
// "Audio/Plug-Ins" and below each of libraryBundleFolders, and seven levels below "Printers".
std::vector<platform::MacPath> libraryBundles(const std::vector<platform::MacPath>& libraries,
                                              const std::stop_token& stop = {});

// Appends every folder below `folder` that holds "Contents/Info.plist" (such a bundle is never
// entered), searching `depth` levels below the children; hidden names, "PPDs" (any case) and
// names holding a data word are skipped.
void collectBundles(const platform::MacPath& folder, int depth,
                    std::vector<platform::MacPath>& into, const std::stop_token& stop = {});

// The non-empty "CFBundleIdentifier" string of "Contents/Info.plist", else of
// "WrappedBundle/Info.plist"; none when neither has one.
std::optional<std::string> bundleIdentifier(const platform::MacPath& bundle);

// What a bundle's code signature says: its team, and the application groups its entitlements
// claim ("com.apple.security.application-groups" when that is a list of strings only).
struct BundleSigning
{
    std::optional<std::string> teamID;
    std::unordered_set<std::string> appGroups;

    friend bool operator==(const BundleSigning&, const BundleSigning&) = default;
};

// The signing of `bundle`; no team and no groups when it is unsigned or can't be read.
BundleSigning signingInfo(const platform::MacPath& bundle);

} // namespace veldo::scanners::OrphanScanner
