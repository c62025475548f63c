// The disk-usage map view: faces by size, texts for tooltips and assistive tools, clicks, and
// buttons that keep their identity across layouts.
#include "app/ui/TreemapView.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QAccessible>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include "app/ui/SymbolImage.h"
#include "platform/ByteCountFormatter.h"
#include "tests/ui/PaintedTexts.h"

namespace veldo::ui {
namespace {

TreemapTile tile(std::string id, std::int64_t bytes, std::optional<std::string> symbol = {})
{
    return {std::move(id), QString::fromStdString("Tile"), bytes, QColor(Qt::blue),
            std::move(symbol)};
}

// What a tile writes over its fill, read from what it paints.
enum class Face
{
    labelAndSize, // the label block with the size
    label,        // the label block alone
    symbol,       // the white symbol alone
    fill,         // nothing
    other
};

// The face of a tile made by tile(): labelled "Tile", of `bytes`, with "mug.fill" or no symbol.
Face paintedFace(TreemapTileButton& button, std::int64_t bytes)
{
    const QList<testsupport::PaintedText> painted = testsupport::paintedTexts(button);
    QStringList texts;
    for (const testsupport::PaintedText& t : painted)
        texts << t.text;
    if (texts.isEmpty())
        return Face::fill;
    if (texts.contains(QStringLiteral("Tile")))
        return texts.contains(QString::fromStdString(platform::sizeText(bytes)))
                   ? Face::labelAndSize
                   : Face::label;
    const QString glyph = SymbolImage::glyph("mug.fill").value_or(QString());
    const bool symbolAlone =
        std::ranges::all_of(texts, [&](const QString& t) { return t == glyph; });
    return symbolAlone && painted.back().color == QColor(Qt::white) ? Face::symbol : Face::other;
}

QString accessibleText(QWidget* widget, QAccessible::Text t)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
    return a ? a->text(t) : QStringLiteral("<none>");
}

TEST(TreemapView, FaceFollowsStrictSizeThresholds)
{
    struct Case
    {
        int width;
        int height;
        bool symbol;
        Face face;
    };
    const std::vector<Case> cases{
        {85, 47, true, Face::labelAndSize}, {85, 46, true, Face::label},
        {84, 47, false, Face::label},       {61, 27, true, Face::label},
        {61, 26, true, Face::symbol},       {60, 27, true, Face::symbol},
        {60, 26, false, Face::fill},        {23, 23, true, Face::symbol},
        {23, 22, true, Face::fill},         {22, 23, true, Face::fill},
    };
    for (const Case& c : cases) {
        TreemapView view(
            {tile("a", 10, c.symbol ? std::optional<std::string>("mug.fill") : std::nullopt)},
            std::nullopt, nullptr);
        view.resize(c.width, c.height);
        view.show();
        ASSERT_EQ(view.buttons().size(), 1U);
        TreemapTileButton* b = view.buttons().front();
        EXPECT_EQ(b->geometry(), QRect(0, 0, c.width, c.height));
        EXPECT_EQ(paintedFace(*b, 10), c.face) << c.width << "×" << c.height;
        // Every face paints without trouble.
        EXPECT_FALSE(b->grab().isNull());
    }
}

TEST(TreemapView, TextsForToolTipsAndAssistiveTools)
{
    TreemapView view({{"a", QStringLiteral("Caches"), 3'000'000, QColor(Qt::red), "mug.fill"},
                      {"b", QStringLiteral("Empty"), 0, QColor(Qt::red), std::nullopt},
                      {"c", QStringLiteral("Odd"), -5, QColor(Qt::red), std::nullopt},
                      {"d", QStringLiteral("Rest"), 1'000'000, QColor(Qt::red), std::nullopt}},
                     QStringLiteral("Shows its contents"), [](const TreemapTile&) {});
    view.resize(400, 300);
    view.show();
    EXPECT_EQ(view.accessibleName(), QStringLiteral("Disk usage map"));
    QAccessibleInterface* map = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->role(), QAccessible::Grouping);

