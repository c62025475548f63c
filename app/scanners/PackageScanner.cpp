// Finding the package managers, running their listings and reading what they print.
#include "app/scanners/PackageScanner.h"

#include <algorithm>

#include "app/core/AllocatedSize.h"
#include "app/core/CommandRunner.h"
#include "common/JsonDocument.h"
#include "platform/MacRoot.h"
#include "platform/NameCollator.h"
#include "platform/Unicode.h"

namespace veldo::scanners::PackageScanner {

using core::DevPackage;
using core::PackageGroup;
using core::PackageManagerKind;
using platform::MacPath;
namespace CommandRunner = core::CommandRunner;

namespace {

// Listings nest a few levels; anything deeper than this is not a listing.
constexpr std::size_t kListingDepth = 64;

constexpr std::string_view kSystemGem = "/usr/bin/gem";

std::vector<std::string_view> split(std::string_view text, std::string_view separators)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find_first_of(separators, start);
        const std::string_view piece = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!piece.empty())
            pieces.push_back(piece);
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return pieces;
}

std::string_view trim(std::string_view text, std::string_view characters)
{
    const std::size_t first = text.find_first_not_of(characters);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(characters) - first + 1);
}

// `folder` + "/" + `name` when the name stays inside the folder.
std::optional<MacPath> packageFolder(const MacPath& folder, std::string_view name)
{
    if (name.empty() || name.front() == '/')
        return std::nullopt;
    for (std::string_view component : split(name, "/")) {
        if (component == "." || component == "..")
            return std::nullopt;
    }
    return folder.appendingPathComponent(name);
}

std::int64_t sizeOfPackage(const std::optional<MacPath>& folder, std::string_view name,
                           const std::stop_token& stop)
{
    if (!folder)
        return 0;
    const auto path = packageFolder(*folder, name);
    return path ? core::allocatedSize(*path, stop).value_or(0) : 0;
}

std::vector<DevPackage> measured(PackageManagerKind manager,
                                 const std::vector<ParsedPackage>& parsed,
                                 const std::optional<MacPath>& folder, const std::stop_token& stop)
{
    std::vector<DevPackage> packages;
    packages.reserve(parsed.size());
    for (const auto& p : parsed)
        packages.push_back(
            DevPackage{manager, p.name, p.version, sizeOfPackage(folder, p.name, stop)});
    std::stable_sort(
        packages.begin(), packages.end(),
        [](const DevPackage& a, const DevPackage& b) { return a.sizeBytes > b.sizeBytes; });
    return packages;
}

std::vector<DevPackage> byName(PackageManagerKind manager, const std::vector<ParsedPackage>& parsed)
{
    std::vector<DevPackage> packages;
    packages.reserve(parsed.size());
    for (const auto& p : parsed)
        packages.push_back(DevPackage{manager, p.name, p.version, 0});
    const platform::NameCollator collator;
    std::stable_sort(packages.begin(), packages.end(),
                     [&](const DevPackage& a, const DevPackage& b) {
                         return collator.compare(a.name, b.name) < 0;
                     });
    return packages;
}

std::vector<ParsedPackage> withoutProtected(std::vector<ParsedPackage> parsed,
                                            PackageManagerKind manager)
{
    std::erase_if(parsed, [&](const ParsedPackage& p) { return isProtected(p.name, manager); });
    return parsed;
}

bool acceptedStrictly(const Result<CommandRunner::Output>& output)
{
    return output && output->code == 0 && !output->timedOut;
}

std::vector<DevPackage> brewPackages(PackageManagerKind manager, std::chrono::milliseconds timeout,
                                     const std::stop_token& stop)
{
    const auto brew = locatePackageTool(manager, stop);
    if (!brew)
        return {};
    const bool casks = manager == PackageManagerKind::brewCask;
    const auto output = CommandRunner::runWithUserEnvironment(
        *brew, {"list", casks ? "--cask" : "--formula", "--versions"}, timeout, {}, stop);
    if (!acceptedStrictly(output))
        return {};
    // brew lives in the prefix's bin folder.
    const MacPath prefix = brew->deletingLastPathComponent().deletingLastPathComponent();
    const MacPath folder = prefix.appendingPathComponent(casks ? "Caskroom" : "Cellar");
    return measured(manager, parseBrewList(output->stdout), folder, stop);
}

