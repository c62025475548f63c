// The removal-safety check: protected locations, Veldo's own bundle, folders holding apps.
#include "common/RemovalSafety.h"

#include <span>
#include <unordered_map>
#include <unordered_set>

#include "platform/MacFileSystem.h"
#include "platform/Package.h"
#include "platform/Unicode.h"

namespace veldo::common {

namespace {

using platform::MacPath;
using RemovalSafety::Refusal;
using Components = std::span<const std::string_view>;
using NameSet = std::unordered_set<std::string_view>;

// Names in a user's home folder that are never removed themselves.
const NameSet& protectedHomeNames()
{
    // clang-format off
    static const NameSet names{
        "applications", "desktop", "documents", "downloads", "library", "movies", "music",
        "pictures", "public", "sites", ".trash", ".ssh", ".gnupg", ".config", ".local", ".cache",
        "icloud drive (archive)"};
    // clang-format on
    return names;
}

// A Library folder name, "/", and one name inside it.
const NameSet& protectedLibraryPairs()
{
    // clang-format off
    static const NameSet names{
        "preferences/byhost", "logs/diagnosticreports", "application support/crashreporter",
        "application support/apple", "developer/xcode", "developer/coresimulator",
        "caches/com.apple.bird", "java/javavirtualmachines", "java/extensions"};
    // clang-format on
    return names;
}

// Library folders below which nothing is ever removed.
const NameSet& protectedLibrarySubtrees()
{
    static const NameSet names{"keychains", "security", "directoryservices"};
    return names;
}

// Folders in Library/Preferences that are never removed, nor anything below them.
const NameSet& protectedPreferenceFolders()
{
    static const NameSet names{"systemconfiguration", "opendirectory", "logging"};
    return names;
}

// The second component below /opt.
const NameSet& protectedOptNames()
{
    static const NameSet names{"homebrew", "local"};
    return names;
}

// Names directly inside a Library folder that are never removed themselves.
const NameSet& protectedLibraryNames()
{
    // clang-format off
    static const NameSet names{
        "accessibility", "accounts", "address book plug-ins", "application scripts",
        "application support", "appstore", "assistant", "assistants", "audio",
        "autosave information", "automator", "biome", "bluetooth", "bundles", "caches", "calendars",
        "callservices", "catacomb", "cloudstorage", "colorpickers", "colors", "colorsync",
        "components", "compositions", "configurationprofiles", "contacts", "containermanager",
        "containers", "contextual menu items", "cookies", "corefollowup", "coreanalytics",
        "coremediaio", "daemon containers", "datadeliveryservices", "desktop pictures", "developer",
        "dictionaries", "directoryservices", "displays", "documentation", "donotdisturb",
        "driverextensions", "duetexpertcenter", "dyld", "extensions", "favorites", "filesystems",
        "finance", "financebackup", "fontcollections", "fonts", "frameworks", "frontboard",
        "gamekit", "gpubundles", "graphics", "group containers", "homekit", "httpstorages",
        "identityservices", "image capture", "input methods", "installersandboxes",
        "intelligenceplatform", "intents", "internet plug-ins", "itunes", "java",
        "kernelcollections", "keyboard", "keyboard layouts", "keyboardservices", "keychains",
        "languagemodeling", "launchagents", "launchdaemons", "lockdownmode", "logs", "mail",
        "managed installs", "managed preferences", "mediaanalysis", "messages", "metadata",
        "mobile documents", "modem scripts", "news", "opendirectory", "osanalytics", "passes",
        "perl", "personalizationportrait", "photos", "plug-ins", "preferencepanes", "preferences",
        "printers", "privatecloudcompute", "privilegedhelpertools", "python", "quicklook",
        "receipts", "responsekit", "ruby", "safari", "safarisafebrowsing", "sandbox",
        "saved application state", "screen savers", "scriptingadditions", "scripts", "security",
        "server", "services", "sharing", "shortcuts", "sounds", "speech", "spelling", "spotlight",
        "stageddriverextensions", "stagedextensions", "staged extensions", "startupitems",
        "statuskit", "suggestions", "systemextensions", "systemmigration", "systemprofiler",
        "translation", "trial", "unifiedassetframework", "updates", "user pictures",
        "user template", "video", "voices", "weather", "webkit", "webserver", "widgets",
        "workflows", "fonts disabled", "pubsub", "reminders", "saved searches", "syncedpreferences",
        "syncservices", "applemediaservices", "homeenergyd", "studentd"};
    // clang-format on
    return names;
}

// Top-level folders that are never touched at any depth.
const NameSet& systemTopLevelNames()
{
    // clang-format off
    static const NameSet names{
        "system", "bin", "sbin", "dev", "cores", "network"};
    // clang-format on
    return names;
}

bool endsWithApp(std::string_view folded)
{
    return folded.ends_with(".app");
}

bool anyEndsWithApp(Components components)
{
    for (std::string_view c : components) {
        if (endsWithApp(c))
            return true;
    }
    return false;
}

// `inner` lies inside `outer` (both folded): it begins with `outer` followed by "/".
bool liesInside(std::string_view inner, std::string_view outer)
{
    if (outer == "/")
        return inner.size() > 1 && inner.front() == '/';
    return inner.size() > outer.size() && inner.starts_with(outer) && inner[outer.size()] == '/';
}

// NFD and case folding without a locale.
std::string fold(std::string_view text)
{
    return platform::foldForComparison(text);
}

// Standardising takes "." and ".." by the letters, but the file system first follows the link in
// front of them ("/Applications/Link/." is the link's target, not the link), so such a path may
// name something other than what the check would judge.
bool hasDotComponent(std::string_view path)
{
    for (std::string_view c : platform::splitPathComponents(path)) {
        if (c == "." || c == "..")
            return true;
    }
    return false;
}

bool hasPrivateAlias(const std::string& path)
{
    for (std::string_view alias : {"/var", "/etc", "/tmp"}) {
        if (path == alias || (path.starts_with(alias) && path[alias.size()] == '/'))
            return true;
    }
    return false;
}

std::string withPrivatePrefix(std::string path)
{
    if (hasPrivateAlias(path))
        path.insert(0, "/private");
    return path;
}

// The components below a Library folder ("/Library", "/Volumes/<v>/Library" or a home's
// "Library").
bool libraryRuleRefuses(Components l)
{
    if (l.empty())
        return true;
    const std::string_view first = l[0];
    if (l.size() == 1) {
        return first.empty() || first.front() == '.' || first == "apple" ||
               first.starts_with("com.apple.") || first.starts_with("apple ") ||
               protectedLibraryNames().contains(first);
    }
    if (first == "apple")
        return true;
    if (l.size() == 2) {
        std::string pair(first);
        pair.push_back('/');
        pair.append(l[1]);
        if (protectedLibraryPairs().contains(pair))
            return true;
    }
    if (protectedLibrarySubtrees().contains(first))
        return true;
    return first == "preferences" && protectedPreferenceFolders().contains(l[1]);
}

// The components of a path from the root of a volume.
bool systemRuleRefuses(Components c)
{
    const size_t n = c.size();
    if (n == 0)
        return true;
    if (n == 1)
        return !endsWithApp(c[0]);
    const std::string_view first = c[0];
    if (systemTopLevelNames().contains(first))
        return true;
    if (first == "usr")
        return n < 4 || c[1] != "local";
    if (first == "opt")
        return n <= 3 && protectedOptNames().contains(c[1]);
    if (first == "private") {
        if (n <= 3)
            return true;
        if (c[1] == "var" && c[2] == "db" && n == 4)
            return true;
        return c[1] == "var" && c[2] == "folders" && n <= 6;
    }
    if (first == "var" || first == "etc" || first == "tmp") {
        std::vector<std::string_view> underPrivate;
        underPrivate.reserve(n + 1);
        underPrivate.push_back("private");
        underPrivate.insert(underPrivate.end(), c.begin(), c.end());
        return systemRuleRefuses(underPrivate);
    }
    if (first == "applications")
        return n == 2 && c[1] == "utilities";
    if (first == "library")
        return libraryRuleRefuses(c.subspan(1));
    if (first == "users")
        return n == 2;
    if (first == "volumes")
        return n <= 2 || systemRuleRefuses(c.subspan(2));
    return false;
}

// The components of a path below a home folder (at least one).
bool homeRuleRefuses(Components r)
{
    if (r.size() == 1 && protectedHomeNames().contains(r[0]))
        return true;
    return r[0] == "library" && libraryRuleRefuses(r.subspan(1));
}

// The components below another user's home folder: /Users/<name>/… or
// /Volumes/<volume>/Users/<name>/…, the shared folder excepted. `c` are the folded components of
// `path`: only "Shared" as `path` spells it is the shared folder, for a Mac root's homes are
// "/Users/<login name>" and an account "shared" has its home at another spelling of it. Empty
// when the path lies in no home.
Components otherHomeRemainder(Components c, std::string_view path)
{
    const auto isShared = [&](std::size_t i) {
        if (c[i] != "shared")
            return false;
        const std::vector<std::string_view> spelt = platform::splitPathComponents(path);
        return spelt.size() == c.size() && spelt[i] == "Shared";
    };
    if (c.size() >= 3 && c[0] == "users" && !isShared(1))
        return c.subspan(2);
    if (c.size() >= 5 && c[0] == "volumes" && c[2] == "users" && !isShared(3))
        return c.subspan(4);
    return {};
}

std::string appDisplayName(const MacPath& bundle)
{
    return MacPath(bundle.lastPathComponent()).deletingPathExtension().path();
}

// Normalises paths for one check. Within one check a folder's links are resolved once: the
// installed apps mostly share "/Applications", and the answer can't change in between.
class Normaliser
{
public:
    std::string normalizedPath(const MacPath& url)
    {
        const MacPath standardized = url.standardized();
        const std::string& path = standardized.path();
        if (path.empty() || path == "/")
            return "/";
        if (!standardized.isAbsolute())
            return path;
        const std::string parent =
            withPrivatePrefix(resolvedFolder(standardized.deletingLastPathComponent()));
        const std::string last = standardized.lastPathComponent();
        return withPrivatePrefix(parent == "/" ? "/" + last : parent + "/" + last);
    }

