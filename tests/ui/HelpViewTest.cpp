// The Help window's page: the cards against the help table, dividers between rows only, the
// minimum size and the column's width limit.
#include "app/ui/HelpView.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QFrame>
#include <QLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "app/ui/HelpContent.h"
#include "app/ui/HelpSection.h"
#include "tests/ui/ChildLookup.h"

namespace veldo::ui {

using testsupport::child;
namespace {

TEST(HelpView, CardsFollowTheTableWithDividersBetweenRowsOnly)
{
    const struct
    {
        const char* title;
        const char* symbol;
        std::size_t rows;
    } expected[] = {
        {"Get Started", "1.circle.fill", 4},
        {"Already-Removed Apps and Homebrew", "trash.circle.fill", 4},
        {"What Veldo Looks For", "magnifyingglass.circle.fill", 5},
        {"Developer Footprint", "hammer.circle.fill", 3},
        {"Safety Model", "checkmark.shield.fill", 7},
        {"Troubleshooting", "wrench.and.screwdriver.fill", 7},
        {"Privacy", "hand.raised.fill", 4},
    };
    HelpView view(QStringLiteral("updates.example.net"), nullptr);
    // The sections as the column lays them out, top to bottom.
    std::vector<const HelpSection*> sections;
    const QLayout* column = child<QWidget>(view, "column")->layout();
    for (int i = 0; i < column->count(); ++i)
        if (const auto* section = qobject_cast<const HelpSection*>(column->itemAt(i)->widget()))
            sections.push_back(section);
    ASSERT_EQ(sections.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const HelpSection& section = *sections[i];
        EXPECT_EQ(section.title(), expected[i].title);
        EXPECT_EQ(section.systemImage(), expected[i].symbol);
        ASSERT_EQ(section.rows().size(), expected[i].rows) << expected[i].title;
        // The divider below each row, by row; none below the last.
        for (std::size_t r = 0; r < expected[i].rows; ++r) {
            const std::string name = "divider" + std::to_string(r);
            const bool last = r + 1 == expected[i].rows;
            EXPECT_EQ(child<QFrame>(section, name.c_str()) != nullptr, !last)
                << expected[i].title << " row " << r;
        }
        std::size_t lines = 0;
        for (const QFrame* frame : section.findChildren<QFrame*>())
            lines += frame->frameShape() == QFrame::HLine ? 1 : 0;
        EXPECT_EQ(lines, expected[i].rows - 1) << expected[i].title;
    }
}

TEST(HelpView, TextsAreTheTablesOwn)
{
    const auto table = helpContent(QStringLiteral("updates.example.net"));
    const HelpRow& drag = table[0].rows[3];
    EXPECT_TRUE(drag.body.endsWith(QString::fromUtf8("Press \u2318F to search the app list.")));
    const HelpRow& blocked = table[5].rows[1];
    EXPECT_EQ(blocked.title,
              QString::fromUtf8("\u201cmacOS blocked Veldo from changing other apps\u201d"));
    EXPECT_TRUE(table[4].rows[0].body.contains(
        QString::fromUtf8("(Edit \u203a Undo Last Cleanup, \u2325\u2318Z)")));
    const HelpRow& updates = table[6].rows[2];
    EXPECT_EQ(updates.title, "Update checks");
    EXPECT_TRUE(updates.body.contains("updates.example.net"));
    EXPECT_TRUE(updates.body.endsWith(
        QString::fromUtf8("Choose automatic checks and downloads in Settings \u203a Updates.")));
    // Every row has its own id.
    QSet<QUuid> ids;
    for (const auto& section : table)
        for (const auto& row : section.rows)
            ids.insert(row.id);
    EXPECT_EQ(ids.size(), 34);
}

TEST(HelpView, KeepsItsMinimumAndAColumnOfAtMost760)
{
    HelpView view(QStringLiteral("updates.example.net"), nullptr);
    EXPECT_EQ(view.size(), HelpView::defaultSize());
    EXPECT_EQ(view.minimumSize(), QSize(620, 560));
    view.resize(400, 300);
    EXPECT_EQ(view.size(), QSize(620, 560));
    view.resize(1400, 900);
    view.show();
    QCoreApplication::processEvents();
    EXPECT_LE(child<QWidget>(view, "column")->width(), 760);
    EXPECT_EQ(child<QWidget>(view, "column")->x(), 0);
    view.resize(HelpView::defaultSize());
    QCoreApplication::processEvents();
    EXPECT_GT(child<QScrollArea>(view, "scrollArea")->verticalScrollBar()->maximum(), 0);
}

} // namespace
} // namespace veldo::ui
