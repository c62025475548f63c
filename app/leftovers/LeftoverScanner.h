// LeftoverScanner: finds the files and folders that belong to one installed app, sizes them once
// and rates each with a category and a confidence.
//
// A scan proposes candidates from the app bundle, the user Library, the system Library, the
// per-user cache and temporary folders and the installer receipts. One add rule turns each
// candidate into an item: it must exist, must not be a protected location, must pass the
// removal-safety policy, is measured when first found, and later proposals of the same path
// (letter case and a trailing "/" ignored) can only raise its confidence. Other installed
// copies of the app lower every confidence to low; nested items are dropped; the result is
// ordered by category, confidence and size.
//
// Everything here blocks on the file system and runs on the caller's thread; a scan keeps no
// state between calls (but the folder readings a batch shares), so scans of different apps may
// run at once. Nothing fails but a stopped
// scan: folders, property lists and files that can't be read contribute nothing.
#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/core/AccessRootKind.h"
#include "app/core/InstalledApp.h"
#include "app/core/LeftoverItem.h"
#include "app/leftovers/FolderListingCache.h"
#include "app/leftovers/ReceiptInstalledItem.h"
#include "base/Result.h"
#include "platform/ApplicationRegistry.h"
#include "platform/MacPath.h"

namespace veldo::leftovers::LeftoverScanner {

// What installer receipts name for an app; the token is the scan's, and a source that notices a
// stop may answer early with anything (the scan then fails with cancelled).
using ReceiptSource =
    std::function<std::vector<ReceiptInstalledItem>(const core::InstalledApp&, std::stop_token)>;

// The nested-bundle folders inside an app bundle whose bundles' identifiers belong to the app.
inline constexpr const char* kNestedBundleFolders[] = {
    "Contents/PlugIns",
    "Contents/Extensions",
    "Contents/XPCServices",
    "Contents/Helpers",
    "Contents/Library/LoginItems",
    "Contents/Library/SystemExtensions",
    "Contents/Library/QuickLook",
};

// The leftovers of `app`, the app bundle first when it exists, in final order. `roots` holds at
// most one root per kind: the user Library is scanned when a userLibrary root is given, the
// system Library when a systemLibrary root is; all roots and the app are never offered
// themselves nor any folder holding them. `perUserFolders` are the folders whose child named
// after the bundle identifier is a cache (darwinUserDirectories()); `receipts` answers the
// paths that installer receipts name for the app (taken at medium confidence); `registry`
// answers the other registered copies of the app. A stop requested through `stop` is noticed
// before each candidate is measured, between the folders of a measurement and inside the receipt
// source (which is given the token), and fails the scan with cancelled.
Result<std::vector<core::LeftoverItem>>
scan(const core::InstalledApp& app, const std::vector<core::ScopedAccessRoot>& roots,
     const std::vector<platform::MacPath>& perUserFolders, const ReceiptSource& receipts,
     const platform::ApplicationRegistry& registry, std::stop_token stop = {});

// The same scan with its folders read through `listings`, which the scans of one batch share so
// that each Library folder is listed and its names folded once for all of them (see
// FolderListingCache.h for how current its readings are). Safe to call from several threads
// with one cache.
Result<std::vector<core::LeftoverItem>>
scan(const core::InstalledApp& app, const std::vector<core::ScopedAccessRoot>& roots,
     const std::vector<platform::MacPath>& perUserFolders, const ReceiptSource& receipts,
     const platform::ApplicationRegistry& registry, FolderListingCache& listings,
     std::stop_token stop = {});

// What the installer receipts in receiptFolders() name for `app`, for the current user's home
// folder (see InstallerReceipts.h); empty when the app has no bundle identifier. The receipt
// source that the application passes to scan(). A stop ends it early (see InstallerReceipts.h).
std::vector<ReceiptInstalledItem> receiptLeftovers(const core::InstalledApp& app,
                                                   std::stop_token stop = {});

// The per-user cache folder and then the per-user temporary folder, each left out when the
// platform has none (see platform/UserDirectories.h).
std::vector<platform::MacPath> darwinUserDirectories();

// The bundle identifiers (letter case unchanged) of the bundles directly inside the app's
// nested-bundle folders, read from their Contents/Info.plist. The app's own is not included.
std::unordered_set<std::string> embeddedBundleIDs(const platform::MacPath& app);

// Whether the scan may offer `candidate`: the app bundle itself always; anything else only when
// it is no protected location (given the roots followed by the app, and `home`) and the
// removal-safety policy does not refuse it (with Veldo's own bundle protected).
bool isOfferable(const platform::MacPath& candidate, const platform::MacPath& app,
                 const std::vector<core::ScopedAccessRoot>& roots, const platform::MacPath& home);

// The registry's bundles for the app's bundle identifier, in its order; empty without one.
std::vector<platform::MacPath> registeredCopies(const core::InstalledApp& app,
                                                const platform::ApplicationRegistry& registry);

// Of `registered`, the copies that count as other installed copies of `app`, each standardised
// with its links resolved, once: not the app or anything inside it, nothing in the home's Trash
// or Library, "/Library" or "/Volumes", nothing translocated, nothing missing on disk.
std::vector<platform::MacPath>
otherInstalledCopies(const std::vector<platform::MacPath>& registered, const platform::MacPath& app,
                     const platform::MacPath& home);

// The items without those inside another item of the list, shortest item key first (stable).
std::vector<core::LeftoverItem> droppingNestedItems(std::vector<core::LeftoverItem> items);

// The final order: by category in declaration order, then the more certain confidence, then
// the larger size. Items equal in all three keep their order under a stable sort.
bool resultOrder(const core::LeftoverItem& a, const core::LeftoverItem& b);

} // namespace veldo::leftovers::LeftoverScanner
