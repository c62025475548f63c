// Which folders the leftover scan never offers.
#include "app/leftovers/ProtectedLocations.h"

#include <gtest/gtest.h>

#include "tests/support/MacPathLiteral.h"

using veldo::platform::MacPath;
using namespace veldo::leftovers::LeftoverScanner;
using namespace veldo::testsupport::literals;

TEST(ProtectedLocations, TableOfFolders)
{
    const MacPath home("/Users/me");
    const std::vector<MacPath> roots{"/Applications"_mac, "/Users/me/Applications/"_mac,
                                     "/Users/me/Library"_mac, "/Library"_mac,
                                     "/Applications/Tools/Example.app"_mac};
    const struct
    {
        const char* path;
        bool isProtected;
    } cases[] = {
        {"/", true},
        {"", true},
        {"/System", true},
        {"/System/Library/Caches/x", true},
        {"/Systemic", false},
        {"/usr", true},
        {"/usr/local", true},
        {"/usr/local/bin", true},
        {"/usr/local/Cellar", true},
        {"/usr/local/example", false},
        {"/usr/local/bin/example", false},
        {"/usr/share/example", true},
        {"/Library", true},
        {"/Library/Application Support", true},
        {"/LIBRARY/CACHES", true},
        {"/Library/Audio/Plug-Ins/Components", true},
        {"/Library/Application Support/Example", false},
        {"/Library/Caches/com.example.app", false},
        {"/Users", true},
        {"/Users/Shared", true},
        {"/Users/me", true},
        {"/Users/me/", true},
        {"/Users/me/Documents", true},
        {"/Users/me/Documents/report.txt", false},
        {"/Users/me/.Trash", true},
        {"/Users/me/.local/share", true},
        {"/Users/me/.local/share/example", false},
        {"/Users/me/Library/Caches", true},
        {"/Users/me/Library/Caches/", true},
        {"/Users/me/Library/./Caches", true},
        {"/Users/me/Library/Preferences/ByHost", true},
        {"/Users/me/Library/Logs/DiagnosticReports", true},
        {"/Users/me/Library/Caches/com.example.app", false},
        {"/Users/me/Library/Preferences/ByHost/com.example.app.ABC.plist", false},
        {"/Users/me/Applications", true},
        {"/Applications", true},
        {"/Applications/Utilities", true},
        {"/Applications/Tools", true}, // holds the app
        {"/Applications/Other.app", false},
        {"/Applications/Tools/Example.app", true}, // a root itself
        {"/Applications/Tools/Example.app/Caches", true},
        {"/private/var/folders", true},
        {"/var/folders/ab", false},
        {"/opt/homebrew", true},
        {"/opt/homebrew/example", false},
        {"/Volumes", true},
        {"/Volumes/Data/Library/Caches", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isProtectedLocation(MacPath(c.path), roots, home), c.isProtected) << c.path;
}

TEST(ProtectedLocations, RootsExtendTheLibraryBases)
{
    const MacPath home("/Users/me");
    const MacPath folder("/Volumes/Data/Library/Caches");
    EXPECT_FALSE(isProtectedLocation(folder, {}, home));
    EXPECT_TRUE(isProtectedLocation(folder, {MacPath("/Volumes/Data/Library")}, home));
    EXPECT_TRUE(
        isProtectedLocation(MacPath("/Volumes/Data"), {MacPath("/Volumes/Data/Library")}, home));
}
