// The demo Mac: a fake Mac of the macOS shape, filled with apps, their leftovers, Homebrew casks,
// orphans of former apps and developer caches, for running Veldo on a Linux desktop.
//
// Not part of the product. Deterministic: fixed names, sizes and dates (dates count back from a
// fixed moment, so the Mac looks the same whenever it is made). The folder may be empty or hold
// an earlier demo, recognised by the marker file at its top; anything else is refused. Replacing
// an earlier demo first gives back write permission to the folders it made unwritable, then
// deletes without following links. The marker is written first and says "complete" only once
// everything is in place, so a run that stopped halfway (a full disk) is replaced by the next.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "base/Result.h"

namespace veldo::demo {

// The file at the top of a demo Mac that marks it as one.
inline constexpr const char* kDemoMarkerName = ".veldo-demo-mac";

struct DemoOptions
{
    // The host folder to fill.
    std::string root;
    // The login whose home "/Users/<login>" the demo fills.
    std::string login;
    // When set (the generator runs as root), the home and everything in it are given to this
    // user, while system folders, stand-in tools and the administrator-only items stay root's.
    // Unset: everything is the running user's, and the administrator-only items lie in folders
    // made unwritable instead.
    std::optional<uid_t> ownerUid;
    std::optional<gid_t> ownerGid;
    // The stand-in osascript program to install as "/usr/bin/osascript" (none: no osascript).
    std::string osascriptProgram;
    // The folder of the stand-in tool scripts (brew, launchctl).
    std::string standInsFolder;
    // The program every demo app's executable is a copy of (veldo-demo-app: it runs until it is
    // asked to quit, so that a started demo app shows as running). Required.
    std::string appProgram;
    // Apps beyond the fixed set, for the start-up benchmark ("Sample App 001.app" …).
    int extraApps = 0;
};

// A leftover the demo planted, by Mac path, with the bundle path of the app it belongs to.
struct PlantedLeftover
{
    std::string app;
    std::string path;
};

// What was made, for the caller to print and for checks that the scans find all of it (Mac
// paths).
struct DemoSummary
{
    int apps = 0;
    // Each leftover item, as the leftover scan of its app lists it.
    std::vector<PlantedLeftover> leftovers;
    // Each orphaned item of the two former apps, as the orphan scan lists it.
    std::vector<std::string> orphans;
    // Each developer cache file (it lies inside a location the toolchain scan measures).
    std::vector<std::string> developerCaches;
};

// Why a folder can't hold a demo Mac, as one sentence; none when it can (empty, missing with an
// existing parent, or an earlier demo).
std::optional<std::string> refusalFor(const std::string& root);

// Empties an earlier demo (its marker checked by refusalFor first): folders made unwritable get
// their write permission back, then everything goes without following a link.
base::Result<void> removeEarlierDemo(const std::string& root);

// Fills `options.root` (checked and emptied by the caller).
base::Result<DemoSummary> generateDemoMac(const DemoOptions& options);

// The sentence for a failed generation (a full disk says so).
std::string failureSentence(const base::Error& error);

// The apps of the fixed set, by bundle path, for checks.
std::vector<std::string> demoAppPaths(const std::string& login);

} // namespace veldo::demo
