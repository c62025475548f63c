// The folder readings that the scans of a batch share: their answers, and how current they are.
#include "app/leftovers/FolderListingCache.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/MacFileSystem.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"

using veldo::leftovers::FolderListingCache;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;

namespace {

constexpr std::int64_t kMillisecond = 1'000'000;

// The clock of the cache in the racy-reading test.
std::atomic<std::int64_t> g_now = 0;
std::int64_t testClock()
{
    return g_now.load();
}

std::int64_t changeTimeOf(const MacPath& folder)
{
    const auto status = veldo::platform::fileStatus(folder, veldo::platform::FollowLinks::yes);
    EXPECT_TRUE(status.has_value());
    return status ? status->changeTime.seconds * 1'000'000'000 + status->changeTime.nanoseconds : 0;
}

// Waits until a reading of `folder` made now is no longer racy, so that the cache keeps it.
void letTheLastChangeAge()
{
    std::this_thread::sleep_for(150ms);
}

void renameEntry(const FakeMac& mac, const MacPath& from, const MacPath& to)
{
    ASSERT_EQ(std::rename(mac.host(from).c_str(), mac.host(to).c_str()), 0);
}

std::vector<std::string> visible(FolderListingCache& cache, const MacPath& folder)
{
    const auto reading = cache.listing(folder);
    return reading ? reading->visibleNames() : std::vector<std::string>{};
}

} // namespace

TEST(FolderListingCache, AnswersAsTheCaseInsensitiveLookupDoes)
{
    FakeMac mac;
    const MacPath folder("/Library/Preferences");
    mac.write(folder.appendingPathComponent("com.Example.App.plist"), "x");
    mac.write(folder.appendingPathComponent("Cafe\xCC\x81.plist"), "x"); // stored decomposed
    mac.write(folder.appendingPathComponent("exact"), "x");
    mac.write(folder.appendingPathComponent("EXACT"), "x");
    mac.write(folder.appendingPathComponent(".hidden"), "x");
    mac.symlink(folder.appendingPathComponent("Dangling"), "/nowhere");

    const char* questions[] = {
        "com.example.app.plist",
        "COM.EXAMPLE.APP.PLIST",
        "caf\xC3\xA9.plist",
        "exact",
        "EXACT",
        "Exact",
        ".HIDDEN",
        "dangling",
        "missing.plist",
        "",
        ".",
        "..",
        "a/b",
        "../Preferences",
    };
    // Without a kept reading (answers by the entry's own status where it can), and with one.
    FolderListingCache fresh;
    FolderListingCache kept;
    letTheLastChangeAge();
    ASSERT_TRUE(kept.listing(folder));
    for (const char* name : questions) {
        const auto expected = veldo::platform::findEntryCaseInsensitive(folder, name);
        EXPECT_EQ(fresh.findEntry(folder, name), expected) << name;
        EXPECT_EQ(kept.findEntry(folder, name), expected) << name;
    }
    EXPECT_EQ(fresh.findEntry("/Library/Missing"_mac, "x"), std::nullopt);
    EXPECT_EQ(fresh.listing("/Library/Missing"_mac), nullptr);

    // Listed: the visible entries sorted by their bytes, hidden ones left out.
    EXPECT_EQ(visible(kept, folder),
              (std::vector<std::string>{"Cafe\xCC\x81.plist", "Dangling", "EXACT",
                                        "com.Example.App.plist", "exact"}));
    EXPECT_EQ(kept.listing(folder)->loweredNames(),
              (std::vector<std::string>{"cafe\xCC\x81.plist", "dangling", "exact",
                                        "com.example.app.plist", "exact"}));
}

TEST(FolderListingCache, SeesEveryEntryCreatedRemovedOrRenamedBetweenTwoQuestions)
{
    FakeMac mac;
    const MacPath folder("/Library/Caches");
    mac.write(folder.appendingPathComponent("a"), "x");
    FolderListingCache cache;

    // Right after a change, and once the change is old enough for the reading to be kept.
    for (const bool aged : {false, true}) {
        SCOPED_TRACE(aged ? "kept readings" : "fresh readings");
        if (aged)
            letTheLastChangeAge();
        const auto first = cache.listing(folder);
        ASSERT_TRUE(first);
        if (aged) {
            EXPECT_EQ(cache.listing(folder), first); // kept, so the next questions test the stamp
        }
        EXPECT_EQ(cache.findEntry(folder, "B"), std::nullopt);

        mac.write(folder.appendingPathComponent("b"), "x");
        EXPECT_EQ(cache.findEntry(folder, "B"), "b");
        ASSERT_EQ(std::remove(mac.host(folder.appendingPathComponent("b")).c_str()), 0);
        EXPECT_EQ(cache.findEntry(folder, "B"), std::nullopt);
        EXPECT_EQ(visible(cache, folder), std::vector<std::string>{"a"});

        if (aged)
            letTheLastChangeAge();
        ASSERT_EQ(cache.findEntry(folder, "C"), std::nullopt);
        // Created with the folder's modification time put back as it was.
        const auto before = veldo::platform::fileStatus(folder, veldo::platform::FollowLinks::yes);
        ASSERT_TRUE(before.has_value());
        mac.write(folder.appendingPathComponent("c"), "x");
        const timespec times[2] = {
            {0, UTIME_OMIT},
            {before->modificationTime.seconds, before->modificationTime.nanoseconds}};
        ASSERT_EQ(::utimensat(AT_FDCWD, mac.host(folder).c_str(), times, 0), 0);
        EXPECT_EQ(cache.findEntry(folder, "C"), "c");

        if (aged)
            letTheLastChangeAge();
        ASSERT_EQ(cache.findEntry(folder, "C"), "c");
        renameEntry(mac, folder.appendingPathComponent("c"), folder.appendingPathComponent("D"));
        EXPECT_EQ(cache.findEntry(folder, "c"), std::nullopt);
        EXPECT_EQ(cache.findEntry(folder, "d"), "D");
        ASSERT_EQ(std::remove(mac.host(folder.appendingPathComponent("D")).c_str()), 0);
    }

    // Another folder put in its place, with the same modification time.
    letTheLastChangeAge();
    ASSERT_EQ(visible(cache, folder), std::vector<std::string>{"a"});
    const auto old = veldo::platform::fileStatus(folder, veldo::platform::FollowLinks::yes);
    ASSERT_TRUE(old.has_value());
    mac.write("/Library/NewCaches/z"_mac, "x");
    const timespec times[2] = {{0, UTIME_OMIT},
                               {old->modificationTime.seconds, old->modificationTime.nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, mac.host("/Library/NewCaches"_mac).c_str(), times, 0), 0);
    renameEntry(mac, folder, "/Library/OldCaches"_mac);
    renameEntry(mac, "/Library/NewCaches"_mac, folder);
    EXPECT_EQ(cache.findEntry(folder, "A"), std::nullopt);
    EXPECT_EQ(visible(cache, folder), std::vector<std::string>{"z"});
}

