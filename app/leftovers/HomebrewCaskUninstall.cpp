// Uninstalling a Homebrew cask through brew, and classifying what brew said.
#include "app/leftovers/HomebrewCaskUninstall.h"

#include <algorithm>
#include <array>

#include "app/core/CommandRunner.h"
#include "app/leftovers/HomebrewCaskIndexCache.h"
#include "app/leftovers/HomebrewText.h"
#include "app/leftovers/NameText.h"
#include "platform/Unicode.h"

namespace veldo::leftovers::HomebrewCasks {

namespace {

namespace CommandRunner = core::CommandRunner;

// What sudo and brew print when a password was needed and could not be read.
constexpr std::array<std::string_view, 7> kPasswordTexts = {
    "a terminal is required to read the password",
    "no tty present",
    "a password is required",
    "sudo: no askpass program",
    "sorry, try again",
    "must be run as root",
    "sudo: unable to read password",
};

constexpr std::array<std::string_view, 3> kNotInstalledTexts = {
    "is not installed",
    "no such cask",
    "no available cask",
};

bool containsAny(std::string_view text, const auto& needles)
{
    return std::any_of(needles.begin(), needles.end(), [&](std::string_view needle) {
        return text.find(needle) != std::string_view::npos;
    });
}

bool isTokenCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
           c == '+' || c == '@';
}

CommandRunner::Environment uninstallEnvironment(const std::vector<platform::MacPath>& searchPath)
{
    CommandRunner::Environment env = CommandRunner::processEnvironment();
    const auto own = env.find("PATH");
    const std::string ownPath = own == env.end() ? std::string() : own->second;
    env["PATH"] = CommandRunner::childSearchPath(searchPath, ownPath);
    const std::string on = "1";
    for (const char* name : {"HOMEBREW_NO_AUTO_UPDATE", "HOMEBREW_NO_ENV_HINTS",
                             "HOMEBREW_NO_INSTALL_CLEANUP", "NONINTERACTIVE"})
        env[name] = on;
    env.erase("SUDO_ASKPASS");
    return env;
}

} // namespace

Result<UninstallResult> uninstall(const std::string& token, Zap zap,
                                  std::chrono::milliseconds timeout,
                                  const CommandRunner::RunOptions& options, std::stop_token stop)
{
    UninstallResult result{token, zap == Zap::yes, {}, std::nullopt};
    if (!isValidToken(token)) {
        result.failure = UninstallFailure::of(UninstallFailure::Kind::invalidToken);
        return result;
    }
    const auto searchPath = CommandRunner::searchPath(stop);
    if (!searchPath)
        return searchPath.error();
    const auto brew =
        CommandRunner::which("brew", *searchPath, CommandRunner::commandLineToolsInstalled());
    if (!brew) {
        result.failure = UninstallFailure::of(UninstallFailure::Kind::brewNotFound);
        return result;
    }

    const auto output =
        CommandRunner::run(*brew, uninstallArguments(token, zap), uninstallEnvironment(*searchPath),
                           timeout, options, std::move(stop));
    IndexCache::shared().invalidate();
    if (!output && output.error().code == ErrorCode::cancelled)
        return output.error();
    if (!output) {
        result.failure = UninstallFailure::of(UninstallFailure::Kind::couldNotRun);
        return result;
    }

    if (!output->stdout.empty())
        result.output = output->stdout;
    if (!output->stderr.empty()) {
        if (!result.output.empty())
            result.output.push_back('\n');
        result.output.append(output->stderr);
    }
    result.failure =
        classifyUninstall(output->stdout, output->stderr, output->code, output->timedOut);
    return result;
}

std::vector<std::string> uninstallArguments(const std::string& token, Zap zap)
{
    std::vector<std::string> arguments{"uninstall", "--cask"};
    if (zap == Zap::yes)
        arguments.emplace_back("--zap");
    arguments.push_back(token);
    return arguments;
}

bool isValidToken(std::string_view token)
{
    if (token.starts_with("-"))
        return false;
    std::vector<std::string_view> pieces;
    for (std::string_view rest = token;;) {
        const auto slash = rest.find('/');
        pieces.push_back(rest.substr(0, slash));
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    if (pieces.size() != 1 && pieces.size() != 3)
        return false;
    return std::all_of(pieces.begin(), pieces.end(), [](std::string_view piece) {
        return !piece.empty() && !piece.starts_with("-") && piece != "." && piece != ".." &&
               std::all_of(piece.begin(), piece.end(), isTokenCharacter);
    });
}

std::optional<UninstallFailure> classifyUninstall(std::string_view stdout, std::string_view stderr,
                                                  std::int32_t code, bool timedOut)
{
    if (timedOut)
        return UninstallFailure::of(UninstallFailure::Kind::timedOut);
    if (code == 0)
        return std::nullopt;

    std::string combined(stderr);
    combined.push_back('\n');
    combined.append(stdout);
    const std::string lowered = detail::asciiLowercased(combined);
    if (containsAny(lowered, kPasswordTexts))
        return UninstallFailure::of(UninstallFailure::Kind::needsAdministratorPassword);
    if (containsAny(lowered, kNotInstalledTexts))
        return UninstallFailure::of(UninstallFailure::Kind::notInstalled);

    std::vector<std::string_view> lines;
    for (const std::string_view line : detail::nonEmptyLines(combined)) {
        const std::string_view trimmed = platform::trimmedSpacesAndTabs(line);
        if (!trimmed.empty())
            lines.push_back(trimmed);
    }
    if (lines.empty())
        return UninstallFailure::failed("brew uninstall failed (exit " + std::to_string(code) +
                                        ")");
    for (const std::string_view line : lines) {
        if (detail::asciiLowercased(line.substr(0, 5)) == "error")
            return UninstallFailure::failed(std::string(line));
    }
    return UninstallFailure::failed(std::string(lines.front()));
}

} // namespace veldo::leftovers::HomebrewCasks
