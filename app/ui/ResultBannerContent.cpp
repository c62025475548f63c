// The result banner's texts.
#include "app/ui/ResultBannerContent.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include <QStringList>

#include "app/controller/UninstallViewModel.h"
#include "platform/ByteCountFormatter.h"
#include "platform/Inflection.h"

namespace veldo::ui {

namespace {

QString items(std::size_t count)
{
    return QString::fromStdString(
        platform::pluralizedCount(static_cast<std::int64_t>(count), "item"));
}

std::int64_t trashedBytes(const removal::UninstallOutcome& outcome)
{
    std::int64_t total = 0;
    for (const core::LeftoverItem& item : outcome.trashed) {
        if (item.sizeBytes > 0 && total > std::numeric_limits<std::int64_t>::max() - item.sizeBytes)
            return std::numeric_limits<std::int64_t>::max();
        total += item.sizeBytes;
    }
    return total;
}

// `revealed` is how many failed items "Reveal in Finder" shows, and `offersReveal` whether the
// banner shows that button.
QString summaryOf(const removal::UninstallOutcome& outcome, bool blocked, std::size_t revealed,
                  bool offersReveal)
{
    if (blocked)
        return QStringLiteral("macOS blocked Veldo from changing other apps. Turn on Veldo in App "
                              "Management and reopen Veldo; apps then move to the Trash without a "
                              "password.");
    const std::size_t failed = outcome.failed.size();
    if (outcome.trashed.empty() && failed > 0) {
        if (!offersReveal)
            return items(failed) + QStringLiteral(" couldn’t be removed");
        // Every failure can be removed by hand; with refused ones beside them, the parts below
        // tell the two apart.
        if (revealed == failed) {
            const QString pronoun = failed == 1 ? QStringLiteral("it") : QStringLiteral("them");
            return items(failed) + QStringLiteral(" couldn’t be moved — reveal ") + pronoun +
                   QStringLiteral(" to remove ") + pronoun + QStringLiteral(" in Finder.");
        }
    }
    QStringList parts;
    if (!outcome.trashed.empty())
        parts << QStringLiteral("Moved ") + items(outcome.trashed.size()) + QStringLiteral(" (") +
                     QString::fromStdString(platform::sizeText(trashedBytes(outcome))) +
                     QStringLiteral(") to the Trash — freed after you empty it");
    else if (failed == 0)
        parts << QStringLiteral("Nothing needed moving");
    if (!outcome.alreadyMissing.empty())
        parts << items(outcome.alreadyMissing.size()) + QStringLiteral(" already gone");
    if (failed > 0) {
        if (!offersReveal) {
            parts << items(failed) + QStringLiteral(" couldn’t be removed");
        } else {
            parts << items(revealed) + QStringLiteral(" need") +
                         (revealed == 1 ? QStringLiteral("s") : QString()) +
                         QStringLiteral(" admin — reveal in Finder");
            if (failed > revealed)
                parts << items(failed - revealed) + QStringLiteral(" couldn’t be removed");
        }
    }
    const std::size_t withoutRestore = outcome.trashedWithoutRestorePointCount();
    if (!outcome.restorePoints.empty() && withoutRestore >= 1)
        parts << QString::number(withoutRestore) + QStringLiteral(" can’t be undone");
    return parts.join(QStringLiteral(" · "));
}

} // namespace

std::vector<core::LeftoverItem>
ResultBannerContent::revealable(const removal::UninstallOutcome& outcome)
{
    std::vector<core::LeftoverItem> revealed;
    for (const removal::UninstallOutcome::Failure& failure : outcome.failed)
        if (!outcome.refusedIDs.contains(failure.item.id()))
            revealed.push_back(failure.item);
    return revealed;
}

ResultBannerContent ResultBannerContent::of(const removal::UninstallOutcome& outcome)
{
    ResultBannerContent c;
    const bool blocked = outcome.appBlockedByAppManagement();
    const std::vector<core::LeftoverItem> revealed = revealable(outcome);
    const bool offersReveal = std::ranges::any_of(
        revealed, [](const core::LeftoverItem& item) { return item.requiresAdmin; });
    if (outcome.failed.empty()) {
        c.title = QStringLiteral("Moved to Trash");
        c.symbol = "checkmark.circle.fill";
        c.tint = SystemColor::green;
    } else if (blocked) {
        c.title = QStringLiteral("Permission Needed");
        c.symbol = "gearshape.fill";
        c.tint = SystemColor::blue;
    } else if (outcome.trashed.empty()) {
        c.title = QStringLiteral("Couldn’t Remove");
        c.symbol = "lock.shield.fill";
        c.tint = SystemColor::blue;
    } else {
        c.title = QStringLiteral("Partly Removed");
        c.symbol = "exclamationmark.triangle.fill";
        c.tint = SystemColor::orange;
    }
    c.summary = summaryOf(outcome, blocked, revealed.size(), offersReveal);
    c.showsOpenSettings = blocked;
    c.showsRevealInFinder = offersReveal;
    c.showsUndo = controller::UninstallViewModel::canBeUndone(outcome);
    c.undoHelp = controller::UninstallViewModel::undoNeedsAdministrator(outcome)
                     ? QStringLiteral("Put everything back (⌥⌘Z). Items moved with your "
                                      "administrator password need it again.")
                     : QStringLiteral("Put everything back where it was (⌥⌘Z). Also in Edit "
                                      "▸ Undo Last Cleanup.");
    return c;
}

} // namespace veldo::ui
