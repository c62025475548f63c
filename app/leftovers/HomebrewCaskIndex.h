// HomebrewCasks index: which Homebrew cask installed an app bundle.
//
// The index maps app bundle file names ("Foo.app") to the cask that installs an app of that
// name. It is built mostly from Homebrew's own bookkeeping in the Caskroom (each cask folder's
// ".metadata" cask file and the Caskroom's "config.json"); brew itself is run ("brew info
// --cask --json=v2 --installed") only when a cask folder's bookkeeping cannot be read. The
// index is cached process-wide (IndexCache) until the Caskroom's signature changes, a cask
// uninstall invalidates it, or a load is forced.
//
// All paths are Mac paths; the disk is read through the Mac root. loadIndex blocks (it may run
// brew for up to its time-out) and is meant for background threads; overlapping loads are
// safe. Nothing here throws, and a load fails only when stopped: a missing brew gives an empty
// index, and unreadable folders, malformed bookkeeping and a failing, slow or garbled brew run
// only leave records out.
#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "app/leftovers/CaskInfo.h"
#include "base/Result.h"
#include "platform/MacPath.h"

namespace veldo::leftovers::HomebrewCasks {

// How long a "brew info" run may take before it is stopped.
inline constexpr std::chrono::seconds kInfoTimeout{120};

// The index of the installed casks. Finds brew in the tool search path (none: an empty index,
// the cache untouched); its Caskroom is "Caskroom" in the folder two levels above brew
// (/opt/homebrew/bin/brew → /opt/homebrew/Caskroom). Unless `forceRefresh`, the cached index
// is answered while the Caskroom's signature is unchanged. Otherwise the bookkeeping is read,
// brew is run (with `infoTimeout`) when some cask folder is not covered by it, and what brew
// reports replaces the bookkeeping records of the same short token; the new index and
// signature then replace the cache (a failed brew run is cached too). A stop requested through
// `stop` is noticed while the tool search path is first looked up, between cask folders and
// while brew runs (which it ends as CommandRunner::run does); the load then fails with cancelled
// and leaves the cache as it was.
Result<CaskIndex> loadIndex(bool forceRefresh, std::chrono::milliseconds infoTimeout = kInfoTimeout,
                            std::stop_token stop = {});

// The cask that owns the app at `appURL`: the index entry for the app's file name (else for a
// key equal to it ignoring case: the first such key in plain string order), when one of that
// cask's expected app paths (with `home`, the user's real home folder) equals the app's
// standardised path ignoring case. None otherwise. Pure.
std::optional<CaskInfo> cask(const platform::MacPath& appURL, const CaskIndex& index,
                             const platform::MacPath& home);

// ---- The steps of the above, for tests and benchmarks. ----

// The Caskroom of a brew executable: its path less the last two components, then "Caskroom".
platform::MacPath caskroomFor(const platform::MacPath& brew);

// The Caskroom's path, "|", then for the Caskroom itself and each entry in it (hidden entries
// skipped, in plain name order) its name, ":" and its modification time in seconds since 1970
// (0.0 when unreadable), joined with ",".
std::string caskroomSignature(const platform::MacPath& caskroom);

// The names of the folders in the Caskroom (hidden entries and links skipped), in plain string
// order; none when it cannot be listed.
std::vector<std::string> caskFolderNames(const platform::MacPath& caskroom);

// metadataCask of every folder of caskFolderNames, in that order, the records found. A stop
// requested through `stop` ends it early with the records found so far.
std::vector<CaskInfo> metadataCasks(const platform::MacPath& caskroom, std::stop_token stop = {});

// The record of one cask folder from its bookkeeping: the installed version is the newest
// version folder (installedVersion); of the cask files ".metadata/<version>/<stamp>/Casks/
// <token>.json" (else ".rb"), those of the installed version (all when it has none), the one
// with the greatest stamp. Its appdir comes from ".metadata/config.json". None when there is no
// cask file or it cannot be read.
std::optional<CaskInfo> metadataCask(const platform::MacPath& folder, const std::string& token);

// The newest of the names in a cask folder (hidden entries skipped) in version order
// (compareVersionFolderNames); none when the folder lists nothing.
std::optional<std::string> installedVersion(const platform::MacPath& folder);

// Version order of folder names: runs of digits compare as numbers, everything else character
// by character ("9.1" < "10.0", "1.2.9" < "1.2.10"); names equal that way compare by plain
// string order. Below, equal or above 0.
int compareVersionFolderNames(std::string_view a, std::string_view b);

// The index of the records: each app name maps to the last record naming it, and names claimed
// by two different tokens are left out.
CaskIndex buildIndex(const std::vector<CaskInfo>& records);

// Where the cask puts its apps: each target (appTargets, else appNames) with "~" expanded to
// `home`, a relative one placed in the appdir ("/Applications" when absent, "~" expanded too),
// standardised.
std::vector<platform::MacPath> expectedAppPaths(const CaskInfo& record,
                                                const platform::MacPath& home);

} // namespace veldo::leftovers::HomebrewCasks
