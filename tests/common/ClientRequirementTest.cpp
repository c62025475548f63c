// The client code-signing requirement text the helper asks of its callers.
#include "common/ClientRequirement.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

using namespace veldo::common;

TEST(ClientRequirement, Texts)
{
    const std::string identity = R"(identifier "orbelkan.Veldo" and anchor apple generic)";
    const std::string developerID = " and certificate 1[field.1.2.840.113635.100.6.2.6]"
                                    " and certificate leaf[field.1.2.840.113635.100.6.1.13]";
    const std::string team = R"( and certificate leaf[subject.OU] = "Q7ZT3MW2XR")";
    const std::string notDebuggable = R"( and !entitlement["com.apple.security.get-task-allow"])";

    EXPECT_EQ(clientRequirement("2", true), identity + developerID + team + notDebuggable +
                                                R"( and info["CFBundleVersion"] >= "2")");
    EXPECT_EQ(clientRequirement("1.10.3", false),
              identity + team + R"( and info["CFBundleVersion"] >= "1.10.3")");
    EXPECT_EQ(clientRequirement(std::nullopt, true), identity + developerID + team + notDebuggable);
    EXPECT_EQ(clientRequirement(std::nullopt, false), identity + team);

    // An invalid build leaves the build clause out rather than writing it into the text.
    EXPECT_EQ(clientRequirement("", true), identity + developerID + team + notDebuggable);
    EXPECT_EQ(clientRequirement(R"(1" or identifier "x)", true),
              identity + developerID + team + notDebuggable);
    EXPECT_EQ(clientRequirement("1.", false), identity + team);
}
