// HelpContent: the Help window's fixed table: seven sections, each with its symbol and rows, in
// display order. Pure; any thread.
#pragma once

#include <string>
#include <vector>

#include <QString>

#include "app/ui/HelpRow.h"

namespace veldo::ui {

struct HelpSectionContent
{
    QString title;
    std::string systemImage;
    std::vector<HelpRow> rows;
};

// The table; `updateHost` is the host the update check contacts, named in the privacy section.
std::vector<HelpSectionContent> helpContent(const QString& updateHost);

} // namespace veldo::ui
