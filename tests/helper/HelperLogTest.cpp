// The helper's loggers: redaction of private values, the standard-error line, and the counting of
// one account's repeated lines.
#include "helper/HelperLog.h"

#include <algorithm>
#include <regex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "helper/RepeatedLines.h"

namespace veldo::helper {
namespace {

using namespace std::chrono_literals;

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

TEST(RepeatedLines, AnAccountsLinesAreWrittenOnceAKindUpToTheCapThenCounted)
{
    testing::setSyslogEnabled(false);
    RepeatedLines lines(std::chrono::duration<double>(0.2));
    const HelperLog& log = HelperLog::category("listener");
    ::testing::internal::CaptureStderr();
    // Account 7: the same kind 100 times, then more kinds than a window writes; account 8 beside.
    for (int i = 0; i < 100; ++i)
        lines.log(log, HelperLog::Level::info, 7, "Connection from pid %{public}d",
                  {std::to_string(i)});
    const char* kinds[] = {"kind b", "kind c", "kind d", "kind e", "kind f"};
    for (const char* kind : kinds)
        lines.log(log, HelperLog::Level::error, 7, kind);
    lines.log(log, HelperLog::Level::error, 8, "kind b");
    lines.sweep(); // nothing has ended yet
    const std::string during = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(during.find("Connection from pid 0\n"), std::string::npos) << during;
    EXPECT_EQ(during.find("Connection from pid 1\n"), std::string::npos) << during;
    for (const char* kind : {"kind b", "kind c", "kind d"})
        EXPECT_NE(during.find(std::string("] ") + kind + "\n"), std::string::npos) << kind;
    EXPECT_EQ(during.find("kind e"), std::string::npos) << during;
    EXPECT_EQ(during.find(" more from "), std::string::npos) << during;

    std::this_thread::sleep_for(250ms);
    ::testing::internal::CaptureStderr();
    lines.sweep();
    lines.log(log, HelperLog::Level::error, 7, "kind e"); // opens the next window
    lines.sweep(/*all=*/true);                            // as before an exit: nothing counted
    const std::string after = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(after.find("default [listener] … and 101 more from uid 7 in the last 0.2 seconds\n"),
              std::string::npos)
        << after;
    EXPECT_EQ(after.find("from uid 8"), std::string::npos) << after;
    EXPECT_NE(after.find("] kind e\n"), std::string::npos) << after;
    EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), 2) << after;
}

// What a line says, but for the process it names, makes its kind: the same refusal of another
// process is counted, another reason is written. A line is written no longer than a few hundred
// bytes, cut between characters, whatever it was given.
TEST(RepeatedLines, LinesOfOneKindSayTheSameButForTheirProcess)
{
    testing::setSyslogEnabled(false);
    RepeatedLines lines(std::chrono::duration<double>(60.0));
    const HelperLog& log = HelperLog::category("listener");
    std::string accented;
    for (int i = 0; i < 5000; ++i)
        accented += "é";
    const std::string_view refusing = "Refusing pid %{public}d: %{public}s";
    const std::string_view request = "Refused a request from uid %{public}u (pid %{public}d)";
    const struct
    {
        std::string_view format;
        std::vector<std::string> values;
        bool written;
    } cases[] = {
        {refusing, {"101", "it runs code from /a"}, true},
        {refusing, {"102", "it runs code from /a"}, false},
        {refusing, {"103", "it runs code from /b"}, true},
        {request, {"9", "104"}, true},
        {request, {"9", "105"}, false},
        {refusing, {"106", "it maps " + accented}, true},
        {refusing, {"107", "it runs code from /c"}, false}, // past the kinds of a window
    };
    ::testing::internal::CaptureStderr();
    for (const auto& line : cases)
        lines.log(log, HelperLog::Level::error, 9, line.format, {line.values[0], line.values[1]});
    lines.sweep(/*all=*/true);
    const std::string out = ::testing::internal::GetCapturedStderr();
    for (const auto& line : cases) {
        const std::string text = HelperLog::render(line.format, {line.values[0], line.values[1]});
        const std::string start = "] " + text.substr(0, 40);
        EXPECT_EQ(out.find(start) != std::string::npos, line.written) << text.substr(0, 60) << out;
    }
    EXPECT_NE(out.find("] … and 3 more from uid 9 in the last minute\n"), std::string::npos) << out;

    const auto cut = out.find("] Refusing pid 106: it maps ");
    ASSERT_NE(cut, std::string::npos) << out;
    const std::string written = out.substr(cut + 2, out.find('\n', cut) - cut - 2);
    EXPECT_LE(written.size(), RepeatedLines::kLongestLine) << written;
    EXPECT_GT(written.size(), RepeatedLines::kLongestLine - 8) << written;
    EXPECT_TRUE(written.ends_with("é…")) << written;
    EXPECT_EQ(std::count(written.begin(), written.end(), '\xc3'),
              std::count(written.begin(), written.end(), '\xa9'))
        << "a character was cut in two: " << written;
}

TEST(RepeatedLines, CountsAreWrittenWithThousandsSeparated)
{
    const std::pair<long, const char*> cases[] = {
        {0, "0"}, {7, "7"}, {999, "999"}, {1000, "1,000"}, {1396, "1,396"}, {1234567, "1,234,567"}};
    for (const auto& [count, text] : cases)
        EXPECT_EQ(RepeatedLines::countText(count), text);
}

} // namespace
} // namespace veldo::helper
