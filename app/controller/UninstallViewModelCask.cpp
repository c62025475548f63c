// UninstallViewModel: the detail app's Homebrew cask and its uninstall through brew.
#include <algorithm>
#include <utility>

#include "app/controller/UninstallViewModel.h"
#include "app/core/AppProtection.h"
#include "platform/Inflection.h"

namespace veldo::controller {

namespace {

using leftovers::HomebrewCasks::UninstallFailure;
using leftovers::HomebrewCasks::UninstallResult;
using leftovers::HomebrewCasks::Zap;

std::string quoted(const std::string& name)
{
    return "“" + name + "”";
}

std::string terminalCommand(const std::string& token, Zap zap)
{
    std::string command = "brew";
    for (const std::string& argument : leftovers::HomebrewCasks::uninstallArguments(token, zap))
        command += " " + argument;
    return command;
}

std::string withHelpers(std::string message, const std::optional<std::string>& helpers)
{
    if (helpers)
        message += " " + *helpers;
    return message;
}

} // namespace

std::string UninstallViewModel::caskFailureMessage(const UninstallFailure& failure)
{
    switch (failure.kind) {
    case UninstallFailure::Kind::failed:
        return failure.message;
    case UninstallFailure::Kind::brewNotFound:
        return "Homebrew isn't installed, or Veldo couldn't find brew.";
    case UninstallFailure::Kind::invalidToken:
        return "This isn't a valid Homebrew cask name.";
    case UninstallFailure::Kind::needsAdministratorPassword:
        return "Homebrew needs your administrator password to uninstall this cask. Run the "
               "command in Terminal instead.";
    case UninstallFailure::Kind::notInstalled:
        return "Homebrew says this cask isn't installed.";
    case UninstallFailure::Kind::timedOut:
        return "brew didn't finish in time.";
    case UninstallFailure::Kind::couldNotRun:
        return "Veldo couldn't run brew.";
    }
    return "Veldo couldn't run brew.";
}

std::optional<UninstallViewModel::DetailCaskState> UninstallViewModel::detailCaskState() const
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    const std::optional<core::InstalledApp> app = selectedApp();
    if (!app)
        return std::nullopt;
    const std::optional<leftovers::CaskInfo> cask = caskToken(app->url);
    if (!cask || core::appProtectionReason(*app).isProtected ||
        m_detailAppLocation != DetailAppLocation::installed)
        return std::nullopt;
    return DetailCaskState{cask->token, cask->hasZap};
}

Task<void> UninstallViewModel::uninstallCask(Zap zap)
{
    VELDO_CHECK_SEQUENCE(m_sequence);
    if (m_isRemoving || m_isUndoing)
        co_return;
    const std::optional<core::InstalledApp> shown = selectedApp();
    if (!shown)
        co_return;
    // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): the coroutine's own copy
    const core::InstalledApp app = *shown;
    const std::optional<leftovers::CaskInfo> cask = caskToken(app.url);
    if (!cask) {
        setDropNotice("Homebrew no longer lists " + quoted(app.name) +
                      " as installed, so brew wasn’t run. Rescan to see what’s there now.");
        co_return;
    }
    if (core::appProtectionReason(app).isProtected ||
        m_detailAppLocation != DetailAppLocation::installed)
        co_return;
    setIsRemoving(true);

    // The size is taken before brew runs: the detail pane may show another app afterwards.
    std::int64_t appSize = app.sizeBytes;
    if (const auto bundle = std::ranges::find(m_leftovers, core::LeftoverCategory::application,
                                              &core::LeftoverItem::category);
        bundle != m_leftovers.end())
        appSize = bundle->sizeBytes;

    Task<std::optional<QuitWaitResult>> quit = quitBeforeRemoval(app, "Homebrew wasn’t run");
    const std::optional<QuitWaitResult> afterQuit = co_await quit;
    if (!afterQuit)
        co_return;
    std::optional<std::string> helpersMessage = helperProcessesNotice(afterQuit->helpersOnly);

    std::vector<core::LeftoverItem> bundle{
        core::LeftoverItem{app.url, core::LeftoverCategory::application, appSize, false,
                           core::MatchConfidence::certain}};
    std::vector<core::InstalledApp> expected{app};
    expectRemoval(bundle, expected);

    auto run = [service = m_services.caskUninstall, token = cask->token, zap,
                stop = shutdownToken()] { return service(token, zap, stop); };
    const Result<UninstallResult> ran = co_await inBackground(m_toolPool, std::move(run));
    UninstallResult result;
    if (ran) {
        result = *ran;
    } else {
        result.token = cask->token;
        result.zap = zap == Zap::yes;
        result.failure = UninstallFailure::of(UninstallFailure::Kind::couldNotRun);
    }

    refreshCaskIndex(true);
    setHasScannedPackages(false);

    const bool bundleGone = !m_services.fileExists(app.url);
    if (bundleGone) {
        m_stats->record(appSize, 1, 1);
        std::vector<core::InstalledApp> apps = m_apps;
        std::erase_if(apps, [&](const core::InstalledApp& listed) {
            return listed.url.standardized() == app.url.standardized();
        });
        setApps(std::move(apps));
        emptyLeftoverCache();
        setHasScannedDeveloper(false);
    }

    if (result.failure) {
        std::string message = caskFailureMessage(*result.failure);
        if (bundleGone)
            message = "Homebrew deleted " + quoted(app.name) +
                      " but didn’t finish cleaning up after it. " + message;
        setCaskFailure(CaskFailure{QUuid::createUuid(), app.name, cask->token, std::move(message),
                                   terminalCommand(cask->token, zap), result.output, bundleGone});
        playCompletionSound(false);
        if (bundleGone && m_selectedAppID == app.id()) {
            setDetailAppLocation(DetailAppLocation::removed);
            co_await scanLeftovers();
        }
        setIsRemoving(false);
        co_return;
    }

    playCompletionSound(true);
    const std::string uninstalled = "Homebrew uninstalled " + quoted(app.name) + ".";
    if (m_selectedAppID != app.id()) {
        setDropNotice(uninstalled);
        setIsRemoving(false);
        co_return;
    }
    setDetailAppLocation(bundleGone ? DetailAppLocation::removed : DetailAppLocation::installed);
    co_await scanLeftovers();
    if (m_selectedAppID != app.id()) {
        // Another app was chosen during the rescan: it stays shown and selected.
        setDropNotice(withHelpers(uninstalled, helpersMessage));
        setIsRemoving(false);
        co_return;
    }
    const auto left = std::ranges::count_if(m_leftovers, [](const core::LeftoverItem& item) {
        return item.category != core::LeftoverCategory::application;
    });
    const std::string message = left == 0 ? uninstalled + " Veldo found nothing else left behind."
                                          : uninstalled + " Veldo found " +
                                                platform::pluralizedCount(left, "leftover item") +
                                                " — review them below and move them to the Trash.";
    setDropNotice(withHelpers(message, helpersMessage));
    if (left == 0 && bundleGone) {
        clearDetail();
        setSelectedAppIDs({});
    }
    setIsRemoving(false);
}

} // namespace veldo::controller
