// The home folder shown as "~".
#include "app/core/PathDisplay.h"

#include <gtest/gtest.h>

using veldo::core::abbreviatedPath;

TEST(PathDisplay, AbbreviatesTheHomeFolderOnly)
{
    struct Case
    {
        const char* path;
        const char* home;
        const char* shown;
    };
    const Case cases[] = {
        {"/Users/alex", "/Users/alex/", "~"},
        {"/Users/alex/Library/Caches", "/Users/alex/", "~/Library/Caches"},
        {"/Users/alex/", "/Users/alex", "~/"},
        {"/Users/alexa/Documents", "/Users/alex/", "/Users/alexa/Documents"},
        {"/Users/alexa", "/Users/alex", "/Users/alexa"},
        {"/Library/Caches", "/Users/alex", "/Library/Caches"},
        {"/Users", "/Users/alex", "/Users"},
        {"/Users/alex/x", "", "/Users/alex/x"},
        {"", "", ""},
        {"/anything", "/", "/anything"},
        {"/", "/", "~"},
        // Only one trailing slash of the home is dropped.
        {"/Users/alex/x", "/Users/alex//", "/Users/alex/x"},
        // The same home written with a decomposed accent.
        {"/Users/Jos\xC3\xA9/Library", "/Users/Jose\xCC\x81", "~/Library"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(abbreviatedPath(c.path, c.home), c.shown) << c.path << " | " << c.home;
}
