// Throughput of the bill-of-materials reader on a large package and on crafted parent chains,
// and of the installer-receipt reader on a large package.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <benchmark/benchmark.h>

#include "app/leftovers/BOMReader.h"
#include "app/leftovers/InstallerReceipts.h"
#include "platform/MacRoot.h"
#include "tests/leftovers/support/BomWriter.h"

using namespace veldo::testsupport;
namespace BOMReader = veldo::leftovers::BOMReader;
namespace fs = std::filesystem;

namespace {

// 200,000 paths: an app bundle's resources in 1,000 folders of 199 files, plus their folders.
const std::string& largePackage()
{
    static const std::string file = [] {
        std::vector<std::string> paths;
        char name[128];
        for (int folder = 0; folder < 1'000; ++folder) {
            std::snprintf(name, sizeof name, "Applications/Big.app/Contents/Resources/group-%03d/",
                          folder);
            paths.emplace_back(name);
            for (int item = 0; item < 199; ++item) {
                std::snprintf(name, sizeof name,
                              "Applications/Big.app/Contents/Resources/group-%03d/item-%03d.dat",
                              folder, item);
                paths.emplace_back(name);
            }
        }
        return bomFileWith(paths, 256);
    }();
    return file;
}

// One chain of 100,000 records, every name ".", and a named record at the bottom of each
// 4,096: walking each identifier's chain on its own would take about 4×10^8 lookups.
const std::string& deepChains()
{
    static const std::string file = [] {
        std::vector<BomPath> records;
        for (std::uint32_t id = 1; id <= 100'000; ++id)
            records.push_back(BomPath{id, id - 1, id % 4'096 == 0 ? "deep" : ".", true, 0});
        BomWriter writer;
        addBomPathsTree(writer, records, 512);
        return writer.build();
    }();
    return file;
}

void BM_BomReader_200kPaths(benchmark::State& state)
{
    const std::string& file = largePackage();
    std::size_t count = 0;
    for (auto _ : state) {
        auto entries = BOMReader::entries(file);
        count = entries.size();
        benchmark::DoNotOptimize(entries);
    }
    state.counters["paths"] = static_cast<double>(count);
    state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_BomReader_200kPaths)->Unit(benchmark::kMillisecond);

void BM_BomReader_100kRecordChain(benchmark::State& state)
{
    const std::string& file = deepChains();
    std::size_t count = 0;
    for (auto _ : state) {
        auto entries = BOMReader::entries(file);
        count = entries.size();
        benchmark::DoNotOptimize(entries);
    }
    state.counters["paths"] = static_cast<double>(count);
}
BENCHMARK(BM_BomReader_100kRecordChain)->Unit(benchmark::kMillisecond);

// A Mac whose receipts hold one package of 200,000 paths: 1,000 folders of 199 files in
// /Library/Application Support/Big, of which the first 20 folders are on disk, beside a file
// no receipt names (so the walk goes into the folder instead of taking it whole).
class ReceiptMac
{
public:
    ReceiptMac()
    {
        std::string tmpl = (fs::temp_directory_path() / "veldo-receipts-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        m_root = tmpl;
        std::vector<std::string> paths;
        char name[128];
        for (int folder = 0; folder < 1'000; ++folder) {
            std::snprintf(name, sizeof name, "Library/Application Support/Big/group-%03d/", folder);
            paths.emplace_back(name);
            for (int item = 0; item < 199; ++item) {
                std::snprintf(name, sizeof name,
                              "Library/Application Support/Big/group-%03d/item-%03d.dat", folder,
                              item);
                paths.emplace_back(name);
                if (folder < 20)
                    write("/" + paths.back(), "x");
            }
        }
        write("/Library/Application Support/Big/notes.txt", "x");
        const std::string receipts = "/private/var/db/receipts/";
        write(receipts + "com.example.big.bom", bomFileWith(paths, 256));
        write(receipts + "com.example.big.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
              "<key>PackageIdentifier</key><string>com.example.big</string></dict></plist>\n");
        fs::create_symlink("private/var", m_root + "/var");
        veldo::platform::testing::setMacRoot(m_root);
    }
    ~ReceiptMac()
    {
        veldo::platform::testing::setMacRoot("");
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    ReceiptMac(const ReceiptMac&) = delete;
    ReceiptMac& operator=(const ReceiptMac&) = delete;

private:
    void write(const std::string& macPath, const std::string& contents) const
    {
        const fs::path host = m_root + macPath;
        fs::create_directories(host.parent_path());
        std::ofstream(host, std::ios::binary) << contents;
    }

    std::string m_root;
};

void BM_ReceiptItems_200kPathPackage(benchmark::State& state)
{
    const ReceiptMac mac;
    const std::vector<veldo::platform::MacPath> folders{
        veldo::platform::MacPath("/var/db/receipts")};
    std::size_t count = 0;
    for (auto _ : state) {
        auto items = veldo::leftovers::receiptItemsForApp(
            "com.example.big", "/Applications/Big.app", folders, "/Users/bench");
        count = items.size();
        benchmark::DoNotOptimize(items);
    }
    state.counters["items"] = static_cast<double>(count);
}
BENCHMARK(BM_ReceiptItems_200kPathPackage)->Unit(benchmark::kMillisecond);

} // namespace
