// Comparison forms: NFD with case folding, no locale.
#include "platform/Unicode.h"

#include <gtest/gtest.h>

#include "platform/ErrnoName.h"

using namespace veldo::platform;

TEST(Unicode, FoldingTreatsCaseAndNormalFormsAlike)
{
    EXPECT_EQ(foldForComparison("/Users/J\xC3\xBCrgen"),
              foldForComparison("/USERS/JU\xCC\x88RGEN"));
    EXPECT_EQ(foldForComparison("Stra\xC3\x9F"
                                "e"),
              foldForComparison("STRASSE"));
    EXPECT_NE(foldForComparison("a"), foldForComparison("b"));
    EXPECT_EQ(decomposed("\xC3\xA9"), "e\xCC\x81");
    EXPECT_EQ(precomposed("e\xCC\x81"), "\xC3\xA9");
    EXPECT_EQ(lowercased("ABC\xC3\x89"), "abc\xC3\xA9");
    EXPECT_EQ(repairedUtf8("a\xFF"
                           "b"),
              "a\xEF\xBF\xBD"
              "b");
    // Turkish dotted I folds the same way whatever the process locale says.
    EXPECT_EQ(foldForComparison("I"), "i");
}

TEST(ErrnoName, NamesAndNumbers)
{
    EXPECT_EQ(errnoName(EACCES), "EACCES");
    EXPECT_EQ(errnoName(ENOENT), "ENOENT");
    EXPECT_EQ(errnoFromName("ELOOP"), ELOOP);
    EXPECT_EQ(errnoFromName("ENOPE"), -1);
    EXPECT_EQ(errnoName(4000), "E4000");
}
