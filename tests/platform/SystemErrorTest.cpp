// SystemError values: the underlying chain, equality and POSIX descriptions.
#include "platform/SystemError.h"

#include <cerrno>

#include <gtest/gtest.h>

using namespace veldo::platform;

TEST(SystemError, UnderlyingChainAndEquality)
{
    const SystemError posix = SystemError::posix(EACCES);
    EXPECT_EQ(posix.domain(), ErrorDomain::posix);
    EXPECT_EQ(posix.code(), EACCES);
    EXPECT_EQ(posix.localizedDescription(), "Permission denied");
    EXPECT_EQ(posix.underlyingError(), nullptr);

    const SystemError wrapped(ErrorDomain::cocoa, kCocoaFileWriteNoPermissionError, "denied",
                              posix);
    ASSERT_NE(wrapped.underlyingError(), nullptr);
    EXPECT_EQ(*wrapped.underlyingError(), posix);

    const SystemError copy = wrapped;
    EXPECT_EQ(copy, wrapped);
    EXPECT_NE(wrapped, SystemError(ErrorDomain::cocoa, kCocoaFileWriteNoPermissionError, "denied"));
    EXPECT_NE(wrapped, SystemError(ErrorDomain::cocoa, kCocoaFileWriteNoPermissionError, "denied",
                                   SystemError::posix(EPERM)));
    EXPECT_NE(
        SystemError::posix(EPERM),
        SystemError(ErrorDomain::other, EPERM, SystemError::posix(EPERM).localizedDescription()));
}

TEST(SystemError, OnlyAMissingEntryMeansMissing)
{
    struct Case
    {
        int err;
        bool missing;
    };
    const Case cases[] = {
        {ENOENT, true}, {ENOTDIR, true}, {EACCES, false}, {EPERM, false},
        {ELOOP, false}, {EIO, false},    {0, false},      {ENAMETOOLONG, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(meansMissing(c.err), c.missing) << c.err;
        const SystemError wrapped(ErrorDomain::cocoa, kCocoaFileReadUnknownError, "failed",
                                  SystemError::posix(c.err));
        EXPECT_EQ(meansMissing(wrapped), c.missing) << c.err;
    }
    // A failure that wraps no POSIX error says nothing of the entry.
    EXPECT_FALSE(meansMissing(SystemError(ErrorDomain::cocoa, ENOENT, "not POSIX")));
}
