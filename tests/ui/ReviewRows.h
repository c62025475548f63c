// reviewRowTexts(sheet): the summary rows of a removal review sheet as they read, top to bottom.
#pragma once

#include <gtest/gtest.h>

#include <QLayout>
#include <QStringList>
#include <QWidget>

#include "app/ui/SymbolLabel.h"
#include "tests/ui/ChildLookup.h"

namespace veldo::testsupport {

// The texts of the rows in the sheet's "summaryRows" box, in layout order; a sheet without that
// box fails the test.
inline QStringList reviewRowTexts(const QWidget* sheet)
{
    const QWidget* box = child<QWidget>(sheet, "summaryRows");
    if (!box || !box->layout()) {
        ADD_FAILURE() << "the sheet has no summary rows";
        return {};
    }
    QStringList texts;
    const QLayout& rows = *box->layout();
    for (int i = 0; i < rows.count(); ++i)
        if (const auto* row = qobject_cast<const ui::SymbolLabel*>(rows.itemAt(i)->widget()))
            texts << row->text();
    return texts;
}

} // namespace veldo::testsupport
