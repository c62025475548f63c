// ResultBannerContent: what the result banner shows for an outcome: title, symbol, tint, summary
// sentence, which buttons appear and the Undo help text. A pure function of the outcome.
//
// The summary counts only the failed items that need an administrator as needing one; the others
// are "couldn’t be removed". It invites the user to reveal failed items in Finder only when the
// banner offers "Reveal in Finder" (some failed item needs an administrator).
#pragma once

#include <string>

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

    // "Title. Summary": what is announced.
    QString announcement() const { return title + QStringLiteral(". ") + summary; }
};

} // namespace veldo::ui
