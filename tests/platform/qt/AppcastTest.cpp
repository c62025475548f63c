// Reading appcasts: where versions and links come from, which items are left out, and feeds
// that are no appcast at all.
#include "platform/qt/Appcast.h"

#include <gtest/gtest.h>

#include "tests/platform/qt/UpdaterTestSupport.h"

using namespace veldo::platform;
using veldo::testsupport::appcastXml;

namespace {

QByteArray rss(const QByteArray& items)
{
    return R"(<rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>)" +
           items + "</channel></rss>";
}

} // namespace

TEST(Appcast, ReadsEachItemsVersionShortVersionAndLink)
{
    const auto items = parseAppcast(appcastXml(
        {{"26", "1.3", "https://example.com/1.3"}, {"28", "1.5", "https://example.com/1.5"}}));
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 2u);
    EXPECT_EQ((*items)[1], (AppcastItem{"28", "1.5", "https://example.com/1.5"}));
}

TEST(Appcast, VersionsComeFromTheElementElseTheEnclosure)
{
    const auto items = parseAppcast(rss(R"(
<item><sparkle:version>30</sparkle:version>
  <enclosure url="https://example.com/a.zip" sparkle:version="29" sparkle:shortVersionString="1.9"/></item>
<item><enclosure url="https://example.com/b.zip" sparkle:version=" 31 " sparkle:shortVersionString="2.0"/></item>
<item><sparkle:version>32</sparkle:version></item>)"));
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 3u);
    EXPECT_EQ((*items)[0], (AppcastItem{"30", "1.9", ""}));
    EXPECT_EQ((*items)[1], (AppcastItem{"31", "2.0", ""}));
    // Without a short version, the build number is what users see.
    EXPECT_EQ((*items)[2], (AppcastItem{"32", "32", ""}));
}

TEST(Appcast, LeavesOutItemsWithoutAUsableBuildNumber)
{
    const auto items = parseAppcast(rss(R"(
<item><title>no version</title><link>https://example.com/x</link></item>
<item><sparkle:version>1.5 beta</sparkle:version></item>
<item><sparkle:version>-3</sparkle:version></item>
<item><sparkle:version></sparkle:version><enclosure sparkle:version="abc"/></item>
<item><version>40</version></item>
<item><sparkle:version>41</sparkle:version></item>)"));
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 1u);
    EXPECT_EQ((*items)[0].version, "41");
}

TEST(Appcast, KeepsOnlyWebLinks)
{
    struct Case
    {
        const char* link;
        const char* kept;
    } cases[] = {
        {"https://example.com/notes", "https://example.com/notes"},
        {"http://example.com/notes", "http://example.com/notes"},
        {"file:///Applications/Calculator.app", ""},
        {"javascript:alert(1)", ""},
        {"x-apple.systempreferences:com.apple.preference.security", ""},
        {"not a link", ""},
    };
    for (const Case& c : cases) {
        const auto items = parseAppcast(appcastXml({{"2", "2", c.link}}));
        ASSERT_TRUE(items) << c.link;
        ASSERT_EQ(items->size(), 1u) << c.link;
        EXPECT_EQ((*items)[0].link, c.kept) << c.link;
    }
}

TEST(Appcast, RefusesWhatIsNoRssDocument)
{
    for (const QByteArray& bytes : {
             QByteArray(),
             QByteArray("not xml at all"),
             QByteArray("<rss><channel><item></channel></rss>"),
             QByteArray("<feed><entry/></feed>"),
             rss("<item><sparkle:version>2</sparkle:version></item>").chopped(6),
         })
        EXPECT_FALSE(parseAppcast(bytes)) << bytes.toStdString();
}

TEST(Appcast, SurvivesAMegabyteOfNesting)
{
    QByteArray open;
    QByteArray close;
    for (int i = 0; i < 150'000; ++i) {
        open += "<a>";
        close.prepend("</a>");
    }
    // Deep nesting inside an item, balanced: the item still reads.
    const auto deepItem =
        parseAppcast(rss("<item><sparkle:version>5</sparkle:version>" + open + close + "</item>"));
    ASSERT_TRUE(deepItem);
    ASSERT_EQ(deepItem->size(), 1u);
    // Unbalanced nesting is malformed.
    EXPECT_FALSE(parseAppcast(rss("<item>" + open + "</item>")));
}

TEST(Appcast, NewestItemComparesBuildNumbers)
{
    const std::vector<AppcastItem> items{
        {"1.9", "a", ""}, {"1.10", "b", ""}, {"1.2.0", "c", ""}, {"1.10.0", "d", ""}};
    ASSERT_TRUE(newestAppcastItem(items));
    EXPECT_EQ(newestAppcastItem(items)->shortVersionString, "b");
    EXPECT_FALSE(newestAppcastItem({}));
}
