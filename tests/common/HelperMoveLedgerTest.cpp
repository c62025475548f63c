// The move ledger: pruning by age and by each account's count, replacement, lookups, failed
// writes, the damaged file kept aside, and the modes and owners of what it writes.
#include "common/HelperMoveLedger.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/PropertyList.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/ResultAssertions.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using veldo::common::HelperFileIdentity;
using veldo::common::HelperItemInventory;
using veldo::common::HelperMoveLedger;
using veldo::common::HelperMoveRecord;
using veldo::common::HelperVolumeStamp;
using veldo::platform::Clock;
using veldo::platform::ManualClock;
using veldo::platform::PlistValue;
using veldo::platform::UUID;
using namespace veldo::testsupport::literals;
using namespace veldo::testsupport::literals;

const Clock::TimePoint kNow{std::chrono::seconds(1'700'000'000)};
constexpr auto kThirtyDays = std::chrono::seconds(2'592'000);

HelperMoveRecord makeRecord(uid_t uid, const std::string& trashPath, Clock::TimePoint date)
{
    HelperMoveRecord r;
    r.id = *UUID::random();
    r.uid = uid;
    r.trashPath = trashPath;
    r.originalPath = "/Library/Application Support/Example";
    r.identity = HelperFileIdentity{2049, 4242, std::nullopt};
    r.ownerID = 0;
    r.groupID = 80;
    r.date = date;
    return r;
}

HelperItemInventory inventoryWith(std::uint64_t key)
{
    HelperItemInventory inventory;
    HelperItemInventory::Entry e;
    e.uid = 501;
    e.mode = 0100644;
    e.links = 1;
    inventory.entries[key] = e;
    return inventory;
}

std::string readHost(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct stat statHost(const std::string& path)
{
    struct stat st = {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

class HelperMoveLedgerTest : public ::testing::Test
{
protected:
    std::string stateHost() const { return mac.host(veldo::common::stateDirectoryURL()); }
    std::string ledgerHost() const { return stateHost() + "/Moves.plist"; }
    std::string inventoryHost(const UUID& id) const
    {
        return stateHost() + "/Inventories/" + id.string() + ".inventory";
    }
    std::vector<std::string> stateEntries(const std::string& sub = {}) const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(stateHost() + sub))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Writes "Moves.plist" as another run of the daemon would have left it.
    void writeLedgerFile(const std::vector<HelperMoveRecord>& records) const
    {
        PlistValue::Array array;
        for (const auto& r : records)
            array.push_back(r.toPlist());
        mac.writePlist(veldo::common::stateDirectoryURL().appendingPathComponent("Moves.plist"),
                       PlistValue(std::move(array)), true);
    }
    void writeInventoryFile(const UUID& id) const
    {
        mac.write(veldo::common::stateDirectoryURL().appendingPathComponent(
                      "Inventories/" + id.string() + ".inventory"),
                  std::string("\x04\x01", 2), 0600);
    }

    veldo::testsupport::FakeMac mac;
    ManualClock clock{kNow};
};

TEST_F(HelperMoveLedgerTest, RecordsRoundTripThroughTheFileWithEveryField)
{
    HelperMoveRecord full = makeRecord(501, "/Users/a/.Trash/Example", kNow - 5s);
    full.identity = HelperFileIdentity{-2, 0xFFFFFFFFFFFFFFF0ULL,
                                       veldo::platform::FileTime{1'650'000'000, 123'456'789}};
    full.parentIdentity = HelperFileIdentity{2049, 17, veldo::platform::FileTime{7, 0}};
    full.parentOwnerID = 4'294'967'294u;
    full.volume = HelperVolumeStamp{{0xE6, 0x21, 0xE1, 0xF8, 0xC3, 0x6C, 0x49, 0x5A, 0x93, 0xFC,
                                     0x0C, 0x24, 0x7A, 0x3E, 0x6E, 0x5F},
                                    -77};
    const HelperMoveRecord bare = makeRecord(502, "/Users/b/.Trash/Other", kNow - 4s);
    {
        auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
        ASSERT_OK(ledger);
        ASSERT_OK(ledger->add(full, inventoryWith(1)));
        ASSERT_OK(ledger->add(bare, inventoryWith(2)));
    }
    auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(reloaded);
    ASSERT_EQ(reloaded->records().size(), 2u);
    const HelperMoveRecord& back = reloaded->records()[0];
    EXPECT_EQ(back, full);
    // Equality lets a missing birth time pass; the stored one must be the very same.
    EXPECT_EQ(back.identity.birthTime, full.identity.birthTime);
    EXPECT_EQ(back.parentIdentity->birthTime, full.parentIdentity->birthTime);
    EXPECT_EQ(back.volume, full.volume);
    EXPECT_EQ(reloaded->records()[1], bare);
    EXPECT_FALSE(reloaded->records()[1].parentIdentity);
    EXPECT_FALSE(reloaded->records()[1].parentOwnerID);
    EXPECT_FALSE(reloaded->records()[1].volume);
    EXPECT_FALSE(reloaded->records()[1].identity.birthTime);

    // The inventory file holds the encoded inventory.
    const std::string bytes = readHost(inventoryHost(full.id));
    const auto inventory = HelperItemInventory::fromBytes(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    ASSERT_TRUE(inventory);
    EXPECT_EQ(inventory->entries.count(1), 1u);
}

TEST_F(HelperMoveLedgerTest, PrunesAtExactlyThirtyDaysWithTheInventoryFile)
{
    const HelperMoveRecord kept = makeRecord(501, "/Users/a/.Trash/Kept", kNow - kThirtyDays);
    const HelperMoveRecord pruned =
        makeRecord(501, "/Users/a/.Trash/Pruned", kNow - kThirtyDays - 1s);
    writeLedgerFile({pruned, kept});
    writeInventoryFile(kept.id);
    writeInventoryFile(pruned.id);

    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    ASSERT_EQ(ledger->records().size(), 1u);
    EXPECT_EQ(ledger->records()[0].id, kept.id);
    EXPECT_TRUE(fs::exists(inventoryHost(kept.id)));
    EXPECT_FALSE(fs::exists(inventoryHost(pruned.id)));
    // The pruned ledger was saved at load.
    auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(reloaded);
    ASSERT_EQ(reloaded->records().size(), 1u);
    EXPECT_EQ(reloaded->records()[0].id, kept.id);
}

TEST_F(HelperMoveLedgerTest, ALoadWhosePrunedLedgerCannotBeSavedFails)
{
    writeLedgerFile({makeRecord(501, "/Users/a/.Trash/Old", kNow - kThirtyDays - 1s)});
    // A file standing where the inventories folder belongs.
    mac.write(veldo::common::stateDirectoryURL().appendingPathComponent("Inventories"), "x");
    const std::string original = readHost(ledgerHost());
    EXPECT_ERRNO(HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock), ENOTDIR);
    EXPECT_EQ(readHost(ledgerHost()), original);
}

TEST_F(HelperMoveLedgerTest, EachAccountKeepsItsFiveThousandMostRecentlyAdded)
{
    // One request may move 5,000 items: each account keeps that many records of its own, and
    // another account's moves never push them out.
    constexpr std::size_t kCap = HelperMoveLedger::kMaximumRecordsPerAccount;
    ASSERT_EQ(kCap, 5000u);
    const HelperMoveRecord otherFirst = makeRecord(502, "/Users/b/.Trash/First", kNow - 2h);
    std::vector<HelperMoveRecord> mine;
    mine.reserve(kCap + 1);
    for (std::size_t i = 0; i <= kCap; ++i)
        mine.push_back(makeRecord(501, "/Users/a/.Trash/Item " + std::to_string(i), kNow - 1h));
    std::vector<HelperMoveRecord> onDisk{otherFirst};
    onDisk.insert(onDisk.end(), mine.begin(), mine.begin() + 2500);
    const HelperMoveRecord otherMiddle = makeRecord(502, "/Users/b/.Trash/Middle", kNow - 1h);
    onDisk.push_back(otherMiddle);
    onDisk.insert(onDisk.end(), mine.begin() + 2500, mine.end());
    writeLedgerFile(onDisk);
    for (const HelperMoveRecord& r : {mine[0], mine[1], otherFirst})
        writeInventoryFile(r.id);

    // Loading a ledger of 5,001 records of one account drops that account's earliest only.
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    ASSERT_EQ(ledger->records().size(), kCap + 2);
    EXPECT_EQ(ledger->records().front().id, otherFirst.id);
    EXPECT_EQ(ledger->records()[1].id, mine[1].id);
    EXPECT_EQ(ledger->records().back().id, mine[kCap].id);
    EXPECT_FALSE(ledger->record(mine[0].trashPath, 501));
    EXPECT_TRUE(ledger->record(otherMiddle.trashPath, 502));
    EXPECT_FALSE(fs::exists(inventoryHost(mine[0].id)));
    EXPECT_TRUE(fs::exists(inventoryHost(mine[1].id)));
    EXPECT_TRUE(fs::exists(inventoryHost(otherFirst.id)));

    // Adds: the other account's takes nothing of mine; my next pushes out my earliest only.
    ASSERT_OK(ledger->add(makeRecord(502, "/Users/b/.Trash/Last", kNow), inventoryWith(1)));
    EXPECT_EQ(ledger->records().size(), kCap + 3);
    EXPECT_TRUE(ledger->record(mine[1].trashPath, 501));
    ASSERT_OK(ledger->add(makeRecord(501, "/Users/a/.Trash/Newest", kNow), inventoryWith(2)));
    EXPECT_EQ(ledger->records().size(), kCap + 3);
    EXPECT_FALSE(ledger->record(mine[1].trashPath, 501));
    EXPECT_FALSE(fs::exists(inventoryHost(mine[1].id)));
    EXPECT_TRUE(ledger->record(mine[2].trashPath, 501));
    EXPECT_TRUE(ledger->record(otherFirst.trashPath, 502));
    EXPECT_TRUE(fs::exists(inventoryHost(otherFirst.id)));
}

TEST_F(HelperMoveLedgerTest, AChangeAppendsTheSameFewBytesWhateverTheLedgerHolds)
{
    constexpr std::size_t kCap = HelperMoveLedger::kMaximumRecordsPerAccount;
    std::vector<HelperMoveRecord> full;
    for (std::size_t i = 0; i < kCap; ++i)
        full.push_back(makeRecord(501, "/Users/a/.Trash/Item " + std::to_string(i), kNow - 1h));
    const std::string changes = stateHost() + "/Moves.changes";
    for (const std::size_t held : {std::size_t{1}, kCap}) {
        SCOPED_TRACE(held);
        fs::remove_all(stateHost());
        writeLedgerFile(std::vector<HelperMoveRecord>(full.begin(), full.begin() + held));
        auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
        ASSERT_OK(ledger);
        // The first change writes the ledger whole with its (empty) list of changes; the next
        // ones only append to that list.
        const HelperMoveRecord first = makeRecord(502, "/Users/b/.Trash/First", kNow);
        ASSERT_OK(ledger->add(first, inventoryWith(1)));
        const struct stat whole = statHost(ledgerHost());
        const auto before = fs::file_size(changes);
        const HelperMoveRecord added = makeRecord(502, "/Users/b/.Trash/Second", kNow);
        ASSERT_OK(ledger->add(added, inventoryWith(2)));
        ASSERT_OK(ledger->remove(first.id));
        ASSERT_OK(ledger->commit());
        EXPECT_EQ(statHost(ledgerHost()).st_ino, whole.st_ino);
        EXPECT_LT(fs::file_size(changes) - before, 1024u);

        auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
        ASSERT_OK(reloaded);
        EXPECT_EQ(reloaded->records(), ledger->records());
        EXPECT_EQ(reloaded->records().size(), held + 1);
        EXPECT_EQ(reloaded->records().back(), added);
        EXPECT_FALSE(reloaded->record(first.trashPath, 502));
        EXPECT_TRUE(fs::exists(inventoryHost(added.id)));
        EXPECT_FALSE(fs::exists(inventoryHost(first.id)));
    }
}

TEST_F(HelperMoveLedgerTest, ManyChangesWriteTheLedgerWholeAgain)
{
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    const HelperMoveRecord kept = makeRecord(501, "/Users/a/.Trash/Kept", kNow);
    ASSERT_OK(ledger->add(kept, inventoryWith(1))); // written whole
    const ino_t first = statHost(ledgerHost()).st_ino;
    // Each add replaces the one before (the same Trash path): a change each, two records.
    const std::size_t changes = HelperMoveLedger::kMinimumChangesBeforeCompaction;
    for (std::size_t i = 0; i < changes; ++i)
        ASSERT_OK(ledger->add(makeRecord(501, "/Users/a/.Trash/Again", kNow), inventoryWith(1)));
    EXPECT_EQ(statHost(ledgerHost()).st_ino, first);
    const HelperMoveRecord last = makeRecord(501, "/Users/a/.Trash/Again", kNow);
    ASSERT_OK(ledger->add(last, inventoryWith(1)));
    // That one found the list full: the ledger is whole in "Moves.plist" again.
    EXPECT_NE(statHost(ledgerHost()).st_ino, first);
    EXPECT_LT(fs::file_size(stateHost() + "/Moves.changes"), 100u);
    auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(reloaded);
    EXPECT_EQ(reloaded->records(), (std::vector<HelperMoveRecord>{kept, last}));
    EXPECT_EQ(stateEntries("/Inventories").size(), 2u);
}

TEST_F(HelperMoveLedgerTest, AChangeCutOffOrOfAnotherLedgerFileIsNotTaken)
{
    const HelperMoveRecord a = makeRecord(501, "/Users/a/.Trash/A", kNow - 2s);
    const HelperMoveRecord b = makeRecord(501, "/Users/a/.Trash/B", kNow - 1s);
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    ASSERT_OK(ledger->add(a, inventoryWith(1))); // written whole
    ASSERT_OK(ledger->add(b, inventoryWith(2))); // appended
    ASSERT_OK(ledger->remove(a.id));             // appended
    const std::string changes = stateHost() + "/Moves.changes";
    const std::string full = readHost(changes);
    const std::string base = readHost(ledgerHost());

    // The last entry cut off in the middle (a kill in the append, a power cut): it is not
    // there, and the next change writes the ledger whole.
    fs::resize_file(changes, full.size() - 10);
    auto cut = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(cut);
    EXPECT_EQ(cut->records(), (std::vector<HelperMoveRecord>{a, b}));
    const ino_t before = statHost(ledgerHost()).st_ino;
    const HelperMoveRecord c = makeRecord(501, "/Users/a/.Trash/C", kNow);
    ASSERT_OK(cut->add(c, inventoryWith(3)));
    EXPECT_NE(statHost(ledgerHost()).st_ino, before);
    auto afterCut = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(afterCut);
    EXPECT_EQ(afterCut->records(), (std::vector<HelperMoveRecord>{a, b, c}));

    // An entry damaged inside ends what is taken; so does garbage after the last one.
    std::string damaged = full;
    damaged[damaged.size() - 20] ^= 0x01;
    const struct
    {
        std::string bytes;
        std::vector<HelperMoveRecord> records;
    } cases[] = {{damaged, {a, b}}, {full + "garbage at the end", {b}}};
    for (const auto& [bytes, records] : cases) {
        std::ofstream(ledgerHost(), std::ios::binary | std::ios::trunc) << base;
        std::ofstream(changes, std::ios::binary | std::ios::trunc) << bytes;
        auto ledgerAgain = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
        ASSERT_OK(ledgerAgain);
        EXPECT_EQ(ledgerAgain->records(), records);
    }

    // A "Moves.plist" written whole, whose new list of changes didn't follow (a stop between
    // the two writes): the old changes name the file before it and are not taken again, so a
    // record that went doesn't come back.
    writeLedgerFile({b});
    std::ofstream(changes, std::ios::binary | std::ios::trunc) << full;
    auto compacted = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(compacted);
    EXPECT_EQ(compacted->records(), (std::vector<HelperMoveRecord>{b}));
}

TEST_F(HelperMoveLedgerTest, ChangesThatCannotBeReadFailTheLoadAndRemoveNothing)
{
    const HelperMoveRecord a = makeRecord(501, "/Users/a/.Trash/A", kNow - 1s);
    const HelperMoveRecord b = makeRecord(501, "/Users/a/.Trash/B", kNow);
    const std::string changes = stateHost() + "/Moves.changes";
    const struct
    {
        const char* what;
        int error;
    } cases[] = {{"folder", EINVAL}, {"symbolic link", ELOOP}, {"file too large", EFBIG}};
    for (const auto& [what, error] : cases) {
        SCOPED_TRACE(what);
        fs::remove_all(stateHost());
        {
            auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
            ASSERT_OK(ledger);
            ASSERT_OK(ledger->add(a, inventoryWith(1))); // written whole
            ASSERT_OK(ledger->add(b, inventoryWith(2))); // only in the changes
            ASSERT_OK(ledger->commit());
        }
        const std::string base = readHost(ledgerHost());
        const std::string list = readHost(changes);
        fs::rename(changes, changes + ".kept");
        if (error == EINVAL) {
            fs::create_directory(changes);
        } else if (error == ELOOP) {
            fs::create_symlink(changes + ".kept", changes);
        } else {
            fs::copy_file(changes + ".kept", changes);
            fs::resize_file(changes, std::size_t{257} << 20);
        }
        EXPECT_ERRNO(HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock), error);
        EXPECT_EQ(readHost(ledgerHost()), base);
        EXPECT_TRUE(fs::exists(inventoryHost(a.id)));
        EXPECT_TRUE(fs::exists(inventoryHost(b.id)));

        // Readable again, the changes are all there.
        fs::remove_all(changes);
        fs::rename(changes + ".kept", changes);
        auto again = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
        ASSERT_OK(again);
        EXPECT_EQ(again->records(), (std::vector<HelperMoveRecord>{a, b}));
        EXPECT_EQ(readHost(changes), list);
    }
}

TEST_F(HelperMoveLedgerTest, ALedgerRewrittenToTheSameBytesDoesNotTakeItsOldChangesAgain)
{
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    const HelperMoveRecord kept = makeRecord(501, "/Users/a/.Trash/Kept", kNow);
    ASSERT_OK(ledger->add(kept, inventoryWith(1))); // written whole
    const std::string base = readHost(ledgerHost());
    // Changes up to the last one before the ledger is written whole again, the last adding a
    // record; the removal of that record writes the very bytes of the first "Moves.plist".
    for (std::size_t i = 1; i < HelperMoveLedger::kMinimumChangesBeforeCompaction; ++i)
        ASSERT_OK(ledger->remove(*UUID::random()));
    const HelperMoveRecord gone = makeRecord(501, "/Users/a/.Trash/Gone", kNow);
    ASSERT_OK(ledger->add(gone, inventoryWith(2)));
    // A stop once "Moves.plist" is written and before its new list of changes is: what the
    // state folder held of the changes then stays.
    const std::string changes = stateHost() + "/Moves.changes";
    std::optional<std::string> changesAtStop;
    veldo::common::testing::setLedgerRewriteHook([&] {
        if (fs::exists(changes))
            changesAtStop = readHost(changes);
    });
    const ino_t before = statHost(ledgerHost()).st_ino;
    const auto removed = ledger->remove(gone.id);
    veldo::common::testing::setLedgerRewriteHook({});
    ASSERT_OK(removed);
    ASSERT_NE(statHost(ledgerHost()).st_ino, before);
    ASSERT_EQ(readHost(ledgerHost()), base);
    fs::remove(changes);
    if (changesAtStop)
        std::ofstream(changes, std::ios::binary) << *changesAtStop;

    auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(reloaded);
    EXPECT_EQ(reloaded->records(), (std::vector<HelperMoveRecord>{kept}));
}

TEST_F(HelperMoveLedgerTest, RemovingSeveralRecordsSavesOnceWithoutThem)
{
    const HelperMoveRecord a = makeRecord(501, "/Users/a/.Trash/A", kNow - 3s);
    const HelperMoveRecord b = makeRecord(502, "/Users/b/.Trash/B", kNow - 2s);
    const HelperMoveRecord c = makeRecord(501, "/Users/a/.Trash/C", kNow - 1s);
    writeLedgerFile({a, b, c});
    for (const HelperMoveRecord& r : {a, b, c})
        writeInventoryFile(r.id);
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    const UUID stray = *UUID::random();
    ASSERT_OK(ledger->remove(std::vector<UUID>{c.id, stray, a.id}));
    ASSERT_EQ(ledger->records().size(), 1u);
    EXPECT_EQ(ledger->records()[0].id, b.id);
    EXPECT_FALSE(fs::exists(inventoryHost(a.id)));
    EXPECT_TRUE(fs::exists(inventoryHost(b.id)));
    EXPECT_FALSE(fs::exists(inventoryHost(c.id)));
    auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(reloaded);
    EXPECT_EQ(reloaded->records(), ledger->records());
}

TEST_F(HelperMoveLedgerTest, LoadWithNothingToPruneDoesNotRewriteTheFile)
{
    writeLedgerFile({makeRecord(501, "/Users/a/.Trash/A", kNow - 1h)});
    const struct stat before = statHost(ledgerHost());
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    EXPECT_EQ(ledger->records().size(), 1u);
    const struct stat after = statHost(ledgerHost());
    EXPECT_EQ(after.st_ino, before.st_ino); // an atomic rewrite would bring a new inode
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    // Nothing was made either.
    EXPECT_FALSE(fs::exists(stateHost() + "/Inventories"));
}

TEST_F(HelperMoveLedgerTest, AddReplacesTheRecordOfTheSameUserAndTrashPath)
{
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    const HelperMoveRecord old = makeRecord(501, "/Users/a/.Trash/Report.pdf", kNow - 10s);
    const HelperMoveRecord otherUser = makeRecord(502, "/Users/a/.Trash/Report.pdf", kNow - 9s);
    const HelperMoveRecord newer = makeRecord(501, "/Users/a/.Trash/Report.pdf", kNow);
    ASSERT_OK(ledger->add(old, inventoryWith(1)));
    ASSERT_OK(ledger->add(otherUser, inventoryWith(2)));
    ASSERT_OK(ledger->add(newer, inventoryWith(3)));

    ASSERT_EQ(ledger->records().size(), 2u);
    EXPECT_EQ(ledger->records()[0].id, otherUser.id);
    EXPECT_EQ(ledger->records()[1].id, newer.id);
    EXPECT_FALSE(fs::exists(inventoryHost(old.id)));
    EXPECT_TRUE(fs::exists(inventoryHost(otherUser.id)));
    EXPECT_TRUE(fs::exists(inventoryHost(newer.id)));

    // Lookups are per user.
    EXPECT_EQ(ledger->record("/Users/a/.Trash/Report.pdf", 501)->id, newer.id);
    EXPECT_EQ(ledger->record("/Users/a/.Trash/Report.pdf", 502)->id, otherUser.id);
    EXPECT_FALSE(ledger->record("/Users/a/.Trash/Report.pdf", 503));
    EXPECT_FALSE(ledger->record("/Users/a/.Trash/report.pdf", 501)); // exact text only

    auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(reloaded);
    EXPECT_EQ(reloaded->records(), ledger->records());
}

TEST_F(HelperMoveLedgerTest, LookupAnswersTheMostRecentlyAddedOfSeveralMatches)
{
    // Another build of the daemon may have left two records of one pair.
    const HelperMoveRecord first = makeRecord(501, "/Users/a/.Trash/X", kNow - 1s);
    const HelperMoveRecord second = makeRecord(501, "/Users/a/.Trash/X", kNow - 2s);
    writeLedgerFile({first, second});
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    EXPECT_EQ(ledger->record("/Users/a/.Trash/X", 501)->id, second.id);
}

TEST_F(HelperMoveLedgerTest, AnUnwritableInventoryLeavesTheLedgerFileUnchanged)
{
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    const HelperMoveRecord first = makeRecord(501, "/Users/a/.Trash/A", kNow);
    ASSERT_OK(ledger->add(first, inventoryWith(1)));
    const std::string before = readHost(ledgerHost());

    // A folder standing at the inventory's name cannot be replaced by a file, even by root.
    const HelperMoveRecord blocked = makeRecord(501, "/Users/a/.Trash/B", kNow);
    fs::create_directory(inventoryHost(blocked.id));
    EXPECT_ERRNO(ledger->add(blocked, inventoryWith(2)), EISDIR);

    EXPECT_EQ(readHost(ledgerHost()), before);
    ASSERT_EQ(ledger->records().size(), 1u);
    EXPECT_EQ(ledger->records()[0].id, first.id);
    EXPECT_TRUE(fs::is_directory(inventoryHost(blocked.id)));
    // No temporary file is left behind.
    std::vector<std::string> expected{first.id.string() + ".inventory",
                                      blocked.id.string() + ".inventory"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(stateEntries("/Inventories"), expected);
}

TEST_F(HelperMoveLedgerTest, ARecordThatCannotBeWrittenIsNotTakenAndLaterAddsStillSave)
{
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    const HelperMoveRecord first = makeRecord(501, "/Users/a/.Trash/A", kNow);
    ASSERT_OK(ledger->add(first, inventoryWith(1)));
    const std::string before = readHost(ledgerHost());

    // Not valid UTF-8: a property list can't hold it as written.
    const HelperMoveRecord unwritable = makeRecord(501, "/Users/a/.Trash/\xFF\xFE", kNow);
    const auto refused = ledger->add(unwritable, inventoryWith(2));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, veldo::ErrorCode::invalidArgument);
    EXPECT_EQ(readHost(ledgerHost()), before);
    EXPECT_FALSE(fs::exists(inventoryHost(unwritable.id)));

    const HelperMoveRecord next = makeRecord(501, "/Users/a/.Trash/C", kNow);
    ASSERT_OK(ledger->add(next, inventoryWith(3)));
    auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(reloaded);
    ASSERT_EQ(reloaded->records().size(), 2u);
    EXPECT_EQ(reloaded->records()[1].id, next.id);
}

TEST_F(HelperMoveLedgerTest, AnUncreatableStateFolderSavesNothing)
{
    // A file standing where the state folder belongs.
    mac.write(veldo::common::stateDirectoryURL(), "not a folder");
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    EXPECT_ERRNO(ledger->add(makeRecord(501, "/Users/a/.Trash/A", kNow), inventoryWith(1)),
                 ENOTDIR);
    EXPECT_TRUE(ledger->records().empty());
    EXPECT_ERRNO(ledger->remove(*UUID::random()), ENOTDIR);
    EXPECT_EQ(readHost(stateHost()), "not a folder");
}

TEST_F(HelperMoveLedgerTest, ADamagedLedgerIsKeptAsideBeforeTheFirstOverwrite)
{
    const HelperMoveRecord good = makeRecord(501, "/Users/a/.Trash/A", kNow - 1h);
    PlistValue damaged = makeRecord(501, "/Users/a/.Trash/B", kNow - 1h).toPlist();
    damaged.asDictionary()->erase("date");
    mac.writePlist(veldo::common::stateDirectoryURL().appendingPathComponent("Moves.plist"),
                   PlistValue(PlistValue::Array{good.toPlist(), damaged}), true);
    const std::string original = readHost(ledgerHost());

    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    EXPECT_TRUE(ledger->records().empty());
    EXPECT_EQ(readHost(ledgerHost()), original); // untouched at load

    const HelperMoveRecord added = makeRecord(501, "/Users/a/.Trash/C", kNow);
    ASSERT_OK(ledger->add(added, inventoryWith(1)));
    // 1,700,000,000 s is 2023-11-14 22:13:20 UTC.
    const std::string aside = stateHost() + "/Moves.plist.unreadable-20231114-221320";
    EXPECT_EQ(readHost(aside), original);
    auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(reloaded);
    ASSERT_EQ(reloaded->records().size(), 1u);
    EXPECT_EQ(reloaded->records()[0].id, added.id);

    // Later saves overwrite the new ledger only; the kept file stays as it is.
    ASSERT_OK(ledger->remove(added.id));
    EXPECT_EQ(readHost(aside), original);
    EXPECT_EQ(stateEntries(),
              (std::vector<std::string>{"Inventories", "Moves.changes", "Moves.plist",
                                        "Moves.plist.unreadable-20231114-221320"}));
}

TEST_F(HelperMoveLedgerTest, ALedgerHoldingAStringItCouldNotWriteIsDamaged)
{
    // A byte flip that turns one character of an ASCII string into 0xE9: read as it is, the
    // record would load and every later save would fail, losing new records at the next start.
    const HelperMoveRecord record = makeRecord(501, "/Users/a/.Trash/Flipped", kNow - 1h);
    writeLedgerFile({record});
    std::string bytes = readHost(ledgerHost());
    const auto at = bytes.find("Flipped");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = '\xE9';
    {
        std::ofstream(ledgerHost(), std::ios::binary | std::ios::trunc) << bytes;
    }
    writeInventoryFile(record.id);

    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    EXPECT_TRUE(ledger->records().empty());
    // Its record's inventory stays beside the damaged file, which is kept at the first save.
    EXPECT_TRUE(fs::exists(inventoryHost(record.id)));
    const HelperMoveRecord added = makeRecord(501, "/Users/a/.Trash/C", kNow);
    ASSERT_OK(ledger->add(added, inventoryWith(1)));
    EXPECT_EQ(readHost(stateHost() + "/Moves.plist.unreadable-20231114-221320"), bytes);
    auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(reloaded);
    ASSERT_EQ(reloaded->records().size(), 1u);
    EXPECT_EQ(reloaded->records()[0].id, added.id);
}

TEST_F(HelperMoveLedgerTest, LoadRemovesInterruptedWritesAndInventoriesWithoutARecord)
{
    const HelperMoveRecord kept = makeRecord(501, "/Users/a/.Trash/A", kNow - 1h);
    const UUID orphan = *UUID::random();
    const auto put = [&](const std::string& relative) {
        mac.write(veldo::common::stateDirectoryURL().appendingPathComponent(relative), "x", 0600);
    };
    const std::string orphanName = orphan.string() + ".inventory";
    const std::vector<std::string> leftovers = {
        ".Moves.plist.tmp-a1B2c3",
        "Inventories/." + kept.id.string() + ".inventory.tmp-Zz9yY8",
        "Inventories/" + orphanName,
    };
    // Not the ledger's: other state files, and names it never gives an inventory.
    const std::vector<std::string> others = {
        ".Staging.plist.tmp-a1B2c3", "Moves.plist.unreadable-20231114-221320",
        "Inventories/notes.txt", "Inventories/" + orphan.string() + ".inventory.old",
        "Inventories/not-an-id.inventory"};
    const auto putAll = [&] {
        for (const auto& name : leftovers)
            put(name);
        for (const auto& name : others)
            put(name);
        writeInventoryFile(kept.id);
    };

    // With a ledger that reads, and with none at all (every inventory is then without record).
    for (const bool withLedger : {true, false}) {
        SCOPED_TRACE(withLedger);
        fs::remove_all(stateHost());
        putAll();
        if (withLedger)
            writeLedgerFile({kept});
        auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
        ASSERT_OK(ledger);
        for (const auto& name : leftovers)
            EXPECT_FALSE(fs::exists(stateHost() + "/" + name)) << name;
        for (const auto& name : others)
            EXPECT_TRUE(fs::exists(stateHost() + "/" + name)) << name;
        EXPECT_EQ(fs::exists(inventoryHost(kept.id)), withLedger);
    }

    // Beside a ledger that can't be read, every inventory stays.
    fs::remove_all(stateHost());
    putAll();
    put("Moves.plist");
    auto damaged = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(damaged);
    EXPECT_TRUE(fs::exists(stateHost() + "/Inventories/" + orphanName));
    EXPECT_TRUE(fs::exists(inventoryHost(kept.id)));
}

TEST_F(HelperMoveLedgerTest, AnUnparsableLedgerIsKeptAsideUnderAFreeName)
{
    mac.write(veldo::common::stateDirectoryURL().appendingPathComponent("Moves.plist"),
              "bplist00 but not really");
    mac.write(veldo::common::stateDirectoryURL().appendingPathComponent(
                  "Moves.plist.unreadable-20231114-221320"),
              "an earlier one");
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    ASSERT_OK(ledger->remove(*UUID::random()));
    EXPECT_EQ(readHost(stateHost() + "/Moves.plist.unreadable-20231114-221320"), "an earlier one");
    EXPECT_EQ(readHost(stateHost() + "/Moves.plist.unreadable-20231114-221320-2"),
              "bplist00 but not really");
    auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(reloaded);
    EXPECT_TRUE(reloaded->records().empty());
    // Inventories, Moves.changes, Moves.plist and the two kept files.
    EXPECT_EQ(stateEntries().size(), 5u);
}

TEST_F(HelperMoveLedgerTest, RecordsWithoutTheOptionalKeysLoad)
{
    HelperMoveRecord r = makeRecord(501, "/Users/a/.Trash/A", kNow - 1h);
    r.parentIdentity = HelperFileIdentity{1, 2, std::nullopt};
    r.parentOwnerID = 0;
    PlistValue value = r.toPlist();
    ASSERT_TRUE(value.find("parentIdentity") && value.find("parentOwnerID"));
    for (const char* key : {"parentIdentity", "parentOwnerID", "volume"})
        value.asDictionary()->erase(key);
    value.asDictionary()->emplace("addedByALaterBuild", PlistValue(true));
    const auto back = HelperMoveRecord::fromPlist(value);
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->parentIdentity);
    EXPECT_FALSE(back->parentOwnerID);
    EXPECT_FALSE(back->volume);
}

TEST_F(HelperMoveLedgerTest, RecordDecodingRefusesMissingAndMalformedFields)
{
    const PlistValue good = [] {
        HelperMoveRecord r = makeRecord(501, "/Users/a/.Trash/A", kNow);
        r.volume = HelperVolumeStamp{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, 3};
        r.parentOwnerID = 0;
        return r.toPlist();
    }();
    ASSERT_TRUE(HelperMoveRecord::fromPlist(good));
    struct Case
    {
        const char* what;
        const char* key;
        std::optional<PlistValue> value; // none: the key removed
    };
    const Case cases[] = {
        {"no id", "id", std::nullopt},
        {"no uid", "uid", std::nullopt},
        {"no trashPath", "trashPath", std::nullopt},
        {"no originalPath", "originalPath", std::nullopt},
        {"no identity", "identity", std::nullopt},
        {"no ownerID", "ownerID", std::nullopt},
        {"no groupID", "groupID", std::nullopt},
        {"no date", "date", std::nullopt},
        {"id not a UUID", "id", PlistValue("not-a-uuid")},
        {"uid negative", "uid", PlistValue(std::int64_t{-1})},
        {"uid above 32 bits", "uid", PlistValue(std::int64_t{4'294'967'296})},
        {"uid a string", "uid", PlistValue("501")},
        {"date a number", "date", PlistValue(1.5)},
        {"identity without inode", "identity",
         PlistValue(PlistValue::Dictionary{{"device", PlistValue(1)}})},
        {"identity with a bad birth time", "identity",
         PlistValue(PlistValue::Dictionary{
             {"device", PlistValue(1)},
             {"inode", PlistValue(2)},
             {"birthTime", PlistValue(PlistValue::Dictionary{
                               {"seconds", PlistValue(1)},
                               {"nanoseconds", PlistValue(std::int64_t{1'000'000'000})}})}})},
        {"parentOwnerID malformed", "parentOwnerID", PlistValue("root")},
        {"volume without uuid", "volume",
         PlistValue(PlistValue::Dictionary{{"device", PlistValue(1)}})},
    };
    for (const Case& c : cases) {
        PlistValue value = good;
        if (c.value)
            (*value.asDictionary())[c.key] = *c.value;
        else
            value.asDictionary()->erase(c.key);
        EXPECT_FALSE(HelperMoveRecord::fromPlist(value)) << c.what;
    }
    EXPECT_FALSE(HelperMoveRecord::fromPlist(PlistValue(PlistValue::Array{})));
}

TEST_F(HelperMoveLedgerTest, RemoveOfAnUnknownIdStillSavesAndDeletesItsInventory)
{
    const HelperMoveRecord kept = makeRecord(501, "/Users/a/.Trash/A", kNow - 1h);
    writeLedgerFile({kept});
    const UUID stray = *UUID::random();
    writeInventoryFile(stray);
    const ino_t before = statHost(ledgerHost()).st_ino;

    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    EXPECT_OK(ledger->remove(stray));
    EXPECT_NE(statHost(ledgerHost()).st_ino, before);
    EXPECT_FALSE(fs::exists(inventoryHost(stray)));
    ASSERT_EQ(ledger->records().size(), 1u);

    EXPECT_OK(ledger->remove(kept.id));
    EXPECT_TRUE(ledger->records().empty());
    auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(reloaded);
    EXPECT_TRUE(reloaded->records().empty());
}

TEST_F(HelperMoveLedgerTest, AnAddOlderThanThirtyDaysIsPrunedAgainWithItsInventory)
{
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    const HelperMoveRecord old = makeRecord(501, "/Users/a/.Trash/A", kNow - kThirtyDays - 1s);
    EXPECT_OK(ledger->add(old, inventoryWith(1)));
    EXPECT_TRUE(ledger->records().empty());
    EXPECT_FALSE(fs::exists(inventoryHost(old.id)));
    auto reloaded = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(reloaded);
    EXPECT_TRUE(reloaded->records().empty());
}

TEST_F(HelperMoveLedgerTest, AddPrunesByTheClock)
{
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    const HelperMoveRecord early = makeRecord(501, "/Users/a/.Trash/Early", kNow);
    ASSERT_OK(ledger->add(early, inventoryWith(1)));
    clock.advance(kThirtyDays + 1s);
    const HelperMoveRecord late = makeRecord(501, "/Users/a/.Trash/Late", clock.now());
    ASSERT_OK(ledger->add(late, inventoryWith(2)));
    ASSERT_EQ(ledger->records().size(), 1u);
    EXPECT_EQ(ledger->records()[0].id, late.id);
    EXPECT_FALSE(fs::exists(inventoryHost(early.id)));
}

TEST_F(HelperMoveLedgerTest, MakesPrivateFoldersAndFilesOwnedByRoot)
{
    auto ledger = HelperMoveLedger::load(veldo::common::stateDirectoryURL(), clock);
    ASSERT_OK(ledger);
    // A strict umask must not narrow the modes the ledger sets.
    const mode_t oldMask = ::umask(0277);
    const HelperMoveRecord r = makeRecord(501, "/Users/a/.Trash/A", kNow);
    const auto added = ledger->add(r, inventoryWith(1));
    ::umask(oldMask);
    ASSERT_OK(added);

    for (const std::string& folder : {stateHost(), stateHost() + "/Inventories"}) {
        const struct stat st = statHost(folder);
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << folder;
        EXPECT_EQ(st.st_mode & 07777, 0700u) << folder;
    }
    for (const std::string& file :
         {ledgerHost(), stateHost() + "/Moves.changes", inventoryHost(r.id)}) {
        const struct stat st = statHost(file);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << file;
        EXPECT_EQ(st.st_mode & 07777, 0600u) << file;
        if (::geteuid() == 0) {
            EXPECT_EQ(st.st_uid, 0u) << file;
            EXPECT_EQ(st.st_gid, 0u) << file;
        }
    }
    // Only the ledger's own entries: no temporary file is left behind.
    EXPECT_EQ(stateEntries(),
              (std::vector<std::string>{"Inventories", "Moves.changes", "Moves.plist"}));
    // An existing folder keeps its mode.
    ASSERT_EQ(::chmod(stateHost().c_str(), 0750), 0);
    ASSERT_OK(ledger->remove(r.id));
    EXPECT_EQ(statHost(stateHost()).st_mode & 07777, 0750u);
}

TEST_F(HelperMoveLedgerTest, MakesMissingParentsPrivateToo)
{
    const auto directory = veldo::platform::MacPath("/private/var/db/new/orbelkan.Veldo.Helper");
    const mode_t existingMode = statHost(mac.host("/private/var/db"_mac)).st_mode;
    auto ledger = HelperMoveLedger::load(directory, clock);
    ASSERT_OK(ledger);
    ASSERT_OK(ledger->add(makeRecord(501, "/Users/a/.Trash/A", kNow), inventoryWith(1)));
    EXPECT_EQ(statHost(mac.host("/private/var/db/new"_mac)).st_mode & 07777, 0700u);
    EXPECT_EQ(statHost(mac.host("/private/var/db"_mac)).st_mode, existingMode);
    // Through the /var link of the fake Mac, inside the root.
    auto viaLink = HelperMoveLedger::load(
        veldo::platform::MacPath("/var/db/new/orbelkan.Veldo.Helper"), clock);
    ASSERT_OK(viaLink);
    EXPECT_EQ(viaLink->records().size(), 1u);
}

} // namespace
