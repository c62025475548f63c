// Identity, equality, ordering and raw values of the app's records.
#include <algorithm>
#include <unordered_set>

#include <gtest/gtest.h>

#include "app/core/AccessRootKind.h"
#include "app/core/DevPackage.h"
#include "app/core/DeveloperTab.h"
#include "app/core/InstalledApp.h"
#include "app/core/LeftoverItem.h"
#include "app/core/ToolchainItem.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::core;
using veldo::base::allCases;
using veldo::base::fromRawValue;
using veldo::base::rawValue;
using namespace veldo::testsupport::literals;

TEST(Records, RawValuesAreExactAndCaseSensitive)
{
    EXPECT_EQ(fromRawValue<LeftoverCategory>("caches"), LeftoverCategory::caches);
    EXPECT_EQ(fromRawValue<LeftoverCategory>("Caches"), std::nullopt);
    EXPECT_EQ(fromRawValue<LeftoverCategory>("crashReports"), LeftoverCategory::crashReports);
    EXPECT_EQ(fromRawValue<MatchConfidence>("medium"), MatchConfidence::medium);
    EXPECT_EQ(fromRawValue<MatchConfidence>("Medium"), std::nullopt);
    EXPECT_EQ(fromRawValue<AccessRootKind>("userLibrary"), AccessRootKind::userLibrary);
    EXPECT_EQ(fromRawValue<AccessRootKind>(""), std::nullopt);
    EXPECT_EQ(fromRawValue<DeveloperTab>("Disk Usage"), DeveloperTab::footprint);
    EXPECT_EQ(fromRawValue<DeveloperTab>("footprint"), std::nullopt);
    EXPECT_EQ(fromRawValue<ToolchainKind>("go"), ToolchainKind::go);
    EXPECT_EQ(fromRawValue<ToolchainKind>("Go"), std::nullopt);
    EXPECT_EQ(fromRawValue<PackageManagerKind>("brewCask"), PackageManagerKind::brewCask);

    // Every case round-trips through its raw value, in declaration order.
    auto categories = allCases<LeftoverCategory>();
    ASSERT_EQ(categories.size(), 13u);
    EXPECT_EQ(categories.front(), LeftoverCategory::application);
    EXPECT_EQ(categories.back(), LeftoverCategory::crashReports);
    for (auto c : categories)
        EXPECT_EQ(fromRawValue<LeftoverCategory>(rawValue(c)), c);
    EXPECT_EQ(allCases<ToolchainKind>().size(), 16u);
    for (auto k : allCases<ToolchainKind>())
        EXPECT_EQ(fromRawValue<ToolchainKind>(rawValue(k)), k);
}

TEST(Records, EnumerationsHashByTheirRawValue)
{
    auto check = [](auto cases) {
        for (auto c : cases)
            EXPECT_EQ(std::hash<decltype(c)>{}(c), std::hash<std::string_view>{}(rawValue(c)))
                << rawValue(c);
    };
    check(allCases<AccessRootKind>());
    check(allCases<LeftoverCategory>());
    check(allCases<MatchConfidence>());
    check(allCases<PackageManagerKind>());
    check(allCases<DeveloperTab>());
    check(allCases<ToolchainKind>());
}

TEST(Records, DisplayTexts)
{
    EXPECT_EQ(title(LeftoverCategory::launchAgents), "Launch Agents & Daemons");
    EXPECT_EQ(detail(LeftoverCategory::webData), "WebKit & local storage");
    EXPECT_EQ(symbolName(LeftoverCategory::crashReports), "exclamationmark.triangle.fill");
    EXPECT_EQ(title(LeftoverCategory::receipts), "Installer Receipts");
    EXPECT_EQ(title(ToolchainKind::dotnet), ".NET");
    EXPECT_EQ(detail(ToolchainKind::testing), "Playwright, Cypress, ccache, Bazel");
    EXPECT_EQ(symbolName(ToolchainKind::python), "chevron.left.forwardslash.chevron.right");
}

TEST(Records, ConfidenceSortsMostCertainFirst)
{
    std::vector<MatchConfidence> v{MatchConfidence::low, MatchConfidence::certain,
                                   MatchConfidence::medium, MatchConfidence::high};
    std::sort(v.begin(), v.end());
    EXPECT_EQ(v, (std::vector<MatchConfidence>{MatchConfidence::certain, MatchConfidence::high,
                                               MatchConfidence::medium, MatchConfidence::low}));
    EXPECT_LT(MatchConfidence::certain, MatchConfidence::low);
    EXPECT_GE(MatchConfidence::medium, MatchConfidence::high);
}

TEST(Records, IdentityIsNotEquality)
{
    LeftoverItem a{"/Users/u/Library/Caches/x"_mac, LeftoverCategory::caches, 10, false,
                   MatchConfidence::high};
    LeftoverItem b = a;
    b.category = LeftoverCategory::supportFiles;
    EXPECT_EQ(a.id(), b.id());
    EXPECT_NE(a, b);
    EXPECT_EQ(a, LeftoverItem(a));
    EXPECT_EQ(std::hash<LeftoverItem>{}(a), std::hash<LeftoverItem>{}(LeftoverItem(a)));

    InstalledApp app{
        "/Applications/A.app"_mac, "A", "com.a", "1.0", 0, false, std::nullopt, {"A1", "A2"}};
    InstalledApp swapped = app;
    swapped.alternateNames = {"A2", "A1"};
    EXPECT_EQ(app.id(), swapped.id());
    EXPECT_NE(app, swapped);

    ToolchainItem t{
        ToolchainKind::node, "npm cache", "d", "/Users/u/.npm"_mac, 1, false, true, false};
    ToolchainItem t2 = t;
    t2.sizeBytes = 2;
    EXPECT_EQ(t.id(), t2.id());
    EXPECT_NE(t, t2);

    DevPackage npm{PackageManagerKind::npm, "left-pad", "1.0", 0};
    DevPackage pip{PackageManagerKind::pip, "left-pad", "1.0", 0};
    EXPECT_EQ(npm.id(), "npm:left-pad");
    EXPECT_EQ(pip.id(), "pip:left-pad");
    EXPECT_EQ(DevPackage({PackageManagerKind::brewFormula, "wget", "", 0}).id(),
              "brewFormula:wget");

    ScopedAccessRoot r1{AccessRootKind::userLibrary, "/Users/u/Library"_mac};
    ScopedAccessRoot r2{AccessRootKind::userLibrary, "/Users/v/Library"_mac};
    EXPECT_EQ(r1.id(), r2.id());
    EXPECT_NE(r1, r2);
}