    // `folder` (standardised) resolves to `resolved`, as the caller found it just now.
    void knowFolder(std::string folder, std::string resolved)
    {
        m_resolved.insert_or_assign(std::move(folder), std::move(resolved));
    }

private:
    const std::string& resolvedFolder(const MacPath& folder)
    {
        auto [it, inserted] = m_resolved.try_emplace(folder.path());
        if (inserted)
            it->second = platform::resolvingSymlinks(folder).path();
        return it->second;
    }

    std::unordered_map<std::string, std::string> m_resolved;
};

// What one check compares with, taken from a prepared context.
class PreparedInputs
{
public:
    explicit PreparedInputs(const RemovalSafety::PreparedContext& context) : m_context(context) {}

    const RemovalSafety::Context& context() const { return m_context.context(); }
    const std::string& normalizedHome() const { return m_context.normalizedHome(); }
    const std::string& foldedHome() const { return m_context.foldedHome(); }
    const std::vector<std::string>& foldedProtectedBundles() const
    {
        return m_context.foldedProtectedBundles();
    }
    const std::vector<std::string>& foldedInstalledApps() const
    {
        return m_context.foldedInstalledApps();
    }

private:
    const RemovalSafety::PreparedContext& m_context;
};

// What one check compares with, made from a plain context as the check needs it: most paths
// are judged before the bundles are looked at, so those are normalised only when reached.
class LazyInputs
{
public:
    LazyInputs(const RemovalSafety::Context& context, Normaliser& normaliser)
        : m_context(context), m_normaliser(normaliser),
          m_normalizedHome(normaliser.normalizedPath(context.homeDirectory)),
          m_foldedHome(fold(m_normalizedHome))
    {
    }

