// One app's leftover scan over a generated Library of 50,000 entries and 2,000 crash reports,
// against `find` listing the same folders with equivalent name patterns, in the same run.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "app/leftovers/LeftoverScanner.h"
#include "base/SystemCalls.h"
#include "bench/BenchMac.h"
#include "platform/Home.h"
#include "platform/MacRoot.h"
#include "platform/PropertyList.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace veldo;
using platform::MacPath;
namespace LeftoverScanner = leftovers::LeftoverScanner;

namespace {

const std::string kIdentifier = "com.example.app";

// How the 50,000 Library entries are spread over the user Library's folders.
struct Share
{
    const char* folder;
    int entries;
    const char* suffix; // ".plist" for files, "" for folders
};
constexpr Share kShares[] = {
    {"Application Support", 8000, ""},
    {"Caches", 10000, ""},
    {"Preferences", 10000, ".plist"},
    {"Preferences/ByHost", 2000, ".HOST.plist"},
    {"Containers", 6000, ""},
    {"Group Containers", 3000, ""},
    {"Application Scripts", 3000, ""},
    {"Saved Application State", 3000, ".savedState"},
    {"Logs", 2000, ""},
    {"HTTPStorages", 1500, ""},
    {"WebKit", 1000, ""},
    {"Cookies", 300, ".binarycookies"},
    {"LaunchAgents", 200, ".plist"},
};
constexpr int kCrashReports = 2000;

class GeneratedMac : public bench::BenchMac
{
public:
    GeneratedMac()
        : BenchMac("leftover-bench",
                   {"/Library/Application Support", "/Library/Caches", "/Library/Preferences",
                    "/Library/Logs", "/Library/LaunchAgents", "/Library/LaunchDaemons",
                    "/Library/PrivilegedHelperTools"}),
          m_library(library())
    {
        generate();
    }

private:
    void generate() const
    {
        using D = platform::PlistValue::Dictionary;
        const MacPath app("/Applications/Example.app");
        plist(app.appendingPathComponent("Contents/Info.plist"),
              D{{"CFBundleIdentifier", kIdentifier}, {"CFBundleName", "Example"}});
        plist(app.appendingPathComponent(
                  "Contents/Library/LoginItems/Example Helper.app/Contents/Info.plist"),
              D{{"CFBundleIdentifier", kIdentifier + ".helper"}});

        // Other apps' entries, and a few of the app's own in most folders.
        for (const auto& share : kShares) {
            const MacPath dir = m_library.appendingPathComponent(share.folder);
            folder(dir);
            for (int i = 0; i < share.entries; ++i) {
                const std::string name = "com.vendor" + std::to_string(i % 97) + ".product" +
                                         std::to_string(i) + share.suffix;
                const MacPath entry = dir.appendingPathComponent(name);
                if (std::string(share.folder) == "LaunchAgents")
                    plist(entry, D{{"Label", name}, {"Program", "/usr/local/bin/tool"}});
                else if (*share.suffix)
                    file(entry, "x");
                else
                    folder(entry);
            }
        }
        for (const char* own :
             {"Preferences/com.example.app.plist", "Caches/com.example.app/Cache.db",
              "Application Support/com.example.app/db", "Containers/com.example.app/Data/x",
              "Saved Application State/com.example.app.savedState/w.plist",
              "HTTPStorages/com.example.app/s", "Preferences/ByHost/com.example.app.HOST.plist",
              "Group Containers/ABCDE12345.com.example.app/p", "Application Support/Example/db",
              "Caches/example/c"})
            file(m_library.appendingPathComponent(own), "x");
        plist(m_library.appendingPathComponent("LaunchAgents/com.example.app.agent.plist"),
              D{{"Program", "/usr/local/bin/example-agent"}});

        const MacPath reports = m_library.appendingPathComponent("Logs/DiagnosticReports");
        folder(reports);
        for (int i = 0; i < kCrashReports; ++i) {
            std::string who = i % 40 == 0   ? kIdentifier
                              : i % 40 == 1 ? std::string("Example")
                                            : "Product" + std::to_string(i % 97);
            file(reports.appendingPathComponent(who + "_2024-05-01-" + std::to_string(100000 + i) +
                                                "_host.ips"),
                 "x");
        }
    }

