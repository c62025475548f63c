// The search box bound to a text the controller owns.
#include "app/ui/SearchField.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

namespace veldo::ui {
namespace {

TEST(SearchField, UserEditsReportAndShownTextsDoNot)
{
    SearchField field(QStringLiteral("Search apps"));
    EXPECT_EQ(field.placeholderText(), QStringLiteral("Search apps"));
    QSignalSpy edits(&field, &SearchField::textEditedByUser);

    QTest::keyClicks(&field, QStringLiteral("ab"));
    ASSERT_EQ(edits.count(), 2);
    EXPECT_EQ(edits.last().front().toString(), QStringLiteral("ab"));

    field.showText(QStringLiteral("other"));
    field.showText(QStringLiteral("other"));
    EXPECT_EQ(field.text(), QStringLiteral("other"));
    EXPECT_EQ(edits.count(), 2) << "a text set from outside is not echoed back";

    field.setCursorPosition(2);
    field.showText(QStringLiteral("other"));
    EXPECT_EQ(field.cursorPosition(), 2) << "an unchanged text keeps the cursor";

    QTest::keyClick(&field, Qt::Key_Backspace);
    EXPECT_EQ(edits.last().front().toString(), QStringLiteral("oher"));
}

} // namespace
} // namespace veldo::ui