    TreemapTileButton* a = view.button("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->toolTip(), QStringLiteral("Caches — 3 MB"));
    EXPECT_EQ(a->accessibleName(), QStringLiteral("Caches, 3 MB"));
    EXPECT_EQ(accessibleText(a, QAccessible::Value), QStringLiteral("75% of total"));
    EXPECT_EQ(accessibleText(a, QAccessible::Description), QStringLiteral("Shows its contents"));
    EXPECT_EQ(accessibleText(view.button("d"), QAccessible::Value), QStringLiteral("25% of total"));

    // Zero and negative tiles sort last, into a space already used up: no buttons.
    EXPECT_EQ(view.button("b"), nullptr);
    EXPECT_EQ(view.button("c"), nullptr);
    // Had they one, their size would read "Zero KB".
    for (std::int64_t bytes : {std::int64_t{0}, std::int64_t{-5}}) {
        const TreemapTile empty{"z", QStringLiteral("Empty"), bytes, QColor(Qt::red), {}};
        TreemapTileButton button(empty, nullptr);
        button.place(empty, QRectF(0, 0, 90, 50), TreemapView::shareText(bytes, 4'000'000), {});
        EXPECT_EQ(button.toolTip(), QStringLiteral("Empty — Zero KB"));
        EXPECT_EQ(button.accessibleName(), QStringLiteral("Empty, Zero KB"));
        EXPECT_EQ(accessibleText(&button, QAccessible::Value), QStringLiteral("0% of total"));
    }

    view.setActionHint(std::nullopt);
    EXPECT_EQ(accessibleText(a, QAccessible::Description), QString());
}

TEST(TreemapView, SharesOfEmptyAndHugeTotals)
{
    {
        TreemapView view({tile("a", 0), tile("b", 0)}, std::nullopt, nullptr);
        view.resize(200, 100);
        view.show();
        EXPECT_TRUE(view.buttons().empty()) << "nothing to lay out";
        EXPECT_EQ(TreemapView::shareText(0, 0), QString());
        EXPECT_EQ(TreemapView::shareText(5, -3), QString());
    }
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    TreemapView view({tile("a", kMax), tile("b", kMax)}, std::nullopt, nullptr);
    view.resize(200, 100);
    view.show();
    ASSERT_EQ(view.buttons().size(), 2U);
    for (TreemapTileButton* b : view.buttons())
        EXPECT_EQ(accessibleText(b, QAccessible::Value), QStringLiteral("50% of total"));
    EXPECT_EQ(view.button("a")->geometry(), QRect(0, 0, 100, 100));
    EXPECT_EQ(view.button("b")->geometry(), QRect(100, 0, 100, 100));

    // A single byte among zeros is the whole; negatives do not lower the total.
    EXPECT_EQ(TreemapView::shareText(1, 1), QStringLiteral("100% of total"));
    EXPECT_EQ(TreemapView::shareText(-4, 1), QStringLiteral("0% of total"));
}

TEST(TreemapView, ButtonsAreDisabledWithoutAHandler)
{
    TreemapView view({tile("a", 2), tile("b", 1)}, std::nullopt, nullptr);
    view.resize(300, 200);
    view.show();
    for (TreemapTileButton* b : view.buttons()) {
        EXPECT_FALSE(b->isEnabled());
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
        EXPECT_TRUE(a->state().disabled);
    }
    std::vector<std::string> clicked;
    view.setOnSelect([&](const TreemapTile& t) { clicked.push_back(t.id); });
    for (TreemapTileButton* b : view.buttons())
        EXPECT_TRUE(b->isEnabled());
}

TEST(TreemapView, AClickSelectsItsTileOnce)
{
    std::vector<TreemapTile> selected;
    TreemapView view({tile("a", 6), tile("b", 3)}, std::nullopt,
                     [&](const TreemapTile& t) { selected.push_back(t); });
    view.resize(300, 200);
    view.show();
    TreemapTileButton* b = view.button("b");
    ASSERT_NE(b, nullptr);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(b->width() / 2, b->height() / 2));
    ASSERT_EQ(selected.size(), 1U);
    EXPECT_EQ(selected.front().id, "b");
    EXPECT_EQ(selected.front().bytes, 3);

    // A handler that replaces the tiles under the click is safe: the old button goes later.
    selected.clear();
    view.setOnSelect([&](const TreemapTile& t) {
        selected.push_back(t);
        view.setTiles({tile("x", 1)});
    });
    TreemapTileButton* a = view.button("a");
    QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(selected.size(), 1U);
    EXPECT_EQ(view.button("a"), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view.buttons().size(), 1U);
    EXPECT_EQ(view.findChildren<TreemapTileButton*>().size(), 1);
}

TEST(TreemapView, ButtonsKeepTheirIdentityAcrossLayouts)
{
    TreemapView view({tile("a", 6), tile("b", 3), tile("c", 1)}, std::nullopt, nullptr);
    view.resize(600, 400);
    view.show();
    TreemapTileButton* a = view.button("a");
    TreemapTileButton* c = view.button("c");
    const QRect before = a->geometry();
    view.resize(300, 500);
    EXPECT_EQ(view.button("a"), a);
    EXPECT_EQ(view.button("c"), c);
    EXPECT_NE(a->geometry(), before);
    EXPECT_EQ(a->geometry(), QRect(0, 0, 300, 300)) << "a strip on top of a tall space";

    // New sizes for the same ids: same buttons, new rectangles; a dropped id loses its button.
    view.setTiles({tile("c", 9), tile("a", 1)});
    EXPECT_EQ(view.button("c"), c);
    EXPECT_EQ(view.button("a"), a);
    EXPECT_EQ(view.button("b"), nullptr);
    EXPECT_EQ(view.buttons().front(), c) << "placement order: largest first";
    EXPECT_EQ(c->tile().bytes, 9);
}

} // namespace
} // namespace veldo::ui