TEST(FolderListingCache, KeepsNoReadingMadeWithinATickOfTheFolderChanging)
{
    FakeMac mac;
    const MacPath folder("/Library/Logs");
    mac.mkdir(folder);
    const std::int64_t changed = changeTimeOf(folder);
    FolderListingCache cache(testClock);
    struct Case
    {
        std::int64_t readAt;
        bool kept;
    };
    for (const Case c : {Case{changed + 50 * kMillisecond, false},
                         Case{changed - 1000 * kMillisecond, false}, // the clock was set back
                         Case{changed + 1000 * kMillisecond, true}}) {
        g_now = c.readAt;
        const auto first = cache.listing(folder);
        ASSERT_TRUE(first);
        EXPECT_EQ(cache.listing(folder) == first, c.kept) << c.readAt - changed;
    }
}

TEST(FolderListingCache, ReadsTheLaunchdJobsOfAReadingOnce)
{
    FakeMac mac;
    const MacPath folder("/Library/LaunchAgents");
    using D = PlistValue::Dictionary;
    mac.writePlist(folder.appendingPathComponent("a.plist"),
                   D{{"Label", "a"},
                     {"Program", "/Applications/A.app/Contents/MacOS/a"},
                     {"AssociatedBundleIdentifiers", PlistValue::Array{"COM.Example.A"}}});
    mac.write(folder.appendingPathComponent("b.plist"), "not a property list");
    mac.writePlist(folder.appendingPathComponent("c.PLIST"), D{{"Program", "relative/c"}});
    mac.writePlist(folder.appendingPathComponent("d.txt"), D{{"Program", "/usr/bin/d"}});
    letTheLastChangeAge();

    FolderListingCache cache;
    const auto reading = cache.listing(folder);
    ASSERT_TRUE(reading);
    const auto& jobs = reading->launchdJobs();
    ASSERT_EQ(jobs.size(), 4u);
    ASSERT_TRUE(jobs[0]);
    EXPECT_EQ(jobs[0]->associatedIDs, std::vector<std::string>{"com.example.a"});
    ASSERT_TRUE(jobs[0]->program);
    EXPECT_EQ(jobs[0]->program->standard, "/Applications/A.app/Contents/MacOS/a");
    EXPECT_TRUE(jobs[0]->programInSomeApp);
    EXPECT_FALSE(jobs[1]);
    ASSERT_TRUE(jobs[2]);
    EXPECT_FALSE(jobs[2]->program);
    EXPECT_FALSE(jobs[3]); // not a property list by its name
    EXPECT_EQ(&reading->launchdJobs(), &jobs);

    // A job written anew and moved into place changes the folder: the next reading has it.
    mac.writePlist("/Library/a.plist"_mac, D{{"Program", "/usr/bin/a"}});
    renameEntry(mac, "/Library/a.plist"_mac, folder.appendingPathComponent("a.plist"));
    const auto next = cache.listing(folder);
    ASSERT_TRUE(next);
    ASSERT_TRUE(next->launchdJobs()[0]);
    EXPECT_TRUE(next->launchdJobs()[0]->associatedIDs.empty());
    EXPECT_EQ(next->launchdJobs()[0]->program->standard, "/usr/bin/a");
}

TEST(FolderListingCache, ScansOfABatchMayAskAtOnce)
{
    FakeMac mac;
    const MacPath folder("/Library/Application Support");
    for (int i = 0; i < 50; ++i)
        mac.mkdir(folder.appendingPathComponent("Product " + std::to_string(i)));
    mac.writePlist(folder.appendingPathComponent("job.plist"),
                   PlistValue::Dictionary{{"Program", "/usr/bin/job"}});
    letTheLastChangeAge();

    FolderListingCache cache;
    std::atomic<int> wrong = 0;
    std::vector<std::jthread> askers;
    for (int t = 0; t < 4; ++t)
        askers.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                const std::string name = "product " + std::to_string((i + t) % 50);
                if (cache.findEntry(folder, name) != "Product " + std::to_string((i + t) % 50))
                    ++wrong;
                const auto reading = cache.listing(folder);
                if (!reading || reading->launchdJobs().size() != reading->visibleNames().size() ||
                    reading->loweredNames().size() != reading->visibleNames().size())
                    ++wrong;
            }
        });
    // Meanwhile the folder changes, so readings are replaced while others use them.
    for (int i = 0; i < 20; ++i)
        mac.mkdir(folder.appendingPathComponent("Extra " + std::to_string(i)));
    askers.clear();
    EXPECT_EQ(wrong, 0);
}
