// Cost of the helper's move to Trash: whole moves of single files and their steps (journal
// writes, the private folder, the ledger add), and the inventory and hand-over of a folder of
// 10,000 files, with the share the file-system checks (isOnFileSystem) take of the walk.
// Runs as root (the private folder and the hand-over change owners).
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "BenchMac.h"
#include "common/HelperFileAccess.h"
#include "common/HelperMoveLedger.h"
#include "common/HelperStagingJournal.h"
#include "helper/HelperTrashMover.h"
#include "platform/UUID.h"

namespace {

using namespace veldo;
using platform::MacPath;
namespace fs = std::filesystem;

struct MoveSetup
{
    bench::BenchMac mac{"helper-move", {}};
    std::unique_ptr<common::HelperMoveLedger> ledger;
    helper::HelperTrashMover mover;

    MoveSetup()
    {
        fs::create_directories(mac.host(mac.home().appendingPathComponent(".Trash")));
        fs::create_directories(mac.host(MacPath("/Library/Caches/Bench")));
        auto loaded = common::HelperMoveLedger::load(common::stateDirectoryURL());
        ledger = std::make_unique<common::HelperMoveLedger>(std::move(*loaded));
        mover.caller = helper::HelperCaller{::geteuid(), ::getegid(), mac.home(), {}};
        mover.ledger = ledger.get();
        mover.launchctl = [](const std::vector<std::string>&) {};
        mover.isCancelled = [] { return false; };
    }
    common::SharedDescriptor trash() const
    {
        return *common::openPathBeneath(mac.home().path() + "/.Trash");
    }
};

void BM_MoveSingleFile(benchmark::State& state)
{
    MoveSetup s;
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string name = "file" + std::to_string(++n);
        s.mac.file(MacPath("/Library/Caches/Bench/" + name), "x");
        state.ResumeTiming();
        auto result = s.mover.moveItems("/Library/Caches/Bench/" + name,
                                        s.mac.home().path() + "/.Trash/" + name);
        if (result.outcome != common::VeldoHelperItemResult::Outcome::done)
            state.SkipWithError("move failed");
    }
}
BENCHMARK(BM_MoveSingleFile)->Iterations(1000)->Unit(benchmark::kMicrosecond);

void BM_StepJournalWrite(benchmark::State& state)
{
    MoveSetup s;
    const common::HelperStagingJournal journal(
        common::stateDirectoryURL().appendingPathComponent("Staging"));
    common::HelperStagingRecord record;
    record.id = *platform::UUID::random();
    record.home = s.mac.home().path();
    record.stagingName = ".Veldo Helper X";
    record.originalPath = "/Library/Caches/Bench/x";
    record.trashName = "x";
    for (auto _ : state)
        benchmark::DoNotOptimize(journal.write(record));
}
BENCHMARK(BM_StepJournalWrite)->Unit(benchmark::kMicrosecond);

void BM_StepPrivateFolder(benchmark::State& state)
{
    MoveSetup s;
    const common::SharedDescriptor trash = s.trash();
    for (auto _ : state) {
        auto folder = common::makePrivateFolder(trash, ".Veldo Helper bench");
        if (!folder || !common::removeDirectoryIfSame(trash, ".Veldo Helper bench", *folder))
            state.SkipWithError("private folder failed");
    }
}
BENCHMARK(BM_StepPrivateFolder)->Unit(benchmark::kMicrosecond);

void BM_StepLedgerAdd(benchmark::State& state)
{
    MoveSetup s;
    common::HelperItemInventory inventory;
    inventory.entries[1] = {};
    int n = 0;
    for (auto _ : state) {
        common::HelperMoveRecord record;
        record.id = *platform::UUID::random();
        record.trashPath = s.mac.home().path() + "/.Trash/x" + std::to_string(++n);
        record.originalPath = "/Library/Caches/Bench/x";
        benchmark::DoNotOptimize(s.ledger->add(record, inventory));
    }
}
BENCHMARK(BM_StepLedgerAdd)->Iterations(1000)->Unit(benchmark::kMicrosecond);

// A staged folder of 100 folders of 100 files.
struct StagedTree
{
    MoveSetup s;
    common::SharedDescriptor folder;
    common::HelperStat itemStat;
    common::SharedDescriptor parent;

    StagedTree()
        : folder(*common::makePrivateFolder(s.trash(), ".Veldo Helper tree")),
          parent(*common::openPathBeneath("/Library"))
    {
        const std::string root = s.mac.host(MacPath("/Library/Tree"));
        for (int d = 0; d < 100; ++d) {
            const std::string dir = root + "/d" + std::to_string(d);
            fs::create_directories(dir);
            for (int f = 0; f < 100; ++f)
                ::close(::open((dir + "/f" + std::to_string(f)).c_str(),
                               O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        }
        ::renameat2(parent.fd(), "Tree", folder.fd(), "item", RENAME_NOREPLACE);
        itemStat = **common::statEntry(folder, "item");
    }
};

void BM_InventoryOf10000Files(benchmark::State& state)
{
    StagedTree t;
    for (auto _ : state) {
        auto outcome = t.s.mover.buildInventory(t.folder, t.itemStat, t.parent);
        if (!outcome.inventory.isComplete || outcome.inventory.entries.size() != 10'101)
            state.SkipWithError("incomplete inventory");
    }
    // The walk asks fileSystemInfo once, of the staging folder, and isOnFileSystem once per
    // folder.
    const auto info = common::fileSystemInfo(t.folder);
    if (!info) {
        state.SkipWithError("no file-system info");
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    constexpr int kCalls = 1000;
    for (int i = 0; i < kCalls; ++i)
        benchmark::DoNotOptimize(common::isOnFileSystem(t.folder, *info));
    const double perCall =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count() /
        kCalls;
    state.counters["isOnFileSystem_us"] = perCall;
    state.counters["isOnFileSystem_calls"] = 101;
}
BENCHMARK(BM_InventoryOf10000Files)->Unit(benchmark::kMillisecond);

void BM_HandOverOf10000Files(benchmark::State& state)
{
    StagedTree t;
    t.s.mover.handsOverFoldersForTesting = true;
    const auto outcome = t.s.mover.buildInventory(t.folder, t.itemStat, t.parent);
    for (auto _ : state)
        t.s.mover.handOverFolders(*outcome.itemFolder, outcome.inventory);
}
BENCHMARK(BM_HandOverOf10000Files)->Unit(benchmark::kMillisecond);

} // namespace
