// The orphan judge's claims, doubts, registry memo and staleness rule.
#include "app/scanners/OrphanJudge.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "app/scanners/TextParts.h"
#include "platform/MacFileSystem.h"
#include "platform/Unicode.h"

namespace veldo::scanners::OrphanScanner {

const std::array<std::string_view, 11> systemIDPrefixes = {
    "com.apple.", "org.cups.",     "org.openbsd.",     "org.ntp.",   "org.postfix.", "com.openssh.",
    "org.isc.",   "org.openldap.", "org.apache.httpd", "org.samba.", "org.xinetd.",
};

const std::array<std::string_view, 29> sharedFrameworkPrefixes = {
    "org.sparkle-project.",
    "com.crashlytics.",
    "io.fabric.",
    "io.sentry.",
    "com.segment.",
    "com.plausiblelabs.",
    "com.github.squirrel.",
    "com.bugsnag.",
    "com.google.firebase.",
    "com.google.keystone",
    "com.google.googleupdater",
    "com.microsoft.autoupdate",
    "com.microsoft.office",
    "com.microsoft.shared",
    "com.microsoft.errorreporting",
    "com.adobe.acc.",
    "com.adobe.agsservice",
    "com.adobe.arm",
    "com.adobe.ccxprocess",
    "com.onevcat.",
    "com.squareup.",
    "com.facebook.sdk",
    "com.amplitude.",
    "com.mixpanel.",
    "com.getsentry.",
    "com.datadoghq.",
    "net.hockeyapp.",
    "com.appcenter.",
    "com.revenuecat.",
};

const std::array<std::string_view, 10> bigVendors = {
    "com.microsoft", "com.adobe",  "com.google", "com.jetbrains", "com.parallels",
    "com.vmware",    "com.oracle", "com.citrix", "com.logitech",  "com.logi",
};

const std::array<std::string_view, 12> commandLineToolPrefixes = {
    "org.swift.", "org.llvm.", "org.python.",   "org.nodejs.", "org.rust-lang.", "org.golang.",
    "org.gnu.",   "homebrew.", "org.macports.", "org.nixos.",  "org.ruby-lang.", "com.github.cli",
};

namespace {

constexpr double kSecondsPerDay = 86400;

template <std::size_t N>
bool beginsWithAny(std::string_view key, const std::array<std::string_view, N>& prefixes)
{
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](std::string_view prefix) { return key.starts_with(prefix); });
}

bool isBigVendor(std::string_view vendor)
{
    return std::find(bigVendors.begin(), bigVendors.end(), vendor) != bigVendors.end();
}

} // namespace

Judge::Judge(OrphanScanEnvironment environment)
    : env(std::move(environment)), installed(env.installedBundleIDs), running(env.runningBundleIDs),
      launchdLabels(env.loadedLaunchdLabels ? *env.loadedLaunchdLabels
                                            : std::unordered_set<std::string>{}),
      lsCache(std::make_shared<LaunchServicesCache>())
{
    for (const std::string& identifier : env.installedBundleIDs)
        installedVendors.insert(vendor(identifier));
    if (env.loadedLaunchdLabels) {
        for (const std::string& label : *env.loadedLaunchdLabels) {
            if (nonEmptyParts(label, '.').size() > 2)
                installedVendors.insert(vendor(label));
        }
    }
}