std::vector<DevPackage> npmPackages(std::chrono::milliseconds timeout, const std::stop_token& stop)
{
    const auto npm = locatePackageTool(PackageManagerKind::npm, stop);
    if (!npm)
        return {};
    std::optional<MacPath> root;
    if (const auto rootOutput =
            CommandRunner::runWithUserEnvironment(*npm, {"root", "-g"}, timeout, {}, stop)) {
        // npm prints a host path.
        const std::string_view printed = trim(rootOutput->stdout, " \t\n\r\v\f");
        if (!printed.empty())
            root = platform::macPathForHost(printed);
    }
    const auto list = CommandRunner::runWithUserEnvironment(
        *npm, {"ls", "-g", "--depth=0", "--json"}, timeout, {}, stop);
    // npm reports dependency problems with a non-zero status and still prints the listing.
    if (!list || list->timedOut)
        return {};
    return measured(PackageManagerKind::npm,
                    withoutProtected(parseNpmList(list->stdout), PackageManagerKind::npm), root,
                    stop);
}

std::vector<DevPackage> pipPackages(std::chrono::milliseconds timeout, const std::stop_token& stop)
{
    const auto pip = locatePackageTool(PackageManagerKind::pip, stop);
    if (!pip)
        return {};
    const auto output =
        CommandRunner::runWithUserEnvironment(*pip, {"list", "--format=json"}, timeout, {}, stop);
    if (!output)
        return {};
    return byName(PackageManagerKind::pip,
                  withoutProtected(parsePipList(output->stdout), PackageManagerKind::pip));
}

std::vector<DevPackage> gemPackages(std::chrono::milliseconds timeout, const std::stop_token& stop)
{
    const auto gem = locatePackageTool(PackageManagerKind::gem, stop);
    if (!gem)
        return {};
    const auto output =
        CommandRunner::runWithUserEnvironment(*gem, {"list", "--local"}, timeout, {}, stop);
    if (!acceptedStrictly(output))
        return {};
    return byName(PackageManagerKind::gem,
                  withoutProtected(parseGemList(output->stdout), PackageManagerKind::gem));
}

} // namespace

const ProtectedNames& protectedNames()
{
    static const ProtectedNames kNames{
        {PackageManagerKind::npm, {"npm", "corepack"}},
        {PackageManagerKind::pip, {"pip", "setuptools", "wheel"}},
        {PackageManagerKind::gem, {"bundler", "rubygems-update"}},
    };
    return kNames;
}

bool isProtected(std::string_view name, PackageManagerKind manager)
{
    const auto entry = protectedNames().find(manager);
    if (entry == protectedNames().end())
        return false;
    if (manager == PackageManagerKind::pip)
        return entry->second.contains(normalizedPipName(name));
    return entry->second.contains(name);
}

std::optional<MacPath> locatePackageTool(PackageManagerKind manager, const std::stop_token& stop)
{
    switch (manager) {
    case PackageManagerKind::brewFormula:
    case PackageManagerKind::brewCask:
        return CommandRunner::findTool("brew", stop);
    case PackageManagerKind::npm:
        return CommandRunner::findTool("npm", stop);
    case PackageManagerKind::pip:
        if (auto pip3 = CommandRunner::findTool("pip3", stop))
            return pip3;
        return CommandRunner::findTool("pip", stop);
    case PackageManagerKind::gem:
        if (auto gem = CommandRunner::findTool("gem", stop); gem && gem->path() != kSystemGem)
            return gem;
        return std::nullopt;
    }
    return std::nullopt;
}

