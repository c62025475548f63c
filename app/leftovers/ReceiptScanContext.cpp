// The shared-folder tables of the installer-receipt reader and its exclusion and ownership rules.
#include "app/leftovers/ReceiptScanContext.h"

#include <iterator>

#include "app/leftovers/ReceiptPaths.h"

namespace veldo::leftovers {

namespace {

// Standard folders of a Library folder, each under "/Library" and the home's "Library".
constexpr std::string_view kLibraryFolderNames[] = {
    "Accessibility",
    "Accounts",
    "Application Scripts",
    "Application Support",
    "Application Support/Apple",
    "Application Support/CrashReporter",
    "Application Support/Script Editor",
    "Apple",
    "AppStore",
    "Assistants",
    "Audio",
    "Audio/Apple Loops",
    "Audio/Impulse Responses",
    "Audio/MIDI Configurations",
    "Audio/MIDI Drivers",
    "Audio/Plug-Ins",
    "Audio/Presets",
    "Audio/Sounds",
    "Autosave Information",
    "Automator",
    "Bluetooth",
    "Bundles",
    "Caches",
    "Calendars",
    "CloudStorage",
    "ColorPickers",
    "Colors",
    "ColorSync",
    "ColorSync/Profiles",
    "Components",
    "Compositions",
    "Containers",
    "Contextual Menu Items",
    "Contacts",
    "Cookies",
    "CoreAnalytics",
    "CoreMediaIO",
    "CoreMediaIO/Plug-Ins",
    "Daemon Containers",
    "Desktop Pictures",
    "Developer",
    "Dictionaries",
    "DirectoryServices",
    "Documentation",
    "DriverExtensions",
    "Extensions",
    "Favorites",
    "Filesystems",
    "FontCollections",
    "Fonts",
    "Frameworks",
    "GPUBundles",
    "Graphics",
    "Group Containers",
    "HTTPStorages",
    "Image Capture",
    "Input Methods",
    "InstallerSandboxes",
    "Internet Plug-Ins",
    "Java",
    "Java/Extensions",
    "Java/JavaVirtualMachines",
    "KernelCollections",
    "Keyboard Layouts",
    "Keychains",
    "LaunchAgents",
    "LaunchDaemons",
    "Logs",
    "Logs/DiagnosticReports",
    "Mail",
    "Managed Preferences",
    "Messages",
    "Metadata",
    "Mobile Documents",
    "Modem Scripts",
    "OpenDirectory",
    "OSAnalytics",
    "Perl",
    "Photos",
    "PreferencePanes",
    "Preferences",
    "Preferences/Logging",
    "Preferences/Logging/Subsystems",
    "Preferences/OpenDirectory",
    "Preferences/SystemConfiguration",
    "Printers",
    "Printers/PPDs",
    "PrivilegedHelperTools",
    "Python",
    "QuickLook",
    "Receipts",
    "Ruby",
    "Safari",
    "Sandbox",
    "Saved Application State",
    "Screen Savers",
    "ScriptingAdditions",
    "Scripts",
    "Security",
    "Security/SecurityAgentPlugins",
    "Services",
    "Sharing",
    "Shortcuts",
    "Sounds",
    "Speech",
    "Spelling",
    "Spotlight",
    "StagedDriverExtensions",
    "StagedExtensions",
    "StartupItems",
    "SystemExtensions",
    "SystemMigration",
    "SystemProfiler",
    "Trial",
    "Updates",
    "User Pictures",
    "User Template",
    "Video",
    "WebKit",
    "WebServer",
    "Widgets",
};

static_assert(std::size(kLibraryFolderNames) == 121);

constexpr std::string_view kPackagePrefixes[] = {"/usr/local", "/opt/homebrew", "/opt/local"};

// Standard folders under each package prefix.
constexpr std::string_view kPrefixFolderNames[] = {
    "bin",
    "sbin",
    "lib",
    "lib/pkgconfig",
    "libexec",
    "include",
    "etc",
    "etc/bash_completion.d",
    "share",
    "share/doc",
    "share/info",
    "share/locale",
    "share/man",
    "share/zsh",
    "share/zsh/site-functions",
    "var",
    "opt",
    "Frameworks",
    "Cellar",
    "Caskroom",
    "Homebrew",
};

static_assert(std::size(kPrefixFolderNames) == 21);

// Category folders: under each Library folder, and under each package prefix.
constexpr std::string_view kLibraryCategoryFolders[] = {"Audio/Plug-Ins", "CoreMediaIO/Plug-Ins"};
constexpr std::string_view kPrefixCategoryFolders[] = {"share/man"};

// Adds `path` and its ancestors up to "/"; stops at a path already present, whose ancestors
// are then present too.
void addWithAncestors(ReceiptPaths::PathSet& set, std::string path)
{
    for (;;) {
        if (!set.insert(path).second || path == "/")
            return;
        path = std::string(ReceiptPaths::parent(path));
    }
}

} // namespace

ReceiptScanContext makeReceiptScanContext(std::string_view homePath)
{
    using ReceiptPaths::joined;
    ReceiptScanContext context;
    context.homePath = ReceiptPaths::trimmed(homePath);
    const std::string homeLibrary = joined(context.homePath, "Library");

    auto& protectedPaths = context.protectedPaths;
    for (std::string_view path :
         {"/Applications", "/Applications/Utilities", "/Library", "/Users/Shared", "/opt"})
        protectedPaths.emplace(path);
    protectedPaths.insert(joined(context.homePath, "Applications"));
    for (std::string_view name : kLibraryFolderNames) {
        protectedPaths.insert(joined("/Library", name));
        protectedPaths.insert(joined(homeLibrary, name));
    }
    for (std::string_view prefix : kPackagePrefixes) {
        protectedPaths.emplace(prefix);
        for (std::string_view name : kPrefixFolderNames)
            protectedPaths.insert(joined(prefix, name));
    }

    for (std::string_view name : kLibraryCategoryFolders) {
        context.categoryFolderPaths.insert(joined("/Library", name));
        context.categoryFolderPaths.insert(joined(homeLibrary, name));
    }
    for (std::string_view prefix : kPackagePrefixes) {
        for (std::string_view name : kPrefixCategoryFolders)
            context.categoryFolderPaths.insert(joined(prefix, name));
    }

    for (const auto& path : protectedPaths)
        addWithAncestors(context.ancestorPaths, path);
    for (const auto& path : context.categoryFolderPaths)
        addWithAncestors(context.ancestorPaths, path);
    addWithAncestors(context.ancestorPaths, context.homePath);
    addWithAncestors(context.ancestorPaths, homeLibrary);
    return context;
}

bool isExcludedReceiptPath(std::string_view path, const ReceiptScanContext& context)
{
    if (context.ancestorPaths.contains(path) || context.protectedPaths.contains(path))
        return true;
    if (path != "/" && context.categoryFolderPaths.contains(ReceiptPaths::parent(path)))
        return true;

    // The user's own folder name never counts as a component.
    std::string_view rest = path;
    if (ReceiptPaths::liesBelow(path, context.homePath))
        rest = context.homePath == "/" ? path : path.substr(context.homePath.size());
    std::size_t start = 0;
    while (start <= rest.size()) {
        auto end = rest.find('/', start);
        if (end == std::string_view::npos)
            end = rest.size();
        if (end > start && ReceiptPaths::isAppleName(rest.substr(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}

std::optional<std::string> topmostOwnedPath(std::string_view path,
                                            const ReceiptScanContext& context)
{
    if (path == "/")
        return std::nullopt;
    std::string_view current = path;
    for (;;) {
        const std::string_view parent = ReceiptPaths::parent(current);
        if (context.protectedPaths.contains(parent))
            return std::string(current);
        if (parent == "/")
            return std::nullopt;
        if (context.categoryFolderPaths.contains(ReceiptPaths::parent(parent)))
            return std::string(current);
        current = parent;
    }
}

} // namespace veldo::leftovers
