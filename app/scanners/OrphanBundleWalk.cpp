// Walks that collect the bundles of installed software, and what a bundle says of itself.
#include "app/scanners/OrphanBundleWalk.h"

#include <algorithm>

#include "app/leftovers/NameText.h"
#include "platform/MacFileSystem.h"
#include "platform/PropertyList.h"
#include "platform/SigningInformation.h"
#include "platform/Unicode.h"

namespace veldo::scanners::OrphanScanner {

namespace {

using platform::MacPath;

constexpr std::size_t kMaxInfoBytes = std::size_t{4} << 20;

bool holdsDataWord(const std::string& lowerName)
{
    return std::any_of(appDataWords.begin(), appDataWords.end(), [&](std::string_view word) {
        return lowerName.find(word) != std::string::npos;
    });
}

std::vector<std::string> namesIn(const MacPath& folder)
{
    auto names = platform::listDirectory(folder);
    return names ? std::move(*names) : std::vector<std::string>{};
}

bool startsWithNumberCharacter(std::string_view name)
{
    std::size_t at = 0;
    return !name.empty() && leftovers::isNumber(platform::decodeNext(name, at));
}

} // namespace

const std::array<std::string_view, 13> appDataWords = {
    "cache",     "storage",  "indexeddb", "service worker", "partitions", "crashpad", "logs",
    "user data", "profiles", "databases", "blob",           "backups",    "models"};

const std::array<std::string_view, 13> libraryBundleFolders = {
    "PreferencePanes", "Input Methods",     "Screen Savers", "QuickLook",
    "Spotlight",       "Internet Plug-Ins", "Extensions",    "Filesystems",
    "Image Capture",   "Services",          "ColorPickers",  "Contextual Menu Items",
    "Mail/Bundles"};

std::vector<MacPath> appBundles(const MacPath& home, const std::stop_token& stop)
{
    std::vector<MacPath> bundles;
    for (const MacPath& folder :
         {MacPath("/Applications"), home.appendingPathComponent("Applications")}) {
        for (const std::string& name : namesIn(folder)) {
            if (name.starts_with('.') && platform::lowercased(name).ends_with(".app"))
                bundles.push_back(folder.appendingPathComponent(name));
        }
    }
    for (const MacPath& support : {MacPath("/Library/Application Support"),
                                   home.appendingPathComponent("Library/Application Support")})
        collectAppBundles(support, 1, bundles, stop);
    return bundles;
}

void collectAppBundles(const MacPath& folder, int depth, std::vector<MacPath>& into,
                       const std::stop_token& stop)
{
    if (stop.stop_requested())
        return;
    for (const std::string& name : namesIn(folder)) {
        if (name.starts_with('.'))
            continue;
        const std::string lower = platform::lowercased(name);
        const bool isApp = lower.ends_with(".app");
        if (holdsDataWord(lower)) {
            if (!isApp)
                continue;
        } else if (depth == 3) {
            if (!startsWithNumberCharacter(name) && !isApp && name.find('.') != std::string::npos)
                continue;
        } else if (depth >= 4 && !isApp) {
            continue;
        }
        const MacPath child = folder.appendingPathComponent(name);
        if (!platform::isDirectory(child))
            continue;
        if (isApp)
            into.push_back(child);
        else
            collectAppBundles(child, depth + 1, into, stop);
    }
}

std::vector<MacPath> libraryBundles(const std::vector<MacPath>& libraries,
                                    const std::stop_token& stop)
{
    std::vector<MacPath> bundles;
    for (const MacPath& library : libraries) {
        const MacPath plugIns = library.appendingPathComponent("Audio/Plug-Ins");
        for (const std::string& name : namesIn(plugIns)) {
            if (!name.starts_with('.'))
                collectBundles(plugIns.appendingPathComponent(name), 1, bundles, stop);
        }
        for (std::string_view folder : libraryBundleFolders)
            collectBundles(library.appendingPathComponent(folder), 1, bundles, stop);
        collectBundles(library.appendingPathComponent("Printers"), 6, bundles, stop);
    }
    return bundles;
}

void collectBundles(const MacPath& folder, int depth, std::vector<MacPath>& into,
                    const std::stop_token& stop)
{
    if (stop.stop_requested())
        return;
    for (const std::string& name : namesIn(folder)) {
        const std::string lower = platform::lowercased(name);
        if (name.starts_with('.') || lower == "ppds" || holdsDataWord(lower))
            continue;
        const MacPath child = folder.appendingPathComponent(name);
        if (!platform::isDirectory(child))
            continue;
        if (platform::exists(child.appendingPathComponent("Contents/Info.plist")))
            into.push_back(child);
        else if (depth > 0)
            collectBundles(child, depth - 1, into, stop);
    }
}

std::optional<std::string> bundleIdentifier(const MacPath& bundle)
{
    for (const char* info : {"Contents/Info.plist", "WrappedBundle/Info.plist"}) {
        auto plist =
            platform::readPropertyListFile(bundle.appendingPathComponent(info), kMaxInfoBytes);
        if (!plist || !plist->asDictionary())
            continue;
        if (auto identifier = plist->stringFor("CFBundleIdentifier");
            identifier && !identifier->empty())
            return identifier;
    }
    return std::nullopt;
}

BundleSigning signingInfo(const MacPath& bundle)
{
    BundleSigning signing;
    auto information = platform::signingInformation(bundle);
    if (!information)
        return signing;
    signing.teamID = information->teamIdentifier;
    const platform::PlistValue* groups =
        information->entitlements
            ? information->entitlements->find("com.apple.security.application-groups")
            : nullptr;
    const platform::PlistValue::Array* list = groups ? groups->asArray() : nullptr;
    if (!list)
        return signing;
    for (const platform::PlistValue& group : *list) {
        if (!group.asString())
            return {signing.teamID, {}}; // a list holding anything but strings counts as none
        signing.appGroups.insert(*group.asString());
    }
    return signing;
}

} // namespace veldo::scanners::OrphanScanner