    MacPath m_library;
};

GeneratedMac& generatedMac()
{
    static GeneratedMac mac;
    return mac;
}

class NoCopies final : public platform::ApplicationRegistry
{
public:
    std::vector<MacPath> applicationURLs(std::string_view) const override { return {}; }
};

void BM_LeftoverScan(benchmark::State& state)
{
    const GeneratedMac& mac = generatedMac();
    core::InstalledApp app;
    app.url = platform::MacPath("/Applications/Example.app");
    app.name = "Example";
    app.bundleID = kIdentifier;
    app.alternateNames = {"Example Studio"};
    const std::vector<core::ScopedAccessRoot> roots{
        {core::AccessRootKind::applications, platform::MacPath("/Applications")},
        {core::AccessRootKind::userApplications, mac.home().appendingPathComponent("Applications")},
        {core::AccessRootKind::userLibrary, mac.library()},
        {core::AccessRootKind::systemLibrary, platform::MacPath("/Library")}};
    const NoCopies registry;
    std::size_t found = 0;
    for (auto _ : state) {
        auto items = LeftoverScanner::scan(app, roots, LeftoverScanner::darwinUserDirectories(), {},
                                           registry)
                         .value();
        found = items.size();
        benchmark::DoNotOptimize(items);
    }
    state.counters["items"] = static_cast<double>(found);
}
BENCHMARK(BM_LeftoverScan)->Unit(benchmark::kMillisecond)->UseRealTime();

// `find` over the folders the scan reads, one level deep, with the identifier and name
// patterns the scan matches.
void BM_FindEquivalent(benchmark::State& state)
{
    const GeneratedMac& mac = generatedMac();
    std::vector<std::string> args{"find"};
    for (const char* dir :
         {"Preferences", "Preferences/ByHost", "Saved Application State", "Containers",
          "Application Scripts", "Group Containers", "Caches", "Application Support",
          "HTTPStorages", "WebKit", "Cookies", "Logs", "LaunchAgents", "Logs/DiagnosticReports"})
        args.push_back(mac.host(mac.library().appendingPathComponent(dir)));
    for (const char* dir :
         {"/Library/LaunchAgents", "/Library/LaunchDaemons", "/Library/PrivilegedHelperTools",
          "/Library/Application Support", "/Library/Caches", "/Library/Preferences",
          "/Library/Logs", "/private/var/folders/zz/bench/C", "/private/var/folders/zz/bench/T"})
        args.push_back(mac.host(MacPath(dir)));
    for (const char* a : {"-mindepth", "1", "-maxdepth", "1", "(", "-iname", "*com.example.app*",
                          "-o", "-iname", "*example*", ")", "-print"})
        args.emplace_back(a);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, "find", &actions, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("find could not be started");
            break;
        }
        int status = 0;
        (void)veldo::base::retryOnInterrupt([&] { return ::waitpid(pid, &status, 0); });
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("find failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_FindEquivalent)->Unit(benchmark::kMillisecond)->UseRealTime();

// Prints the figures as usual and keeps each benchmark's real time (the mean of its
// repetitions when it repeats) for the ratio.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs) {
            if (run.error_occurred)
                continue;
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean")
                m_mean[name] = run.GetAdjustedRealTime();
            else if (run.run_type == Run::RT_Iteration)
                m_single[name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Milliseconds, or a negative value when the benchmark didn't run.
    double realTime(const std::string& name) const
    {
        if (auto mean = m_mean.find(name); mean != m_mean.end())
            return mean->second;
        if (auto single = m_single.find(name); single != m_single.end())
            return single->second;
        return -1;
    }

private:
    std::map<std::string, double> m_mean;
    std::map<std::string, double> m_single;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    generatedMac();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double scan = reporter.realTime("BM_LeftoverScan");
    const double find = reporter.realTime("BM_FindEquivalent");
    if (scan >= 0 && find > 0)
        std::printf("leftover scan %.2f ms, find %.2f ms, scan/find ratio %.2f\n", scan, find,
                    scan / find);
    benchmark::Shutdown();
    return 0;
}
