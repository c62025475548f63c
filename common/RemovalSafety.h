// RemovalSafety: the one policy every removal path asks before an item goes to the Trash.
//
// Given a Mac path and a Context, removalRefusal either lets the item through or returns a
// Refusal whose sentence (removalRefusalMessage) is shown to the user. The app (scans, Trash
// executor, administrator script, controller) and the helper daemon ask the same check; this
// header is the part both compile. The app-only helpers are in app/core/RemovalSafetyApp.h.
//
// Paths are compared after canonical decomposition (NFD) and case folding without a locale, so
// "~/LIBRARY" and a name typed with a precomposed accent are judged like their canonical forms.
// That holds for the home folder too, although on Linux "/Users/ab" and "/Users/AB" may be two
// accounts' homes: here the home only ever adds refusals, so a look-alike home keeps the
// protection of the caller's. Whatever grants the helper daemon something for the caller's home
// (HelperPathRules) compares the home by its exact spelling instead. Other accounts' homes
// ("/Users/<name>", on other volumes too) keep their protected folders; only "/Users/Shared" as
// spelt is the shared folder that has none, since an account "shared" has its home at another
// spelling of it.
// Nothing here changes the file system. Reads of the disk: resolving the links of a path's
// parent folder (normalizedPath, through the Mac root) and, only when Context::inspectsDisk is
// set, listing a folder in an applications folder two levels deep. All functions are thread-safe
// and never throw; the protected name sets are built once, on first use.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MacPath.h"

namespace veldo::common {

namespace RemovalSafety {

// The input of the check, built by each caller.
struct Context
{
    // The user's home folder; normalised like any path before it is compared.
    platform::MacPath homeDirectory;
    // Bundles that must never be removed or emptied out (Veldo's own, and whatever else the
    // caller names).
    std::vector<platform::MacPath> protectedBundles;
    // Bundles of the installed apps: a folder that holds one of them is refused.
    std::vector<platform::MacPath> installedApps;
    // When set, a folder in an applications folder is also listed on disk (two levels, one
    // volume) and refused when an app bundle lies in it.
    bool inspectsDisk = false;

    friend bool operator==(const Context&, const Context&) = default;
};

// A context with its home folder and bundles normalised and folded once, for the many checks of
// one scan or one Trash run. Making it reads the disk (the links of the bundles' and the home's
// parent folders); a link changed afterwards is not seen by the checks that use it, so callers
// make one per run. Immutable once made: one may be shared by threads.
class PreparedContext
{
public:
    explicit PreparedContext(Context context);

    const Context& context() const { return m_context; }
    // The home folder normalised, and then folded.
    const std::string& normalizedHome() const { return m_normalizedHome; }
    const std::string& foldedHome() const { return m_foldedHome; }
    // The normalised, folded paths of context().protectedBundles and .installedApps, in order.
    const std::vector<std::string>& foldedProtectedBundles() const { return m_protectedBundles; }
    const std::vector<std::string>& foldedInstalledApps() const { return m_installedApps; }

private:
    Context m_context;
    std::string m_normalizedHome;
    std::string m_foldedHome;
    std::vector<std::string> m_protectedBundles;
    std::vector<std::string> m_installedApps;
};

// Why an item may not be removed. The payload is the path under test for protectedLocation, the
// app's display name for containsOtherApps, and empty otherwise.
struct Refusal
{
    enum class Kind
    {
        protectedLocation,
        containsOtherApps,
        unidentifiable,
        isSelf,
        containsSelf,
    };

    Kind kind = Kind::unidentifiable;
    std::string payload;

    static Refusal protectedLocation(std::string path)
    {
        return {Kind::protectedLocation, std::move(path)};
    }
    static Refusal containsOtherApps(std::string appName)
    {
        return {Kind::containsOtherApps, std::move(appName)};
    }
    static Refusal unidentifiable() { return {Kind::unidentifiable, {}}; }
    static Refusal isSelf() { return {Kind::isSelf, {}}; }
    static Refusal containsSelf() { return {Kind::containsSelf, {}}; }

    friend bool operator==(const Refusal&, const Refusal&) = default;
};

// The comparison form of a path: standardised, the links of its parent folder resolved inside
// the Mac root (the item itself is never resolved, so a link is judged as the link), and
// "/private" put in front of "/var", "/etc" and "/tmp" paths. "/" for "/" and "". A relative
// path is only standardised: it names no place on the Mac. Reads the disk (parent links).
std::string normalizedPath(const platform::MacPath& url);

// Whether a folder at `normalizedPath` lies in an applications folder, so that the disk inspection
// of removalRefusal lists it for apps: no component ends in ".app", and the path lies in
// "/Applications", in "/Volumes/<v>/Applications" or inside `home` + "/Applications" (compared
// folded). Pure; `home` is the caller's normalised home.
bool liesInAppsFolder(std::string_view normalizedPath, std::string_view home);

// The helper daemon's gate before it moves a folder: whether the folder must first be searched for
// other apps. As liesInAppsFolder, except that any path whose folded form begins with the folded
// home followed by "/applications" counts (so "~/Applications" itself and "~/Applications Old" are
// searched too). Pure.
bool isAppsFolderLocation(std::string_view normalizedPath, std::string_view home);

} // namespace RemovalSafety

// The refusal for removing `url` under `context`, or none when it may be removed. A relative
// path, one holding a NUL character, and one with a "." or ".." component (which the file
// system takes after following the link before it) are refused as unidentifiable. File-system
// errors during the disk inspection never refuse: an unreadable folder holds no app.
std::optional<RemovalSafety::Refusal> removalRefusal(const platform::MacPath& url,
                                                     const RemovalSafety::Context& context);
// The same answer, from a context prepared once for many checks.
std::optional<RemovalSafety::Refusal> removalRefusal(const platform::MacPath& url,
                                                     const RemovalSafety::PreparedContext& context);
// The same answer for an item whose folder the caller holds open to act on it: `resolvedFolder`
// is the Mac path of url's folder with its links resolved, as the caller's descriptor of it
// names it, and is judged in place of resolving the folder again. So the check judges the very
// folder the caller then works in.
std::optional<RemovalSafety::Refusal> removalRefusal(const platform::MacPath& url,
                                                     const platform::MacPath& resolvedFolder,
                                                     const RemovalSafety::PreparedContext& context);

// The sentence shown to the user for `refusal`.
std::string removalRefusalMessage(const RemovalSafety::Refusal& refusal);

} // namespace veldo::common
