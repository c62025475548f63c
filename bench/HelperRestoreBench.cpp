// Cost of the helper's put-back: a move and put-back of a folder of 10,000 files through the
// mover against `mv` there and back plus `find -ls` of the folder (the ratio is a counter), and
// the journal and ledger work each put-back item costs. Runs as root (owners change).
#include <chrono>
#include <cstdlib>
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
using Clock = std::chrono::steady_clock;

struct RestoreSetup
{
    bench::BenchMac mac{"helper-restore", {}};
    std::unique_ptr<common::HelperMoveLedger> ledger;
    helper::HelperTrashMover mover;

    RestoreSetup()
    {
        fs::create_directories(mac.host(mac.home().appendingPathComponent(".Trash")));
        auto loaded = common::HelperMoveLedger::load(common::stateDirectoryURL());
        ledger = std::make_unique<common::HelperMoveLedger>(std::move(*loaded));
        mover.caller = helper::HelperCaller{::geteuid(), ::getegid(), mac.home(), {}};
        mover.ledger = ledger.get();
        mover.launchctl = [](const std::vector<std::string>&) {};
        mover.isCancelled = [] { return false; };
    }

    // 100 folders of 100 files at "/Library/Tree".
    void makeTree() const
    {
        const std::string root = mac.host(MacPath("/Library/Tree"));
        for (int d = 0; d < 100; ++d) {
            const std::string dir = root + "/d" + std::to_string(d);
            fs::create_directories(dir);
            for (int f = 0; f < 100; ++f)
                ::close(::open((dir + "/f" + std::to_string(f)).c_str(),
                               O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        }
    }
};

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void BM_MoveAndRestore10000Files(benchmark::State& state)
{
    RestoreSetup s;
    s.makeTree();
    const std::string trashPath = s.mac.home().path() + "/.Trash/Tree";
    const std::string tree = s.mac.host(MacPath("/Library/Tree"));
    const std::string aside = s.mac.host(MacPath("/Library/TreeAside"));
    double helperSeconds = 0;
    double shellSeconds = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        const auto moved = s.mover.moveItems("/Library/Tree", trashPath);
        const auto back = s.mover.restoreItems(trashPath, "/Library/Tree");
        helperSeconds += seconds(Clock::now() - start);
        if (moved.outcome != common::VeldoHelperItemResult::Outcome::done ||
            back.outcome != common::VeldoHelperItemResult::Outcome::done) {
            state.SkipWithError("move or put-back failed");
            break;
        }
        state.PauseTiming();
        const std::string command = "mv '" + tree + "' '" + aside + "' && mv '" + aside + "' '" +
                                    tree + "' && find '" + tree + "' -ls > /dev/null";
        start = Clock::now();
        const int status = std::system(command.c_str());
        shellSeconds += seconds(Clock::now() - start);
        if (status != 0)
            state.SkipWithError("mv or find failed");
        state.ResumeTiming();
    }
    state.counters["mv_find_ms"] =
        benchmark::Counter(shellSeconds * 1000, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = shellSeconds > 0 ? helperSeconds / shellSeconds : 0;
}
BENCHMARK(BM_MoveAndRestore10000Files)->Iterations(5)->Unit(benchmark::kMillisecond);

// The journal and ledger work of one put-back item: the record written twice and removed, and
// the ledger record (with its inventory file) removed.
void BM_RestoreJournalAndLedgerPerItem(benchmark::State& state)
{
    RestoreSetup s;
    const common::HelperStagingJournal journal(
        common::stateDirectoryURL().appendingPathComponent("Staging"));
    common::HelperItemInventory inventory;
    inventory.entries[1] = {};
    common::HelperStagingRecord record;
    record.kind = common::HelperStagingRecord::Kind::restore;
    record.home = s.mac.home().path();
    record.stagingName = ".Veldo Helper X";
    record.originalPath = "/Library/Caches/x";
    record.trashName = "x";
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        common::HelperMoveRecord moved;
        moved.id = *platform::UUID::random();
        moved.trashPath = s.mac.home().path() + "/.Trash/x" + std::to_string(++n);
        moved.originalPath = "/Library/Caches/x";
        (void)s.ledger->add(moved, inventory);
        record.id = *platform::UUID::random();
        state.ResumeTiming();
        benchmark::DoNotOptimize(journal.write(record));
        record.stagingIdentity = common::HelperFileIdentity{1, 2, std::nullopt};
        benchmark::DoNotOptimize(journal.write(record));
        benchmark::DoNotOptimize(s.ledger->remove(moved.id));
        benchmark::DoNotOptimize(journal.remove(record.id));
        record.stagingIdentity.reset();
    }
}
BENCHMARK(BM_RestoreJournalAndLedgerPerItem)->Iterations(500)->Unit(benchmark::kMicrosecond);

} // namespace
