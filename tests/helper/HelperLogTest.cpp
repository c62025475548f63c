// The helper's loggers: redaction of private values and the standard-error line.
#include "helper/HelperLog.h"

#include <regex>

#include <gtest/gtest.h>

namespace veldo::helper {
namespace {

TEST(HelperLog, PublicValuesStayPrivateValuesAreRedacted)
{
    EXPECT_EQ(HelperLog::render("move %{private}s -> %{public}s", {"/Users/u/secret", "done"}),
              "move <private> -> done");
    EXPECT_EQ(HelperLog::render("%{public}s exited %{public}d", {"/bin/launchctl", "-1"}),
              "/bin/launchctl exited -1");
    EXPECT_EQ(HelperLog::render("n=%{public}lld, %{private}d.", {"7", "42"}), "n=7, <private>.");
    EXPECT_EQ(HelperLog::render("100% sure %{public}s", {}), "100% sure ");
}

TEST(HelperLog, StandardErrorLineCarriesTimeLevelAndCategory)
{
    testing::setSyslogEnabled(false);
    ::testing::internal::CaptureStderr();
    HelperLog::category("journal").error("kept %{private}s", {"/x"});
    journalLog().info("same %{public}s", {"logger"});
    const std::string out = ::testing::internal::GetCapturedStderr();
    const std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}Z error \[journal\] kept <private>
\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}Z info \[journal\] same logger
)");
    EXPECT_TRUE(std::regex_match(out, line)) << out;
    EXPECT_EQ(&HelperLog::category("journal"), &journalLog());
}

} // namespace
} // namespace veldo::helper
