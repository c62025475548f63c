// The disk-usage map's two levels: kind colours, the tiles of each level, the header line, the
// hints and what a click does, over the controller's toolchain groups.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include "app/ui/ColorMix.h"
#include "app/ui/DeveloperMapTiles.h"
#include "app/ui/DiskUsageMapSection.h"
#include "app/ui/ToolchainKindColor.h"
#include "base/RawValue.h"
#include "platform/qt/FileManagerReveal.h"
#include "tests/support/FakeMac.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/UiFixtures.h"

namespace veldo::ui {

using testsupport::child;
namespace {

using core::ToolchainGroup;
using core::ToolchainItem;
using core::ToolchainKind;

ToolchainItem item(ToolchainKind kind, std::string path, std::int64_t bytes)
{
    ToolchainItem i;
    i.kind = kind;
    i.title = path.substr(path.rfind('/') + 1);
    i.url = platform::MacPath(std::move(path));
    i.sizeBytes = bytes;
    return i;
}

std::vector<ToolchainGroup> sampleGroups()
{
    return {{ToolchainKind::node,
             {item(ToolchainKind::node, "/Users/u/.npm", 2'000),
              item(ToolchainKind::node, "/Users/u/.nvm", 5'000),
              item(ToolchainKind::node, "/Users/u/.yarn", 2'000)}},
            {ToolchainKind::rust, {item(ToolchainKind::rust, "/Users/u/.cargo", 9'000)}},
            {ToolchainKind::go, {item(ToolchainKind::go, "/Users/u/go", 0)}}};
}

std::vector<std::string> ids(const std::vector<TreemapTile>& tiles)
{
    std::vector<std::string> out;
    for (const TreemapTile& t : tiles)
        out.push_back(t.id);
    return out;
}

void nextTurn()
{
    QCoreApplication::processEvents();
}

TEST(ToolchainKindColor, SystemColoursAndThreeMixes)
{
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const auto sys = [scheme](SystemColor c) { return SystemColors::color(c, scheme); };
        EXPECT_EQ(color(ToolchainKind::homebrew, scheme), sys(SystemColor::orange));
        EXPECT_EQ(color(ToolchainKind::java, scheme), sys(SystemColor::brown));
        EXPECT_EQ(color(ToolchainKind::php, scheme), sys(SystemColor::indigo));
        EXPECT_EQ(color(ToolchainKind::testing, scheme), sys(SystemColor::pink));
        EXPECT_EQ(color(ToolchainKind::android, scheme),
                  mixColor(sys(SystemColor::green), sys(SystemColor::yellow), 0.5));
        EXPECT_EQ(color(ToolchainKind::rust, scheme),
                  mixColor(sys(SystemColor::orange), sys(SystemColor::red), 0.55));
        EXPECT_EQ(color(ToolchainKind::cloud, scheme),
                  mixColor(sys(SystemColor::purple), sys(SystemColor::pink), 0.5));
    }
    // Rust leans to red past the middle: more red than an even mix.
    const QColor even = mixColor(SystemColors::color(SystemColor::orange, ColorScheme::light),
                                 SystemColors::color(SystemColor::red, ColorScheme::light), 0.5);
    EXPECT_NE(color(ToolchainKind::rust, ColorScheme::light), even);
}

TEST(DeveloperMapTiles, TopLevelIsOneSummedTilePerGroupInOrder)
{
    const auto groups = sampleGroups();
    const auto tiles = developerCategoryTable(groups, std::nullopt, ColorScheme::light);
    ASSERT_EQ(ids(tiles), (std::vector<std::string>{"node", "rust", "go"}));
    EXPECT_EQ(tiles[0].label, QStringLiteral("Node.js"));
    EXPECT_EQ(tiles[0].bytes, 9'000);
    EXPECT_EQ(tiles[0].systemImage, "hexagon.fill");
    EXPECT_EQ(tiles[1].color, color(ToolchainKind::rust, ColorScheme::light));
    EXPECT_EQ(tiles[2].bytes, 0) << "an empty group still gets its tile";
    EXPECT_TRUE(developerCategoryTable({}, std::nullopt, ColorScheme::light).empty());

    // Sums hold at the limit instead of wrapping.
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    const std::vector<ToolchainGroup> huge{
        {ToolchainKind::xcode,
         {item(ToolchainKind::xcode, "/a", kMax), item(ToolchainKind::xcode, "/b", 5)}}};
    EXPECT_EQ(developerCategoryTable(huge, std::nullopt, ColorScheme::light)[0].bytes, kMax);
}

TEST(DeveloperMapTiles, DrilledInListsItemsLargestFirstKeepingTies)
{
    const auto groups = sampleGroups();
    const auto tiles = developerCategoryTable(groups, ToolchainKind::node, ColorScheme::dark);
    EXPECT_EQ(ids(tiles),
              (std::vector<std::string>{"/Users/u/.nvm", "/Users/u/.npm", "/Users/u/.yarn"}));
    for (const TreemapTile& t : tiles) {
        EXPECT_EQ(t.color, color(ToolchainKind::node, ColorScheme::dark));
        EXPECT_FALSE(t.systemImage.has_value());
    }
    EXPECT_EQ(tiles[0].label, QStringLiteral(".nvm"));
    EXPECT_EQ(tiles[0].bytes, 5'000);

    EXPECT_EQ(selectedGroup(groups, ToolchainKind::rust), &groups[1]);
    EXPECT_EQ(selectedGroup(groups, std::nullopt), nullptr);
    EXPECT_EQ(selectedGroup(groups, ToolchainKind::java), nullptr);
    // A kind without a group shows the top level.
    EXPECT_EQ(ids(developerCategoryTable(groups, ToolchainKind::java, ColorScheme::light)),
              (std::vector<std::string>{"node", "rust", "go"}));
}

TEST(DeveloperMapTiles, HeaderSummaryAndHints)
{
    const auto groups = sampleGroups();
    EXPECT_EQ(mapGroupSummary(groups[0]), QStringLiteral("3 items · 9 KB"));
    EXPECT_EQ(mapGroupSummary(groups[2]), QStringLiteral("1 item · Zero KB"));
    EXPECT_EQ(mapActionHint(std::nullopt), QStringLiteral("Shows its contents"));
    EXPECT_EQ(mapActionHint(ToolchainKind::go), QStringLiteral("Reveals in Finder"));
}

class MapSectionTest : public testing::Test
{
protected:
    MapSectionTest() : section(c.model.get(), &kind)
    {
        c.model->setToolchainGroups(sampleGroups());
        section.resize(700, 460);
        section.show();
        nextTurn();
    }

    void click(const std::string& id)
    {
        TreemapTileButton* b = child<TreemapView>(section, "map")->button(id);
        ASSERT_NE(b, nullptr) << id;
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(3, 3));
        nextTurn();
    }

    testsupport::FakeMac mac;
    testsupport::UiController c;
    SelectedMapKind kind;
    DiskUsageMapSection section;
    platform::qt::FileManagerReveal::Recorder reveals;
};

TEST_F(MapSectionTest, DrillsInRevealsAndGoesBack)
{
    EXPECT_TRUE(child<QPushButton>(section, "allButton")->isHidden());
    EXPECT_EQ(child<QLabel>(section, "titleLabel")->text(), QStringLiteral("Two-level Map"));
    EXPECT_EQ(child<QLabel>(section, "detailLabel")->text(),
              QStringLiteral("Click a category to drill into its individual files and runtimes."));
    EXPECT_EQ(child<TreemapView>(section, "map")->button("rust")->accessibleDescription(),
              QStringLiteral("Shows its contents"));
    EXPECT_EQ(child<TreemapView>(section, "map")->accessibleName(),
              QStringLiteral("Disk usage map"));

    click("node");
    EXPECT_EQ(kind.kind(), ToolchainKind::node);
    EXPECT_FALSE(child<QPushButton>(section, "allButton")->isHidden());
    EXPECT_EQ(child<QPushButton>(section, "allButton")->text(), QStringLiteral("All"));
    EXPECT_EQ(child<QLabel>(section, "titleLabel")->text(), QStringLiteral("Node.js"));
    EXPECT_EQ(child<QLabel>(section, "detailLabel")->text(), QStringLiteral("3 items · 9 KB"));
    EXPECT_EQ(ids(child<TreemapView>(section, "map")->tiles()),
              (std::vector<std::string>{"/Users/u/.nvm", "/Users/u/.npm", "/Users/u/.yarn"}));
    EXPECT_EQ(child<TreemapView>(section, "map")->button("/Users/u/.npm")->accessibleDescription(),
              QStringLiteral("Reveals in Finder"));
    EXPECT_TRUE(reveals.reveals().empty());

    click("/Users/u/.npm");
    ASSERT_EQ(reveals.reveals().size(), 1U);
    ASSERT_EQ(reveals.reveals()[0].size(), 1);
    EXPECT_TRUE(reveals.reveals()[0][0].endsWith(QStringLiteral("/Users/u/.npm")));
    EXPECT_EQ(kind.kind(), ToolchainKind::node);

    QTest::mouseClick(child<QPushButton>(section, "allButton"), Qt::LeftButton);
    nextTurn();
    EXPECT_EQ(kind.kind(), std::nullopt);
    EXPECT_EQ(ids(child<TreemapView>(section, "map")->tiles()),
              (std::vector<std::string>{"node", "rust", "go"}));
    EXPECT_TRUE(child<QPushButton>(section, "allButton")->isHidden());
}

TEST_F(MapSectionTest, AVanishedItemOrKindMakesClicksDoNothing)
{
    click("node");
    // A tile for an item gone from the group before the map caught up (it rebuilds on the next
    // turn): nothing is revealed.
    TreemapTileButton* npm = child<TreemapView>(section, "map")->button("/Users/u/.npm");
    ASSERT_NE(npm, nullptr);
    auto withoutNpm = sampleGroups();
    withoutNpm[0].items.erase(withoutNpm[0].items.begin());
    c.model->setToolchainGroups(withoutNpm);
    npm->click();
    EXPECT_TRUE(reveals.reveals().empty());

    // A rescan without the drilled-in kind: top-level tiles, the reveal hint, no "All", and a
    // click on a category does nothing.
    c.model->setToolchainGroups({sampleGroups()[1], sampleGroups()[2]});
    nextTurn();
    EXPECT_EQ(kind.kind(), ToolchainKind::node) << "a rescan leaves the kind as it is";
    EXPECT_EQ(ids(child<TreemapView>(section, "map")->tiles()),
              (std::vector<std::string>{"rust", "go"}));
    EXPECT_TRUE(child<QPushButton>(section, "allButton")->isHidden());
    EXPECT_EQ(child<QLabel>(section, "titleLabel")->text(), QStringLiteral("Two-level Map"));
    EXPECT_EQ(child<TreemapView>(section, "map")->button("rust")->accessibleDescription(),
              QStringLiteral("Reveals in Finder"));
    click("rust");
    EXPECT_EQ(kind.kind(), ToolchainKind::node);
    EXPECT_TRUE(reveals.reveals().empty());

    // Leaving the tab resets the kind: the top level works again.
    kind.setKind(std::nullopt);
    nextTurn();
    EXPECT_EQ(child<TreemapView>(section, "map")->button("rust")->accessibleDescription(),
              QStringLiteral("Shows its contents"));
    click("rust");
    EXPECT_EQ(kind.kind(), ToolchainKind::rust);
    EXPECT_EQ(ids(child<TreemapView>(section, "map")->tiles()),
              (std::vector<std::string>{"/Users/u/.cargo"}));
}

TEST_F(MapSectionTest, OneEmptyItemReadsOneItemZeroKb)
{
    // Its top-level tile has 0 bytes, so there is no button to click: the kind is set as a click
    // on the tile would set it.
    kind.setKind(ToolchainKind::go);
    nextTurn();
    EXPECT_EQ(kind.kind(), ToolchainKind::go);
    EXPECT_EQ(child<QLabel>(section, "detailLabel")->text(), QStringLiteral("1 item · Zero KB"));
    EXPECT_TRUE(child<TreemapView>(section, "map")->buttons().empty())
        << "a 0-byte item has nothing to lay out";
}

} // namespace
} // namespace veldo::ui
