// Measuring one orphan-scan finding: the bytes it occupies, when it or anything below it last
// changed, and whether an app bundle lies below it.
//
// Blocks on the file system for as long as the walk takes, on the calling thread. Never follows
// a link (links in the item's parent folders are resolved inside the Mac root; the item itself
// and everything below it are taken as they are). Holds at most a fixed number of descriptors
// however deep the tree.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>

#include "app/core/InstalledApp.h"
#include "platform/MacPath.h"

namespace veldo::scanners::OrphanScanner {

struct Measurement
{
    std::int64_t bytes = 0;
    // The newest modification date of the item and of everything below it that could be read.
    std::optional<core::Date> lastModified;
    // A folder whose extension, lower-cased, is "app" lies somewhere below the item.
    bool containsAppBundle = false;

    friend bool operator==(const Measurement&, const Measurement&) = default;
};

// The measurement of the item at `url`:
// - an item whose own status can't be read: 0 bytes, no date, no app bundle;
// - a link or anything else that is not a folder: its own allocated blocks × 512 and its date;
// - a folder: its own date, then every object below it (hidden ones and package contents
//   included), each read once: regular files and links add their allocated blocks × 512
//   (folders add nothing of their own), a file with two or more links counts once per
//   (device, inode), the newest date wins. Objects and folders that can't be read are passed
//   over.
// None when a stop was requested through `stop`: it is looked at after every 256 objects below
// the item.
std::optional<Measurement> measure(const platform::MacPath& url, const std::stop_token& stop = {});

namespace testing {
// Called by every folder walk of measure() with the running count of objects met, after the
// object was counted and before the stop is looked at. Empty: no hook (the default). Set it only
// while no measurement runs.
void setObjectHook(std::function<void(std::uint64_t objects)> hook);
} // namespace testing

} // namespace veldo::scanners::OrphanScanner
