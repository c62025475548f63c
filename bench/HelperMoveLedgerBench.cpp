// Cost of the helper's move ledger with 2,000 and 5,000 records (its bound for one account):
// loading, and an add or a remove, each of which appends one entry to the list of changes beside
// "Moves.plist" (and, for an add, writes an inventory file) without flushing it, the ledger
// written whole again once the list holds as many changes as the ledger records, and the commit
// that flushes what changed, as the daemon does once per request. The add counts the whole
// ledger file's bytes per record, and the bytes the process wrote per add with its removal.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "common/HelperMoveLedger.h"
#include "common/HelperStateFiles.h"
#include "platform/PropertyList.h"

using veldo::common::HelperFileIdentity;
using veldo::common::HelperItemInventory;
using veldo::common::HelperMoveLedger;
using veldo::common::HelperMoveRecord;
using veldo::common::HelperVolumeStamp;
using veldo::platform::MacPath;
using veldo::platform::PlistValue;

namespace {

HelperMoveRecord sampleRecord(int i, veldo::platform::Clock::TimePoint date)
{
    HelperMoveRecord r;
    r.id = *veldo::platform::UUID::random();
    r.uid = 501;
    r.trashPath = "/Users/someone/.Trash/Example Item " + std::to_string(i);
    r.originalPath =
        "/Library/Application Support/Example Vendor/Example Item " + std::to_string(i);
    r.identity = HelperFileIdentity{66306, 1'000'000u + static_cast<unsigned>(i),
                                    veldo::platform::FileTime{1'700'000'000, 123'456'789}};
    r.ownerID = 0;
    r.groupID = 80;
    r.date = date;
    r.parentIdentity = HelperFileIdentity{66306, 900, veldo::platform::FileTime{1'600'000'000, 1}};
    r.parentOwnerID = 0;
    r.volume = HelperVolumeStamp{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, 66306};
    return r;
}

HelperItemInventory sampleInventory()
{
    HelperItemInventory inventory;
    for (std::uint64_t i = 0; i < 20; ++i) {
        HelperItemInventory::Entry e;
        e.uid = 0;
        e.mode = 0100644;
        e.links = 1;
        inventory.entries[1000 + i] = e;
    }
    return inventory;
}

// The bytes this process has written so far ("wchar" of /proc/self/io).
double bytesWritten()
{
    std::ifstream in("/proc/self/io");
    std::string key;
    double value = 0;
    while (in >> key >> value)
        if (key == "wchar:")
            return value;
    return 0;
}

// A state folder holding a ledger of `count` records, in a fresh temporary folder (the Mac root
// is the host's own "/", so the folder's host path is its Mac path).
class LedgerFolder
{
public:
    explicit LedgerFolder(int count)
    {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "veldo-ledger-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            return;
        m_root = tmpl;
        m_directory = MacPath(m_root + "/orbelkan.Veldo.Helper");
        const auto now = veldo::platform::SystemClock::shared().now();
        PlistValue::Array array;
        for (int i = 0; i < count; ++i)
            array.push_back(sampleRecord(i, now - std::chrono::hours(1)).toPlist());
        const auto bytes = veldo::platform::serializePropertyList(
            PlistValue(std::move(array)), veldo::platform::PlistFormat::binary);
        m_ready =
            bytes && veldo::common::HelperStateFiles::makeFolders(m_directory) &&
            veldo::common::HelperStateFiles::writeAtomically(m_directory, "Moves.plist", *bytes);
    }
    ~LedgerFolder()
    {
        std::error_code ec;
        if (!m_root.empty())
            std::filesystem::remove_all(m_root, ec);
    }
    LedgerFolder(const LedgerFolder&) = delete;
    LedgerFolder& operator=(const LedgerFolder&) = delete;

    bool ready() const { return m_ready; }
    const MacPath& directory() const { return m_directory; }

private:
    std::string m_root;
    MacPath m_directory;
    bool m_ready = false;
};

} // namespace

static void BM_LedgerLoad(benchmark::State& state)
{
    LedgerFolder folder(static_cast<int>(state.range(0)));
    if (!folder.ready()) {
        state.SkipWithError("could not prepare the ledger");
        return;
    }
    for (auto _ : state) {
        auto ledger = HelperMoveLedger::load(folder.directory());
        if (!ledger) {
            state.SkipWithError("load failed");
            return;
        }
        benchmark::DoNotOptimize(ledger->records().size());
    }
}
BENCHMARK(BM_LedgerLoad)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond);

// One add to a full ledger (the oldest record pruned) and, untimed, its removal again.
static void BM_LedgerAdd(benchmark::State& state)
{
    LedgerFolder folder(static_cast<int>(state.range(0)));
    if (!folder.ready()) {
        state.SkipWithError("could not prepare the ledger");
        return;
    }
    auto loaded = HelperMoveLedger::load(folder.directory());
    if (!loaded) {
        state.SkipWithError("load failed");
        return;
    }
    HelperMoveLedger& ledger = *loaded;
    const HelperItemInventory inventory = sampleInventory();
    int i = 0;
    const double writtenBefore = bytesWritten();
    for (auto _ : state) {
        HelperMoveRecord r = sampleRecord(100'000 + i++, ledger.now());
        const auto id = r.id;
        if (!ledger.add(std::move(r), inventory))
            state.SkipWithError("add failed");
        state.PauseTiming();
        if (!ledger.remove(id))
            state.SkipWithError("remove failed");
        state.ResumeTiming();
    }
    const double written = bytesWritten() - writtenBefore;
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(
        folder.directory().appendingPathComponent("Moves.plist").path(), ec);
    state.counters["bytes_per_record"] = ec ? 0 : static_cast<double>(bytes) / state.range(0);
    state.counters["bytes_written_per_add_and_remove"] =
        written / static_cast<double>(state.iterations());
}

// The flush of one request's changes: ten adds, then the commit (timed).
static void BM_LedgerCommit(benchmark::State& state)
{
    LedgerFolder folder(static_cast<int>(state.range(0)));
    if (!folder.ready()) {
        state.SkipWithError("could not prepare the ledger");
        return;
    }
    auto loaded = HelperMoveLedger::load(folder.directory());
    if (!loaded) {
        state.SkipWithError("load failed");
        return;
    }
    HelperMoveLedger& ledger = *loaded;
    const HelperItemInventory inventory = sampleInventory();
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int n = 0; n < 10; ++n)
            if (!ledger.add(sampleRecord(100'000 + i++, ledger.now()), inventory))
                state.SkipWithError("add failed");
        state.ResumeTiming();
        if (!ledger.commit())
            state.SkipWithError("commit failed");
    }
}
BENCHMARK(BM_LedgerCommit)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LedgerAdd)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond);

// One remove from a full ledger, after an untimed add.
static void BM_LedgerRemove(benchmark::State& state)
{
    LedgerFolder folder(static_cast<int>(state.range(0)));
    if (!folder.ready()) {
        state.SkipWithError("could not prepare the ledger");
        return;
    }
    auto loaded = HelperMoveLedger::load(folder.directory());
    if (!loaded) {
        state.SkipWithError("load failed");
        return;
    }
    HelperMoveLedger& ledger = *loaded;
    const HelperItemInventory inventory = sampleInventory();
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HelperMoveRecord r = sampleRecord(100'000 + i++, ledger.now());
        const auto id = r.id;
        if (!ledger.add(std::move(r), inventory))
            state.SkipWithError("add failed");
        state.ResumeTiming();
        if (!ledger.remove(id))
            state.SkipWithError("remove failed");
    }
}
BENCHMARK(BM_LedgerRemove)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond);
