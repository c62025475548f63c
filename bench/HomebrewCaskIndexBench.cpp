// Cost of the Homebrew cask index on a Caskroom of 500 casks: the signature that every load
// computes, a load answered by the cache, and a load that reads all the bookkeeping.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "app/leftovers/HomebrewCaskIndex.h"
#include "platform/MacRoot.h"

namespace fs = std::filesystem;
using namespace veldo::leftovers;

namespace {

constexpr int kCasks = 500;

void writeFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A fake Mac with a brew (never run: the bookkeeping covers every cask) and kCasks casks, each
// with a JSON cask file and a config.json. Removed at exit.
class BenchMac
{
public:
    BenchMac()
    {
        std::string tmpl = (fs::temp_directory_path() / "veldo-bench-mac-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        m_root = tmpl;
        const fs::path root(m_root);
        writeFile(root / "opt/homebrew/bin/brew", "#!/bin/sh\nexit 1\n");
        fs::permissions(root / "opt/homebrew/bin/brew", fs::perms::owner_all);
        for (int i = 0; i < kCasks; ++i) {
            const std::string token = "cask-" + std::to_string(i);
            const fs::path folder = root / "opt/homebrew/Caskroom" / token;
            fs::create_directories(folder / "1.2.3");
            writeFile(folder / ".metadata/1.2.3/20240101120000.000/Casks" / (token + ".json"),
                      R"({"token":")" + token + R"(","tap":"homebrew/cask","version":"1.2.3",)" +
                          R"("artifacts":[{"app":["App )" + std::to_string(i) +
                          R"(.app"]},{"zap":[{"trash":["~/Library/Caches/x"]}]}]})");
            writeFile(folder / ".metadata/config.json",
                      R"({"default":{"appdir":"/Applications"}})");
        }
        veldo::platform::testing::setMacRoot(m_root);
    }
    ~BenchMac()
    {
        veldo::platform::testing::setMacRoot("");
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

private:
    std::string m_root;
};

BenchMac& benchMac()
{
    static BenchMac mac;
    return mac;
}

} // namespace

static void BM_CaskroomSignature(benchmark::State& state)
{
    benchMac();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            HomebrewCasks::caskroomSignature(veldo::platform::MacPath("/opt/homebrew/Caskroom")));
}
BENCHMARK(BM_CaskroomSignature)->Unit(benchmark::kMicrosecond);

static void BM_LoadIndexCached(benchmark::State& state)
{
    benchMac();
    if (HomebrewCasks::loadIndex(true).value().size() != kCasks)
        state.SkipWithError("index incomplete");
    for (auto _ : state)
        benchmark::DoNotOptimize(HomebrewCasks::loadIndex(false).value());
}
BENCHMARK(BM_LoadIndexCached)->Unit(benchmark::kMicrosecond);

static void BM_LoadIndexFromBookkeeping(benchmark::State& state)
{
    benchMac();
    for (auto _ : state)
        benchmark::DoNotOptimize(HomebrewCasks::loadIndex(true).value());
}
BENCHMARK(BM_LoadIndexFromBookkeeping)->Unit(benchmark::kMillisecond);