Verdict Judge::judge(const Candidate& candidate, const Location& location) const
{
    const std::string& key = candidate.key;
    const std::string& groupName = candidate.groupName;

    if (beginsWithAny(key, systemIDPrefixes) || groupName.find("com.apple.") != std::string::npos ||
        groupName.starts_with("systemgroup."))
        return Verdict::claimed("macOS");
    if (env.ownBundleID && key.starts_with(*env.ownBundleID))
        return Verdict::claimed("Veldo");
    if (beginsWithAny(key, sharedFrameworkPrefixes))
        return Verdict::claimed("shared framework");
    if (env.installedAppGroups.contains(groupName) ||
        env.installedAppGroups.contains("group." + key))
        return Verdict::claimed("app group of an installed app");
    if (candidate.teamID &&
        env.installedAppGroups.contains(platform::lowercased(*candidate.teamID) + "." + key))
        return Verdict::claimed("app group of an installed app");
    if (candidate.teamID && env.installedTeamIDs.contains(platform::uppercased(*candidate.teamID)))
        return Verdict::claimed("team of an installed app");
    if (installed.matches(key) || running.matches(key))
        return Verdict::claimed("installed app");
    const std::string keyVendor = vendor(key);
    const bool vendorInstalled = installedVendors.contains(keyVendor);
    if (vendorInstalled && isBigVendor(keyVendor))
        return Verdict::claimed("vendor with installed apps");
    if (launchdLabels.matches(key))
        return Verdict::claimed("loaded launchd job");
    if (isKnownToLaunchServices(candidate.id))
        return Verdict::claimed("app known to LaunchServices");

    std::vector<std::string> doubts;
    if (vendorInstalled)
        doubts.emplace_back("another app from the same vendor is installed");
    if (candidate.teamID || candidate.isAppGroup ||
        location.category == core::LeftoverCategory::groupContainers)
        doubts.emplace_back("shared app-group storage");
    if (location.style == NameStyle::launchPlist || location.style == NameStyle::helperTool)
        doubts.emplace_back(env.loadedLaunchdLabels
                                ? "background item"
                                : "background item; loaded jobs couldn't be checked");
    if (location.category == core::LeftoverCategory::containers &&
        sandboxHoldsDocuments(candidate, location))
        doubts.emplace_back("its sandbox holds documents");
    if (beginsWithAny(key, commandLineToolPrefixes)) {
        doubts.emplace_back("usually belongs to a command-line tool");
    } else if (const auto parts = nonEmptyParts(candidate.id, '.'); !parts.empty()) {
        const std::string command(parts.back());
        if (env.isCommandInstalled && env.isCommandInstalled(command))
            doubts.push_back("a command-line tool named \u201c" + command + "\u201d is installed");
    }

    std::string reason = "No installed app has the identifier " + candidate.id + ".";
    if (doubts.empty())
        return Verdict::orphan(core::MatchConfidence::medium, std::move(reason));
    reason += " Review first: ";
    for (std::size_t i = 0; i < doubts.size(); ++i) {
        if (i > 0)
            reason += "; ";
        reason += doubts[i];
    }
    reason += ".";
    return Verdict::orphan(core::MatchConfidence::low, std::move(reason));
}

std::pair<core::MatchConfidence, std::string>
Judge::applyingStaleness(core::MatchConfidence confidence, std::string reason,
                         const std::optional<core::Date>& lastModified) const
{
    if (confidence != core::MatchConfidence::medium)
        return {confidence, std::move(reason)};
    if (!lastModified)
        return {core::MatchConfidence::low,
                std::move(reason) + " Review first: its last change date is unknown."};
    const double age = std::chrono::duration<double>(env.now - *lastModified).count();
    if (age > env.staleInterval)
        return {core::MatchConfidence::medium, std::move(reason)};
    const double days = std::trunc(age / kSecondsPerDay);
    std::string note = " Review first: changed ";
    if (days < 1) {
        note += "today";
    } else {
        const auto n = static_cast<long long>(days);
        note += std::to_string(n) + " day" + (n == 1 ? "" : "s") + " ago";
    }
    note += ".";
    return {core::MatchConfidence::low, std::move(reason) + note};
}

bool Judge::isKnownToLaunchServices(std::string_view identifier) const
{
    const std::vector<std::string_view> parts = nonEmptyParts(identifier, '.');
    for (std::size_t count = parts.size(); count >= 3; --count) {
        const std::string joined = joinedLeading(parts, count, ".");
        const std::string memoKey = platform::lowercased(joined);
        {
            std::lock_guard guard(lsCache->lock);
            if (auto it = lsCache->answers.find(memoKey); it != lsCache->answers.end()) {
                if (it->second)
                    return true;
                continue;
            }
        }
        const bool known =
            env.isRegisteredWithLaunchServices && env.isRegisteredWithLaunchServices(joined);
        {
            std::lock_guard guard(lsCache->lock);
            lsCache->answers[memoKey] = known;
        }
        if (known)
            return true;
    }
    return false;
}

bool Judge::sandboxHoldsDocuments(const Candidate& candidate, const Location& location) const
{
    const std::string& folder =
        candidate.groupName == candidate.key ? candidate.id : candidate.groupName;
    const platform::MacPath documents =
        location.url.appendingPathComponent(folder).appendingPathComponent("Data/Documents");
    auto names = platform::listDirectory(documents);
    if (!names)
        return false;
    return std::any_of(names->begin(), names->end(),
                       [](const std::string& name) { return !name.starts_with('.'); });
}

} // namespace veldo::scanners::OrphanScanner
