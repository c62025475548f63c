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

TEST(Unicode, RepairsLongTextAsItWouldRepairEachPart)
{
    // Long text is converted in pieces of 1 MiB; whatever byte of the unit a piece boundary
    // falls on (inside a 4-byte character, a cut sequence, a run of stray continuation bytes),
    // the result must be the unit's own repair repeated.
    const std::string unit =
        "a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E\xE2\x82\xFF\x80\x80\x80\x80\x80z";
    const std::string repairedUnit = repairedUtf8(unit);
    const std::size_t repeats = (std::size_t{1} << 20) / unit.size() + 2;
    for (std::size_t shift = 0; shift < unit.size(); ++shift) {
        std::string text(shift, 'a');
        std::string expected(shift, 'a');
        for (std::size_t i = 0; i < repeats; ++i) {
            text += unit;
            expected += repairedUnit;
        }
        ASSERT_EQ(repairedUtf8(text), expected) << shift;
    }
}

TEST(ErrnoName, NamesAndNumbers)
{
    EXPECT_EQ(errnoName(EACCES), "EACCES");
    EXPECT_EQ(errnoName(ENOENT), "ENOENT");
    EXPECT_EQ(errnoFromName("ELOOP"), ELOOP);
    EXPECT_EQ(errnoFromName("ENOPE"), -1);
    EXPECT_EQ(errnoName(4000), "E4000");
}