std::vector<PackageGroup> scanPackages(std::chrono::milliseconds timeout, std::stop_token stop)
{
    std::vector<PackageGroup> groups;
    const auto add = [&](PackageManagerKind manager, std::vector<DevPackage> packages) {
        if (!packages.empty())
            groups.push_back(PackageGroup{manager, std::move(packages)});
    };
    add(PackageManagerKind::brewFormula,
        brewPackages(PackageManagerKind::brewFormula, timeout, stop));
    add(PackageManagerKind::brewCask, brewPackages(PackageManagerKind::brewCask, timeout, stop));
    add(PackageManagerKind::npm, npmPackages(timeout, stop));
    add(PackageManagerKind::pip, pipPackages(timeout, stop));
    add(PackageManagerKind::gem, gemPackages(timeout, stop));
    return groups;
}

std::vector<ParsedPackage> parseBrewList(std::string_view output)
{
    std::vector<ParsedPackage> packages;
    for (std::string_view line : split(output, "\n")) {
        const auto words = split(line, " ");
        if (words.empty())
            continue;
        packages.push_back(
            ParsedPackage{std::string(words[0]), words.size() > 1 ? std::string(words[1]) : ""});
    }
    return packages;
}

std::vector<ParsedPackage> parseNpmList(std::string_view output)
{
    const auto document = common::json::parseOrdered(output, kListingDepth);
    if (!document || !document->is_object())
        return {};
    const auto dependencies = document->find("dependencies");
    if (dependencies == document->end() || !dependencies->is_object())
        return {};
    std::vector<ParsedPackage> packages;
    for (const auto& [name, value] : dependencies->items()) {
        std::string version;
        if (value.is_object()) {
            const auto v = value.find("version");
            if (v != value.end() && v->is_string())
                version = v->get<std::string>();
        }
        packages.push_back(ParsedPackage{name, std::move(version)});
    }
    return packages;
}

std::vector<ParsedPackage> parsePipList(std::string_view output)
{
    const auto document = common::json::parse(output, kListingDepth);
    if (!document || !document->is_array())
        return {};
    std::vector<ParsedPackage> packages;
    for (const auto& element : *document) {
        if (!element.is_object())
            return {}; // an array of objects, or nothing
        const auto name = element.find("name");
        if (name == element.end() || !name->is_string() ||
            name->get_ref<const std::string&>().empty())
            continue;
        std::string version;
        if (const auto v = element.find("version"); v != element.end() && v->is_string())
            version = v->get<std::string>();
        packages.push_back(ParsedPackage{name->get<std::string>(), std::move(version)});
    }
    return packages;
}

std::vector<ParsedPackage> parseGemList(std::string_view output)
{
    constexpr std::string_view kBlanks = " \t";
    std::vector<ParsedPackage> packages;
    for (std::string_view line : split(output, "\n")) {
        const std::size_t open = line.find('(');
        const std::size_t close = line.rfind(')');
        if (open == std::string_view::npos || close == std::string_view::npos || close < open)
            continue;
        const std::string_view name = trim(line.substr(0, open), kBlanks);
        if (name.empty())
            continue;
        std::optional<std::string_view> version;
        for (std::string_view piece : split(line.substr(open + 1, close - open - 1), ",")) {
            piece = trim(piece, kBlanks);
            if (!piece.empty() && !piece.starts_with("default:")) {
                version = piece;
                break;
            }
        }
        if (version)
            packages.push_back(ParsedPackage{std::string(name), std::string(*version)});
    }
    return packages;
}

std::string normalizedPipName(std::string_view name)
{
    std::string normalized;
    normalized.reserve(name.size());
    for (char c : name) {
        if (c == '_' || c == '.')
            normalized.push_back('-');
        else if (c >= 'A' && c <= 'Z')
            normalized.push_back(static_cast<char>(c - 'A' + 'a'));
        else
            normalized.push_back(c);
    }
    return normalized;
}

} // namespace veldo::scanners::PackageScanner
