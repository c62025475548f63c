// Building, caching and querying the index of installed Homebrew casks.
#include "app/leftovers/HomebrewCaskIndex.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "app/core/CommandRunner.h"
#include "app/leftovers/HomebrewCaskIndexCache.h"
#include "app/leftovers/HomebrewCaskRecords.h"
#include "platform/MacFileSystem.h"
#include "platform/Unicode.h"

namespace veldo::leftovers::HomebrewCasks {

namespace {

namespace CommandRunner = core::CommandRunner;
using platform::MacPath;

// Cask files are a few kilobytes; config.json less. The bound only stops a runaway file.
constexpr std::size_t kMaxBookkeepingFileBytes = std::size_t{16} * 1024 * 1024;

bool isHidden(std::string_view name)
{
    return !name.empty() && name.front() == '.';
}

// The names in a folder, sorted by plain string order; none when it cannot be listed.
std::vector<std::string> sortedListing(const MacPath& folder, bool includeHidden)
{
    auto listed = platform::listDirectory(folder);
    if (!listed)
        return {};
    std::vector<std::string> names;
    for (auto& name : *listed) {
        if (includeHidden || !isHidden(name))
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Seconds since 1970 in the shortest decimal form that reads back the same, always with a
// fractional part ("1700000000.25", "0.0").
std::string secondsText(double seconds)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    if (result.ec != std::errc())
        return "0.0";
    std::string text(buffer, result.ptr);
    if (text.find('.') == std::string::npos)
        text.append(".0");
    return text;
}

std::string entryText(const MacPath& path, std::string_view name)
{
    double seconds = 0.0;
    if (auto status = platform::fileStatus(path, platform::FollowLinks::yes))
        seconds = status->modificationTime.toSeconds();
    return std::string(name).append(":").append(secondsText(seconds));
}

std::string expandTilde(const std::string& path, const MacPath& home)
{
    if (path == "~")
        return home.path();
    if (path.starts_with("~/"))
        return home.path() + path.substr(1);
    return path;
}

} // namespace

Result<CaskIndex> loadIndex(bool forceRefresh, std::chrono::milliseconds infoTimeout,
                            std::stop_token stop)
{
    const auto searchPath = CommandRunner::searchPath(stop);
    if (!searchPath)
        return searchPath.error();
    const auto brew =
        CommandRunner::which("brew", *searchPath, CommandRunner::commandLineToolsInstalled());
    if (!brew)
        return CaskIndex();
    const MacPath caskroom = caskroomFor(*brew);
    std::string signature = caskroomSignature(caskroom);

    IndexCache& cache = IndexCache::shared();
    if (!forceRefresh) {
        if (auto cached = cache.indexFor(signature))
            return std::move(*cached);
    }

    std::vector<CaskInfo> records = metadataCasks(caskroom, stop);
    if (stop.stop_requested())
        return Error::make(ErrorCode::cancelled);
    std::set<std::string> covered;
    for (const CaskInfo& record : records)
        covered.insert(shortToken(record.token));
    const auto folders = caskFolderNames(caskroom);
    const bool runBrew = std::any_of(folders.begin(), folders.end(),
                                     [&](const std::string& f) { return !covered.contains(f); });

    if (runBrew) {
        const auto output = CommandRunner::runWithUserEnvironment(
            *brew, {"info", "--cask", "--json=v2", "--installed"}, infoTimeout, {}, stop);
        if (!output && output.error().code == ErrorCode::cancelled)
            return output.error();
        if (output && output->code == 0 && !output->timedOut) {
            std::vector<CaskInfo> reported = parseInstalledCasks(output->stdout);
            std::set<std::string> reportedTokens;
            for (const CaskInfo& record : reported)
                reportedTokens.insert(shortToken(record.token));
            std::erase_if(records, [&](const CaskInfo& record) {
                return reportedTokens.contains(shortToken(record.token));
            });
            for (CaskInfo& record : reported)
                records.push_back(std::move(record));
        }
    }

    CaskIndex index = buildIndex(records);
    cache.store(std::move(signature), index);
    return index;
}

std::optional<CaskInfo> cask(const MacPath& appURL, const CaskIndex& index, const MacPath& home)
{
    const MacPath appPath = appURL.standardized();
    const std::string name = appURL.lastPathComponent();

    const CaskInfo* candidate = nullptr;
    if (const auto exact = index.find(name); exact != index.end()) {
        candidate = &exact->second;
    } else {
        const std::string folded = platform::foldForComparison(name);
        for (const auto& [key, record] : index) {
            if (platform::foldForComparison(key) == folded) {
                candidate = &record;
                break;
            }
        }
    }
    if (!candidate)
        return std::nullopt;

    const std::string foldedPath = platform::foldForComparison(appPath.path());
    for (const MacPath& expected : expectedAppPaths(*candidate, home)) {
        if (platform::foldForComparison(expected.path()) == foldedPath)
            return *candidate;
    }
    return std::nullopt;
}

MacPath caskroomFor(const MacPath& brew)
{
    return brew.deletingLastPathComponent().deletingLastPathComponent().appendingPathComponent(
        "Caskroom");
}

std::string caskroomSignature(const MacPath& caskroom)
{
    std::string signature = caskroom.path();
    signature.append("|").append(entryText(caskroom, caskroom.lastPathComponent()));
    for (const auto& name : sortedListing(caskroom, false))
        signature.append(",").append(entryText(caskroom.appendingPathComponent(name), name));
    return signature;
}

std::vector<std::string> caskFolderNames(const MacPath& caskroom)
{
    std::vector<std::string> folders;
    for (auto& name : sortedListing(caskroom, false)) {
        const auto status =
            platform::fileStatus(caskroom.appendingPathComponent(name), platform::FollowLinks::no);
        if (status && status->type == platform::FileType::directory)
            folders.push_back(std::move(name));
    }
    return folders;
}

std::vector<CaskInfo> metadataCasks(const MacPath& caskroom, std::stop_token stop)
{
    std::vector<CaskInfo> records;
    for (const auto& name : caskFolderNames(caskroom)) {
        if (stop.stop_requested())
            break;
        if (auto record = metadataCask(caskroom.appendingPathComponent(name), name))
            records.push_back(std::move(*record));
    }
    return records;
}

std::optional<CaskInfo> metadataCask(const MacPath& folder, const std::string& token)
{
    const std::optional<std::string> installed = installedVersion(folder);

    struct Candidate
    {
        std::string version;
        std::string stamp;
        MacPath file;
        bool isJson = false;
    };
    std::vector<Candidate> candidates;
    const MacPath metadata = folder.appendingPathComponent(".metadata");
    for (const auto& version : sortedListing(metadata, true)) {
        const MacPath versionFolder = metadata.appendingPathComponent(version);
        for (const auto& stamp : sortedListing(versionFolder, true)) {
            const MacPath casks =
                versionFolder.appendingPathComponent(stamp).appendingPathComponent("Casks");
            const MacPath json = casks.appendingPathComponent(token + ".json");
            const MacPath ruby = casks.appendingPathComponent(token + ".rb");
            if (platform::exists(json))
                candidates.push_back({version, stamp, json, true});
            else if (platform::exists(ruby))
                candidates.push_back({version, stamp, ruby, false});
        }
    }
    if (installed && std::any_of(candidates.begin(), candidates.end(),
                                 [&](const Candidate& c) { return c.version == *installed; })) {
        std::erase_if(candidates, [&](const Candidate& c) { return c.version != *installed; });
    }
    if (candidates.empty())
        return std::nullopt;

    const Candidate* chosen = &candidates.front();
    for (const Candidate& candidate : candidates) {
        if (candidate.stamp > chosen->stamp)
            chosen = &candidate;
    }

    const auto bytes = platform::readFile(chosen->file, kMaxBookkeepingFileBytes);
    if (!bytes)
        return std::nullopt;
    const std::string version = installed.value_or(chosen->version);

    std::optional<CaskInfo> record;
    if (chosen->isJson) {
        const auto document = parseJson(*bytes);
        if (!document || !document->is_object())
            return std::nullopt;
        record = caskInfoFromJson(*document, token, version);
    } else {
        record = caskInfoFromRubySource(platform::repairedUtf8(*bytes), token, version);
    }
    if (!record)
        return std::nullopt;

    if (const auto config = platform::readFile(metadata.appendingPathComponent("config.json"),
                                               kMaxBookkeepingFileBytes))
        record->appdir = configuredAppdir(*config);
    return record;
}

std::optional<std::string> installedVersion(const MacPath& folder)
{
    std::optional<std::string> newest;
    for (auto& name : sortedListing(folder, false)) {
        if (!newest || compareVersionFolderNames(name, *newest) > 0)
            newest = std::move(name);
    }
    return newest;
}

int compareVersionFolderNames(std::string_view a, std::string_view b)
{
    if (const int numeric = CommandRunner::compareNumerically(a, b); numeric != 0)
        return numeric;
    const int plain = a.compare(b);
    return plain < 0 ? -1 : (plain > 0 ? 1 : 0);
}

CaskIndex buildIndex(const std::vector<CaskInfo>& records)
{
    CaskIndex index;
    std::set<std::string> ambiguous;
    for (const CaskInfo& record : records) {
        for (const auto& name : record.appNames) {
            if (const auto it = index.find(name);
                it != index.end() && it->second.token != record.token)
                ambiguous.insert(name);
            index.insert_or_assign(name, record);
        }
    }
    for (const auto& name : ambiguous)
        index.erase(name);
    return index;
}

std::vector<MacPath> expectedAppPaths(const CaskInfo& record, const MacPath& home)
{
    const MacPath base(expandTilde(record.appdir.value_or("/Applications"), home));
    const auto& targets = record.appTargets.empty() ? record.appNames : record.appTargets;
    std::vector<MacPath> paths;
    paths.reserve(targets.size());
    for (const auto& target : targets) {
        std::string expanded = expandTilde(target, home);
        MacPath path = expanded.starts_with("/") ? MacPath(std::move(expanded))
                                                 : base.appendingPathComponent(expanded);
        paths.push_back(path.standardized());
    }
    return paths;
}

} // namespace veldo::leftovers::HomebrewCasks
