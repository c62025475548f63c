// Socket addresses named through an open folder's descriptor.
#include "common/HelperEndpoint.h"

#include <cerrno>
#include <string>

#include <sys/socket.h>

#include <gtest/gtest.h>

#include "tests/support/ResultAssertions.h"

using veldo::common::socketAddressIn;

TEST(HelperEndpoint, AnEntryIsAddressedThroughItsFolderDescriptor)
{
    auto address = socketAddressIn(7, "orbelkan.Veldo.Helper.socket");
    ASSERT_OK(address);
    EXPECT_EQ(address->sun_family, AF_UNIX);
    EXPECT_STREQ(address->sun_path, "/proc/self/fd/7/orbelkan.Veldo.Helper.socket");

    for (const char* name : {"", ".", "..", "a/b"})
        EXPECT_ERRNO(socketAddressIn(7, name), EINVAL) << name;
    EXPECT_ERRNO(socketAddressIn(-1, "s"), EINVAL);
    // sun_path holds 108 bytes with the NUL.
    const std::string prefix = "/proc/self/fd/7/";
    EXPECT_OK(socketAddressIn(7, std::string(107 - prefix.size(), 'n')));
    EXPECT_ERRNO(socketAddressIn(7, std::string(108 - prefix.size(), 'n')), ENAMETOOLONG);
}
