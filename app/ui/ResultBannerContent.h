// ResultBannerContent: what the result banner shows for an outcome: title, symbol, tint, summary
// sentence, which buttons appear and the Undo help text. A pure function of the outcome.
//
// Every failed item is offered for removal by hand but those the removal-safety policy refused
// (the outcome's refused ids): revealing a protected folder would invite the user to trash it in
// Finder. "Reveal in Finder" appears when one of the offered items needs an administrator; it
// shows them all and the summary's reveal sentence counts them, while the refused ones "couldn’t
// be removed". Without the button the summary invites no reveal.
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
    // The failed items the removal-safety policy did not refuse, in order: what "Reveal in
    // Finder" shows.
    static std::vector<core::LeftoverItem> revealable(const removal::UninstallOutcome& outcome);

    // "Title. Summary": what is announced.
    QString announcement() const { return title + QStringLiteral(". ") + summary; }
};

} // namespace veldo::ui
