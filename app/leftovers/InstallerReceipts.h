// Installer receipts: the files and folders that an app's installer packages put on the Mac,
// reduced to a short list of removable items.
//
// An installer leaves, per package, a receipt property list ("<identifier>.plist") and beside
// it a bill-of-materials file ("<identifier>.bom") listing every installed path. The receipts of
// the app's own package (and its sub-packages), and those of a parent package whose bill of
// materials lists the app itself, are merged; their paths are reduced to items: a folder when
// the packages wholly own it, otherwise the single files inside. Never an item: a shared system
// folder, anything of Apple's, the app bundle or any other application bundle (nor a folder that
// holds one), anything outside the shared install folders, and the receipt files themselves.
//
// A folder is wholly owned when it holds no application bundle, can be listed, every entry it
// lists (hidden ones aside) is recorded by the receipts, and every entry that is itself a folder
// (symbolic links are not followed) is wholly owned in the same way. The test gives "not owned"
// for folders more than 8 levels below the item it starts from and once it would need more than
// 1,024 folder listings, the folder itself included.
//
// Bounds: at most 256 items, collected in visiting order (items ascending, each folder's
// recorded children ascending); the walk goes at most 8 levels below an item.
//
// Blocks on the file system; runs on the caller's thread and keeps nothing between calls.
// Nothing fails: an unlistable receipt folder, a damaged receipt or bill of materials, and a
// path that can't be examined only shrink the result. A stop requested through the token is
// noticed between receipts, between the paths of a bill of materials, before each item is
// visited and before each folder listing of the wholly-owned test; the call then ends early with
// what it has, which is no answer: a caller that stops must discard it.
#pragma once

#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/core/LeftoverCategory.h"
#include "app/leftovers/ReceiptInstalledItem.h"
#include "platform/MacPath.h"

namespace veldo::leftovers {

// Most items one call returns.
inline constexpr std::size_t kMaxReceiptItems = 256;
// Deepest level below an item that the walk visits.
inline constexpr int kMaxReceiptDepth = 8;
// Most folder listings one wholly-owned test may make.
inline constexpr int kMaxOwnershipListings = 1'024;

// "/var/db/receipts", then "/Library/Receipts".
const std::vector<platform::MacPath>& receiptFolders();

// The items that the receipts in `folders` name for the app with `bundleIdentifier` installed
// at `appPath` (standardised), for the user whose home folder is `homePath`. An item below the
// home folder (or the home folder itself) needs no administrator rights; any other does.
std::vector<ReceiptInstalledItem> receiptItemsForApp(std::string_view bundleIdentifier,
                                                     std::string_view appPath,
                                                     const std::vector<platform::MacPath>& folders,
                                                     std::string_view homePath,
                                                     std::stop_token stop = {});

// The reduction step on its own: the items for a set of installed absolute paths.
std::vector<ReceiptInstalledItem>
collectReceiptItems(const std::unordered_set<std::string>& installedPaths, std::string_view appPath,
                    std::string_view homePath, std::stop_token stop = {});

// The category of an item by the folders in its path: "/LaunchDaemons/" or "/LaunchAgents/"
// give launchAgents, then "/Caches/" caches, "/Logs/" logs, "/Preferences/" preferences;
// anything else is supportFiles.
core::LeftoverCategory receiptCategory(std::string_view path);

} // namespace veldo::leftovers
