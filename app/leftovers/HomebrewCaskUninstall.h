// HomebrewCasks uninstall: lets Homebrew itself remove a cask (optionally with its zap stanza)
// and says which of a fixed set of situations a failed run was.
//
// uninstall blocks for the whole brew run (up to its time-out, or until stopped) and is meant for
// a background thread; it never throws. Every run of brew, even one that failed to start,
// invalidates the cask index cache (HomebrewCasks::IndexCache), so the next index load reads the
// Caskroom again. An invalid token and a missing brew return before anything runs and leave the
// cache alone.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/CommandRunner.h"
#include "base/Result.h"

namespace veldo::leftovers::HomebrewCasks {

// How long a "brew uninstall" run may take before it is stopped.
inline constexpr std::chrono::seconds kUninstallTimeout{900};

// Whether the uninstall also runs the cask's zap stanza ("--zap"), removing its support files.
enum class Zap
{
    no,
    yes,
};

// Why a cask uninstall did not succeed. Equality compares the kind and the message.
struct UninstallFailure
{
    enum class Kind
    {
        failed,                     // brew exited non-zero, nothing more specific recognised
        brewNotFound,               // no usable brew in the tool search path
        invalidToken,               // the token failed the shape check; brew did not run
        needsAdministratorPassword, // brew needed sudo and could not ask for a password
        notInstalled,               // Homebrew says the cask is not installed or does not exist
        timedOut,                   // the run passed its time-out and was stopped
        couldNotRun,                // brew was found but could not be started
    };

    Kind kind = Kind::failed;
    // For failed only: brew's first error line, else its first line, else
    // "brew uninstall failed (exit N)". Empty for every other kind.
    std::string message;

    static UninstallFailure failed(std::string message)
    {
        return {Kind::failed, std::move(message)};
    }
    static UninstallFailure of(Kind kind) { return {kind, {}}; }

    friend bool operator==(const UninstallFailure&, const UninstallFailure&) = default;
};

struct UninstallResult
{
    std::string token; // the token asked for, unchanged
    bool zap = false;  // whether the zap variant was asked for
    // brew's standard output and standard error, each only when not empty, joined with a line
    // feed (standard output first); empty when brew did not run.
    std::string output;
    std::optional<UninstallFailure> failure; // none on success

    friend bool operator==(const UninstallResult&, const UninstallResult&) = default;
};

// Checks the token, finds brew, runs "brew uninstall --cask [--zap] <token>" with the null
// device as input, no auto-update, no hints, no clean-up, NONINTERACTIVE=1 and no SUDO_ASKPASS,
// for at most `timeout` (with the stop sequence's waits of `options`), invalidates the index
// cache and classifies the run. A stop requested through `stop` ends brew as the time-out does
// (see CommandRunner::run) and fails with cancelled; the cache is invalidated then too, since
// brew may have changed things already; a stop while the tool search path is first looked up
// fails with cancelled before brew runs. Every other outcome is a result, its failure saying what
// went wrong.
Result<UninstallResult> uninstall(const std::string& token, Zap zap,
                                  std::chrono::milliseconds timeout = kUninstallTimeout,
                                  const core::CommandRunner::RunOptions& options = {},
                                  std::stop_token stop = {});

// "uninstall", "--cask", then "--zap" when `zap` says so, then the token.
std::vector<std::string> uninstallArguments(const std::string& token, Zap zap);

// Whether `token` has a cask token's shape: one piece or three ("user/tap/name") split at "/",
// each non-empty, not "." or "..", not beginning with "-", and made of ASCII lower-case
// letters, digits and "-", "_", ".", "+", "@".
bool isValidToken(std::string_view token);

// The failure of a finished run, in this order: timed out; none for exit code 0; a password
// prompt that could not be answered; a cask that is not installed; otherwise failed with
// brew's first error line (standard error first), its first line, or the fallback sentence.
std::optional<UninstallFailure> classifyUninstall(std::string_view stdout, std::string_view stderr,
                                                  std::int32_t code, bool timedOut);

} // namespace veldo::leftovers::HomebrewCasks
