// The caller's credentials: the process's own, and injected ones.
#include "platform/Credentials.h"

#include <unistd.h>

#include <gtest/gtest.h>

using namespace veldo::platform;

TEST(Credentials, ProcessOwnAndInjected)
{
    const Credentials own = callerCredentials();
    EXPECT_EQ(own.effectiveUid, ::geteuid());
    EXPECT_TRUE(own.isMember(::getegid()));

    veldo::platform::testing::setCallerCredentials(Credentials{1234, {50, 60}});
    const Credentials injected = callerCredentials();
    veldo::platform::testing::setCallerCredentials(std::nullopt);
    EXPECT_EQ(injected.effectiveUid, 1234u);
    EXPECT_TRUE(injected.isMember(60));
    EXPECT_FALSE(injected.isMember(::getegid() == 50 ? 70 : ::getegid()));
    EXPECT_EQ(callerCredentials().effectiveUid, ::geteuid());
}
