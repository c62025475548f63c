// ResultBannerContent: what the result banner shows for an outcome: title, symbol, tint, summary
// sentence, which buttons appear and the Undo help text. A pure function of the outcome.
//
// The summary counts as needing an administrator only the failed items that need one and that an
// administrator move may still remove (the outcome's escalatable ids: an item the removal-safety
// policy refused is not among them); the others "couldn’t be removed". Only those items are
// offered for removal by hand: "Reveal in Finder" shows them and the summary's reveal sentence
// counts them.
#pragma once

#include <string>
#include <vector>

#include <QString>

#include "app/removal/UninstallOutcome.h"
#include "app/ui/SystemColors.h"

namespace veldo::ui {

struct ResultBannerContent
{
    QString title;
    std::string symbol;
    SystemColor tint = SystemColor::green;
    QString summary;
    bool showsOpenSettings = false;
    bool showsRevealInFinder = false;
    bool showsUndo = false;
    QString undoHelp;

    static ResultBannerContent of(const removal::UninstallOutcome& outcome);
    // The failed items that failed for want of rights, in order: what "Reveal in Finder" shows.
    static std::vector<core::LeftoverItem> revealable(const removal::UninstallOutcome& outcome);

    // "Title. Summary": what is announced.
    QString announcement() const { return title + QStringLiteral(". ") + summary; }
};

} // namespace veldo::ui