    const RemovalSafety::Context& context() const { return m_context; }
    const std::string& normalizedHome() const { return m_normalizedHome; }
    const std::string& foldedHome() const { return m_foldedHome; }
    const std::vector<std::string>& foldedProtectedBundles()
    {
        return made(m_protectedBundles, m_context.protectedBundles);
    }
    const std::vector<std::string>& foldedInstalledApps()
    {
        return made(m_installedApps, m_context.installedApps);
    }

private:
    const std::vector<std::string>& made(std::optional<std::vector<std::string>>& folded,
                                         const std::vector<MacPath>& urls)
    {
        if (!folded) {
            folded.emplace();
            folded->reserve(urls.size());
            for (const MacPath& url : urls)
                folded->push_back(fold(m_normaliser.normalizedPath(url)));
        }
        return *folded;
    }

    const RemovalSafety::Context& m_context;
    Normaliser& m_normaliser;
    std::string m_normalizedHome;
    std::string m_foldedHome;
    std::optional<std::vector<std::string>> m_protectedBundles;
    std::optional<std::vector<std::string>> m_installedApps;
};

template <typename Inputs>
std::optional<Refusal> candidateRefusal(const std::string& candidate, Inputs& context)
{
    const std::string& home = context.foldedHome();
    const std::string folded = fold(candidate);
    const std::vector<std::string_view> c = platform::splitPathComponents(folded);

    if (systemRuleRefuses(c))
        return Refusal::protectedLocation(candidate);
    if (folded == home || liesInside(home, folded))
        return Refusal::protectedLocation(candidate);
    if (liesInside(folded, home)) {
        const size_t homeDepth = platform::splitPathComponents(home).size();
        if (homeDepth < c.size() && homeRuleRefuses(Components(c).subspan(homeDepth)))
            return Refusal::protectedLocation(candidate);
    }
    // The caller's home is not the only one: an administrator's removal (or another user's
    // Veldo) must not take a user's Documents or Keychains either.
    if (Components other = otherHomeRemainder(c, candidate);
        !other.empty() && homeRuleRefuses(other))
        return Refusal::protectedLocation(candidate);

    for (const std::string& bundle : context.foldedProtectedBundles()) {
        if (folded == bundle || liesInside(folded, bundle))
            return Refusal::isSelf();
        if (liesInside(bundle, folded))
            return Refusal::containsSelf();
    }

    if (anyEndsWithApp(c))
        return std::nullopt;

    const std::vector<std::string>& apps = context.foldedInstalledApps();
    for (size_t i = 0; i < apps.size(); ++i) {
        if (liesInside(apps[i], folded))
            return Refusal::containsOtherApps(appDisplayName(context.context().installedApps[i]));
    }
    return std::nullopt;
}

// The first app bundle directly in `folder` or in one of its plain subfolders on the same
// volume, by display name. Unreadable folders and entries hold no app.
std::optional<std::string> appInFolder(const MacPath& folder)
{
    using platform::FileType;
    using platform::FollowLinks;
    const auto status = platform::fileStatus(folder, FollowLinks::no);
    if (!status || status->type != FileType::directory)
        return std::nullopt;
    const auto entries = platform::listDirectory(folder);
    if (!entries)
        return std::nullopt;
    for (const std::string& name : *entries) {
        if (platform::isAppBundleName(name, platform::ExtensionCase::ignored))
            return MacPath(name).deletingPathExtension().path();
        const MacPath child = folder.appendingPathComponent(name);
        const auto childStatus = platform::fileStatus(child, FollowLinks::no);
        if (!childStatus || childStatus->type != FileType::directory ||
            childStatus->device != status->device)
            continue;
        const auto inner = platform::listDirectory(child);
        if (!inner)
            continue;
        for (const std::string& innerName : *inner) {
            if (platform::isAppBundleName(innerName, platform::ExtensionCase::ignored))
                return MacPath(innerName).deletingPathExtension().path();
        }
    }
    return std::nullopt;
}

} // namespace

namespace RemovalSafety {

PreparedContext::PreparedContext(Context context) : m_context(std::move(context))
{
    // The bundles mostly share "/Applications": one normaliser resolves each folder once.
    Normaliser normaliser;
    m_normalizedHome = normaliser.normalizedPath(m_context.homeDirectory);
    m_foldedHome = fold(m_normalizedHome);
    auto folded = [&](const std::vector<MacPath>& urls) {
        std::vector<std::string> paths;
        paths.reserve(urls.size());
        for (const MacPath& url : urls)
            paths.push_back(fold(normaliser.normalizedPath(url)));
        return paths;
    };
    m_protectedBundles = folded(m_context.protectedBundles);
    m_installedApps = folded(m_context.installedApps);
}

std::string normalizedPath(const MacPath& url)
{
    return Normaliser().normalizedPath(url);
}

namespace {

// The rules the two gates share; `homeRule` judges the folded path against the folded
// "<home>/applications".
template <typename HomeRule>
bool appsFolderGate(std::string_view normalizedPath, std::string_view home, HomeRule homeRule)
{
    const std::string folded = fold(normalizedPath);
    const std::vector<std::string_view> c = platform::splitPathComponents(folded);
    if (anyEndsWithApp(c))
        return false;
    if (!c.empty() && c[0] == "applications")
        return true;
    if (c.size() >= 3 && c[0] == "volumes" && c[2] == "applications")
        return true;
    std::string homeApplications = fold(home);
    if (homeApplications != "/")
        homeApplications.push_back('/');
    homeApplications.append("applications");
    return homeRule(std::string_view(folded), std::string_view(homeApplications));
}

} // namespace

bool liesInAppsFolder(std::string_view normalizedPath, std::string_view home)
{
    return appsFolderGate(normalizedPath, home, liesInside);
}

bool isAppsFolderLocation(std::string_view normalizedPath, std::string_view home)
{
    return appsFolderGate(normalizedPath, home,
                          [](std::string_view folded, std::string_view homeApplications) {
                              return folded.starts_with(homeApplications);
                          });
}

} // namespace RemovalSafety

namespace {

template <typename Inputs>
std::optional<Refusal> refusalOf(const MacPath& standardized, Inputs& context,
                                 Normaliser& normaliser)
{
    const std::string& path = standardized.path();
    const std::string normalized = normaliser.normalizedPath(standardized);
    if (auto refusal = candidateRefusal(path, context))
        return refusal;
    if (normalized != path) {
        if (auto refusal = candidateRefusal(normalized, context))
            return refusal;
    }

    if (!context.context().inspectsDisk ||
        !RemovalSafety::liesInAppsFolder(normalized, context.normalizedHome()))
        return std::nullopt;
    if (auto app = appInFolder(MacPath(normalized)))
        return Refusal::containsOtherApps(std::move(*app));
    return std::nullopt;
}

bool isUnidentifiable(const MacPath& url, const MacPath& standardized)
{
    return !standardized.isAbsolute() || standardized.path().find('\0') != std::string::npos ||
           hasDotComponent(url.path());
}

} // namespace

std::optional<Refusal> removalRefusal(const MacPath& url, const RemovalSafety::Context& context)
{
    const MacPath standardized = url.standardized();
    if (isUnidentifiable(url, standardized))
        return Refusal::unidentifiable();
    Normaliser normaliser;
    LazyInputs inputs(context, normaliser);
    return refusalOf(standardized, inputs, normaliser);
}

std::optional<Refusal> removalRefusal(const MacPath& url,
                                      const RemovalSafety::PreparedContext& context)
{
    const MacPath standardized = url.standardized();
    if (isUnidentifiable(url, standardized))
        return Refusal::unidentifiable();
    Normaliser normaliser;
    PreparedInputs inputs(context);
    return refusalOf(standardized, inputs, normaliser);
}

std::optional<Refusal> removalRefusal(const MacPath& url, const MacPath& resolvedFolder,
                                      const RemovalSafety::PreparedContext& context)
{
    const MacPath standardized = url.standardized();
    if (isUnidentifiable(url, standardized))
        return Refusal::unidentifiable();
    Normaliser normaliser;
    normaliser.knowFolder(standardized.deletingLastPathComponent().path(),
                          resolvedFolder.standardized().path());
    PreparedInputs inputs(context);
    return refusalOf(standardized, inputs, normaliser);
}

std::string removalRefusalMessage(const Refusal& refusal)
{
    switch (refusal.kind) {
    case Refusal::Kind::protectedLocation:
        return "\u201C" + refusal.payload +
               "\u201D is a protected system or user folder. Veldo never removes it.";
    case Refusal::Kind::containsOtherApps:
        return "This folder contains other apps (" + refusal.payload + "), so it wasn't removed.";
    case Refusal::Kind::unidentifiable:
        return "Veldo can't safely identify this location, so it wasn't removed.";
    case Refusal::Kind::isSelf:
        return "Veldo can't remove itself.";
    case Refusal::Kind::containsSelf:
        return "This folder contains Veldo itself, so it wasn't removed.";
    }
    return "Veldo can't safely identify this location, so it wasn't removed.";
}

} // namespace veldo::common
