// Reading launchd job property lists in both formats.
#include "app/core/LaunchdJob.h"

#include <gtest/gtest.h>

#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using namespace veldo::core;
using veldo::platform::PlistValue;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;

namespace {

std::optional<LaunchdJob> jobFrom(const FakeMac& mac, const PlistValue& value, bool binary)
{
    const auto path = mac.writePlist("/Library/LaunchAgents/job.plist"_mac, value, binary);
    return LaunchdJob::fromPlist(path);
}

} // namespace

TEST(LaunchdJob, ReadsFieldsInBothFormats)
{
    FakeMac mac;
    struct Case
    {
        const char* name;
        PlistValue plist;
        std::optional<std::string> label;
        std::optional<std::string> program;
        std::vector<std::string> associated;
    };
    using D = PlistValue::Dictionary;
    using A = PlistValue::Array;
    const Case cases[] = {
        {"arguments only",
         D{{"Label", "a"}, {"ProgramArguments", A{"/bin/x", "-v"}}},
         "a",
         "/bin/x",
         {}},
        {"program wins",
         D{{"Label", "b"}, {"Program", "/bin/p"}, {"ProgramArguments", A{"/bin/x"}}},
         "b",
         "/bin/p",
         {}},
        {"empty arguments", D{{"Label", "c"}, {"ProgramArguments", A{}}}, "c", std::nullopt, {}},
        {"arguments not all strings",
         D{{"ProgramArguments", A{"/bin/x", 3}}},
         std::nullopt,
         std::nullopt,
         {}},
        {"associated as string",
         D{{"AssociatedBundleIdentifiers", "com.a"}},
         std::nullopt,
         std::nullopt,
         {"com.a"}},
        {"associated as array",
         D{{"AssociatedBundleIdentifiers", A{"com.a", "com.b"}}},
         std::nullopt,
         std::nullopt,
         {"com.a", "com.b"}},
        {"associated as number",
         D{{"AssociatedBundleIdentifiers", 7}},
         std::nullopt,
         std::nullopt,
         {}},
        {"label of wrong type", D{{"Label", 5}, {"Program", "/p"}}, std::nullopt, "/p", {}},
    };
    for (bool binary : {false, true}) {
        for (const auto& c : cases) {
            auto job = jobFrom(mac, c.plist, binary);
            ASSERT_TRUE(job) << c.name;
            EXPECT_EQ(job->label, c.label) << c.name;
            EXPECT_EQ(job->programPath, c.program) << c.name;
            EXPECT_EQ(job->associatedBundleIdentifiers, c.associated) << c.name;
        }
    }
    auto withBundleProgram =
        jobFrom(mac, D{{"BundleProgram", "Contents/MacOS/helper"}, {"Label", "x"}}, true);
    ASSERT_TRUE(withBundleProgram);
    EXPECT_EQ(withBundleProgram->bundleProgram, "Contents/MacOS/helper");
}

TEST(LaunchdJob, UnusableFilesGiveNone)
{
    FakeMac mac;
    EXPECT_FALSE(jobFrom(mac, PlistValue(PlistValue::Array{"a"}), false));
    EXPECT_FALSE(jobFrom(mac, PlistValue(PlistValue::Array{"a"}), true));
    mac.write("/Library/LaunchAgents/garbage.plist"_mac, "not a property list");
    EXPECT_FALSE(LaunchdJob::fromPlist("/Library/LaunchAgents/garbage.plist"_mac));
    mac.write("/Library/LaunchAgents/empty.plist"_mac, "");
    EXPECT_FALSE(LaunchdJob::fromPlist("/Library/LaunchAgents/empty.plist"_mac));
    EXPECT_FALSE(LaunchdJob::fromPlist("/Library/LaunchAgents/missing.plist"_mac));
}
