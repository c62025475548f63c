// reviewRowTexts(sheet): the summary rows of a removal review sheet as they read, top to bottom;
// warningRowTexts(sheet) likewise the warnings of a Homebrew uninstall sheet; returnConfirms(sheet)
// whether Return would confirm a sheet.
#pragma once

#include <gtest/gtest.h>

#include <QLayout>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include "app/ui/SymbolLabel.h"
#include "tests/ui/ChildLookup.h"

namespace veldo::testsupport {

// The texts of the symbol rows that `rows` lays out, in order.
inline QStringList symbolRowTexts(const QLayout& rows)
{
    QStringList texts;
    for (int i = 0; i < rows.count(); ++i)
        if (const auto* row = qobject_cast<const ui::SymbolLabel*>(rows.itemAt(i)->widget()))
            texts << row->text();
    return texts;
}

// The texts of the rows in the sheet's "summaryRows" box, in layout order; a sheet without that
// box fails the test.
inline QStringList reviewRowTexts(const QWidget* sheet)
{
    const QWidget* box = child<QWidget>(sheet, "summaryRows");
    if (!box || !box->layout()) {
        ADD_FAILURE() << "the sheet has no summary rows";
        return {};
    }
    return symbolRowTexts(*box->layout());
}

// The texts of the rows the sheet's "warningRows" layout holds, in order; a sheet without it
// fails the test.
inline QStringList warningRowTexts(const QWidget* sheet)
{
    const QLayout* rows = child<QLayout>(sheet, "warningRows");
    if (!rows) {
        ADD_FAILURE() << "the sheet has no warning rows";
        return {};
    }
    return symbolRowTexts(*rows);
}

// Return confirms when the sheet's "confirmButton" is its default button and enabled.
inline bool returnConfirms(const QWidget* sheet)
{
    const auto* confirm = child<QPushButton>(sheet, "confirmButton");
    if (!confirm) {
        ADD_FAILURE() << "the sheet has no confirm button";
        return false;
    }
    return confirm->isDefault() && confirm->isEnabled();
}

} // namespace veldo::testsupport
