// The staging journal: records written, listed in date order and removed; what the listing
// skips and leaves; the folder's mode; and the device translation of a record's identities.
#include "common/HelperStagingJournal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/HelperMoveLedger.h"
#include "platform/PropertyList.h"
#include "tests/support/FakeMac.h"
#include "tests/support/ResultAssertions.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using veldo::common::HelperFileIdentity;
using veldo::common::HelperStagingJournal;
using veldo::common::HelperStagingRecord;
using veldo::common::HelperVolumeStamp;
using veldo::platform::Clock;
using veldo::platform::FileTime;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;
using veldo::platform::UUID;

// 2023-11-14 10:00:00 UTC.
const Clock::TimePoint kTen{std::chrono::seconds(1'699'956'000)};

HelperStagingRecord makeRecord(Clock::TimePoint date)
{
    HelperStagingRecord r;
    r.id = *UUID::random();
    r.kind = HelperStagingRecord::Kind::move;
    r.uid = 501;
    r.gid = 20;
    r.home = "/Users/a";
    r.stagingName = ".Veldo Helper " + UUID::random()->string();
    r.itemIdentity = HelperFileIdentity{2049, 99, FileTime{1'699'950'000, 5}};
    r.originalPath = "/Library/LaunchDaemons/com.example.plist";
    r.trashName = "com.example.plist";
    r.isDaemon = true;
    r.date = date;
    return r;
}

std::vector<UUID> idsOf(const std::vector<HelperStagingRecord>& records)
{
    std::vector<UUID> ids;
    ids.reserve(records.size());
    for (const auto& r : records)
        ids.push_back(r.id);
    return ids;
}

class HelperStagingJournalTest : public ::testing::Test
{
protected:
    MacPath journalPath() const
    {
        return veldo::common::stateDirectoryURL().appendingPathComponent("Staging");
    }
    std::string journalHost() const { return mac.host(journalPath()); }
    std::string fileHost(const UUID& id) const
    {
        return journalHost() + "/" + id.string() + ".staging";
    }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(journalHost()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void writeRecordFile(const std::string& name, const PlistValue& value) const
    {
        mac.writePlist(journalPath().appendingPathComponent(name), value, true);
    }

    veldo::testsupport::FakeMac mac;
    HelperStagingJournal journal{journalPath()};
};

TEST_F(HelperStagingJournalTest, AMissingFolderHasNoRecordsAndIsNotMade)
{
    const auto records = journal.records();
    ASSERT_OK(records);
    EXPECT_TRUE(records->empty());
    EXPECT_FALSE(fs::exists(journalHost()));
    EXPECT_FALSE(fs::exists(mac.host(veldo::common::stateDirectoryURL())));
    EXPECT_ERRNO(journal.remove(*UUID::random()), ENOENT); // nothing to remove, nothing made
    EXPECT_FALSE(fs::exists(journalHost()));
}

TEST_F(HelperStagingJournalTest, WritesListsInDateOrderAndRemoves)
{
    const HelperStagingRecord ten = makeRecord(kTen);
    HelperStagingRecord nine = makeRecord(kTen - 1h);
    nine.kind = HelperStagingRecord::Kind::restore;
    nine.isDaemon = false;
    nine.stagingIdentity = HelperFileIdentity{2049, 7, FileTime{1'699'952'400, 999'999'999}};
    nine.parentIdentity = HelperFileIdentity{-1, 0xFFFFFFFFFFFFFFFFULL, std::nullopt};
    nine.volume = HelperVolumeStamp{{9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6}, 2049};
    const HelperStagingRecord eleven = makeRecord(kTen + 1h);
    ASSERT_OK(journal.write(ten));
    ASSERT_OK(journal.write(nine));
    ASSERT_OK(journal.write(eleven));

    const auto listed = journal.records();
    ASSERT_OK(listed);
    const auto& records = *listed;
    EXPECT_EQ(idsOf(records), (std::vector<UUID>{nine.id, ten.id, eleven.id}));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], nine);
    EXPECT_EQ(records[0].stagingIdentity->birthTime, nine.stagingIdentity->birthTime);
    EXPECT_EQ(records[0].itemIdentity.birthTime, nine.itemIdentity.birthTime);
    EXPECT_EQ(records[1], ten);
    EXPECT_FALSE(records[1].stagingIdentity);
    EXPECT_FALSE(records[1].parentIdentity);
    EXPECT_FALSE(records[1].volume);

    EXPECT_OK(journal.remove(ten.id));
    EXPECT_ERRNO(journal.remove(ten.id), ENOENT); // a second removal finds nothing
    const auto afterRemoval = journal.records();
    ASSERT_OK(afterRemoval);
    EXPECT_EQ(idsOf(*afterRemoval), (std::vector<UUID>{nine.id, eleven.id}));
    EXPECT_FALSE(fs::exists(fileHost(ten.id)));
}

TEST_F(HelperStagingJournalTest, WritingAgainReplacesTheFile)
{
    HelperStagingRecord r = makeRecord(kTen);
    ASSERT_OK(journal.write(r));
    r.stagingIdentity = HelperFileIdentity{2049, 1234, FileTime{1, 2}};
    ASSERT_OK(journal.write(r));
    EXPECT_EQ(entries(), (std::vector<std::string>{r.id.string() + ".staging"}));
    const auto listed = journal.records();
    ASSERT_OK(listed);
    const auto& records = *listed;
    ASSERT_EQ(records.size(), 1u);
    ASSERT_TRUE(records[0].stagingIdentity);
    EXPECT_EQ(records[0].stagingIdentity->inode, 1234u);
}

TEST_F(HelperStagingJournalTest, MakesAndTightensThePrivateFolder)
{
    // Made with its missing parents, 0700, the file 0600, even under a strict umask.
    const mode_t oldMask = ::umask(0277);
    const HelperStagingRecord r = makeRecord(kTen);
    const auto written = journal.write(r);
    ::umask(oldMask);
    ASSERT_OK(written);
    struct stat st = {};
    ASSERT_EQ(::stat(journalHost().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat(mac.host(veldo::common::stateDirectoryURL()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat(fileHost(r.id).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (::geteuid() == 0) {
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(st.st_gid, 0u);
    }

    // An existing folder with a wider mode is tightened on the next write.
    ASSERT_EQ(::chmod(journalHost().c_str(), 0755), 0);
    ASSERT_OK(journal.write(makeRecord(kTen)));
    ASSERT_EQ(::stat(journalHost().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    // No temporary file stays behind.
    EXPECT_EQ(entries().size(), 2u);
}

TEST_F(HelperStagingJournalTest, ReadsOnlyTheExactExtensionAndAnyName)
{
    const HelperStagingRecord valid = makeRecord(kTen);
    const PlistValue value = valid.toPlist();
    writeRecordFile("not-its-id.staging", value);
    writeRecordFile(".hidden.staging", makeRecord(kTen + 1s).toPlist());
    writeRecordFile("upper.STAGING", makeRecord(kTen).toPlist());
    writeRecordFile("later.staging.bak", makeRecord(kTen).toPlist());
    writeRecordFile("no-extension", makeRecord(kTen).toPlist());
    writeRecordFile("ledger.inventory", makeRecord(kTen).toPlist());

    const auto listed = journal.records();
    ASSERT_OK(listed);
    const auto& records = *listed;
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].id, valid.id);
    EXPECT_EQ(entries().size(), 6u); // the listing removed nothing
}

TEST_F(HelperStagingJournalTest, SkipsWhatItCannotReadAndLeavesItInPlace)
{
    const HelperStagingRecord good = makeRecord(kTen);
    ASSERT_OK(journal.write(good));

    PlistValue otherKind = makeRecord(kTen).toPlist();
    (*otherKind.asDictionary())["kind"] = PlistValue("copy");
    writeRecordFile("kind.staging", otherKind);
    PlistValue noTrashName = makeRecord(kTen).toPlist();
    noTrashName.asDictionary()->erase("trashName");
    writeRecordFile("trashname.staging", noTrashName);
    PlistValue numberedDaemon = makeRecord(kTen).toPlist();
    (*numberedDaemon.asDictionary())["isDaemon"] = PlistValue(1);
    writeRecordFile("bool.staging", numberedDaemon);
    writeRecordFile("array.staging", PlistValue(PlistValue::Array{makeRecord(kTen).toPlist()}));
    mac.write(journalPath().appendingPathComponent("text.staging"), "not a property list");
    mac.write(journalPath().appendingPathComponent("empty.staging"), "");
    mac.mkdir(journalPath().appendingPathComponent("folder.staging"));
    mac.symlink(journalPath().appendingPathComponent("link.staging"),
                good.id.string() + ".staging");
    ASSERT_EQ(::mkfifo((journalHost() + "/fifo.staging").c_str(), 0600), 0);

    const auto before = entries();
    const auto listed = journal.records();
    ASSERT_OK(listed);
    const auto& records = *listed;
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].id, good.id);
    EXPECT_EQ(entries(), before);
}

TEST_F(HelperStagingJournalTest, RecordsWithoutTheOptionalKeysDecode)
{
    HelperStagingRecord r = makeRecord(kTen);
    r.stagingIdentity = HelperFileIdentity{1, 2, std::nullopt};
    r.parentIdentity = HelperFileIdentity{1, 3, std::nullopt};
    r.volume = HelperVolumeStamp{{1}, 1};
    PlistValue value = r.toPlist();
    for (const char* key : {"stagingIdentity", "parentIdentity", "volume"}) {
        ASSERT_TRUE(value.find(key)) << key;
        value.asDictionary()->erase(key);
    }
    const auto back = HelperStagingRecord::fromPlist(value);
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->stagingIdentity);
    EXPECT_FALSE(back->parentIdentity);
    EXPECT_FALSE(back->volume);

    for (const char* key : {"id", "kind", "uid", "gid", "home", "stagingName", "itemIdentity",
                            "originalPath", "trashName", "isDaemon", "date"}) {
        PlistValue missing = r.toPlist();
        missing.asDictionary()->erase(key);
        EXPECT_FALSE(HelperStagingRecord::fromPlist(missing)) << key;
    }
}

TEST_F(HelperStagingJournalTest, AFolderThatCannotBeMadeFailsTheWrite)
{
    mac.write(journalPath(), "a file where the folder belongs");
    EXPECT_ERRNO(journal.write(makeRecord(kTen)), ENOTDIR);
    // A journal that cannot be listed is a failure, not an empty journal.
    EXPECT_ERRNO(journal.records(), ENOTDIR);
}

TEST(HelperStagingRecord, RemapsOnlyIdentitiesOnTheRecordedDevice)
{
    const veldo::common::VolumeUUID uuid{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    HelperStagingRecord r = makeRecord(kTen);
    r.volume = HelperVolumeStamp{uuid, 40};
    r.stagingIdentity = HelperFileIdentity{40, 1, FileTime{5, 6}};
    r.itemIdentity = HelperFileIdentity{40, 2, std::nullopt};
    r.parentIdentity = HelperFileIdentity{41, 3, std::nullopt}; // another volume

    const HelperStagingRecord moved = r.remapped(HelperVolumeStamp{uuid, 90});
    EXPECT_EQ(moved.stagingIdentity->device, 90);
    EXPECT_EQ(moved.stagingIdentity->inode, 1u);
    EXPECT_EQ(moved.stagingIdentity->birthTime, (FileTime{5, 6}));
    EXPECT_EQ(moved.itemIdentity.device, 90);
    EXPECT_EQ(moved.itemIdentity.inode, 2u);
    EXPECT_EQ(moved.parentIdentity->device, 41);
    // Everything but the identities stays.
    HelperStagingRecord rest = moved;
    rest.stagingIdentity = r.stagingIdentity;
    rest.itemIdentity = r.itemIdentity;
    EXPECT_EQ(rest, r);

    // Another volume, no current stamp, or no recorded stamp: nothing changes.
    veldo::common::VolumeUUID other = uuid;
    other[0] = 0xFF;
    for (const auto& current : {std::optional<HelperVolumeStamp>(HelperVolumeStamp{other, 90}),
                                std::optional<HelperVolumeStamp>()}) {
        const HelperStagingRecord same = r.remapped(current);
        EXPECT_EQ(same.stagingIdentity->device, 40);
        EXPECT_EQ(same.itemIdentity.device, 40);
    }
    HelperStagingRecord unstamped = r;
    unstamped.volume.reset();
    const HelperStagingRecord same = unstamped.remapped(HelperVolumeStamp{uuid, 90});
    EXPECT_EQ(same.itemIdentity.device, 40);
    EXPECT_EQ(same.stagingIdentity->device, 40);
}

} // namespace
