// Reading the running applications from /proc with 300 processes running from a generated Mac
// (100 from app bundles, 200 plain programs), and judging ten apps against one such reading, as
// the batch screen does for each rebuild. Both run on the GUI thread.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <benchmark/benchmark.h>

#include "app/core/RunningAppStatus.h"
#include "bench/BenchMac.h"
#include "platform/RunningApplications.h"
#include "platform/RunningApplicationsSnapshot.h"

extern char** environ; // NOLINT(readability-identifier-naming): the C library's name

using namespace veldo;
using platform::MacPath;

namespace {

constexpr int kProcesses = 300;
constexpr int kBundled = 100;
constexpr int kBatchApps = 10;

std::string sleepProgram()
{
    for (const char* candidate : {"/usr/bin/sleep", "/bin/sleep"}) {
        std::ifstream in(candidate, std::ios::binary);
        if (!in)
            continue;
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    throw std::runtime_error("no sleep program to copy");
}

// The generated Mac and its 300 processes, ended when it goes.
class ProcessMac
{
public:
    ProcessMac() : m_mac("running-bench", {})
    {
        const std::string program = sleepProgram();
        for (int i = 0; i < kProcesses; ++i) {
            MacPath executable;
            if (i < kBundled) {
                const std::string name = "Product " + std::to_string(i);
                const MacPath app("/Applications/" + name + ".app");
                m_mac.plist(app.appendingPathComponent("Contents/Info.plist"),
                            platform::PlistValue::Dictionary{
                                {"CFBundleIdentifier", "com.vendor" + std::to_string(i)},
                                {"CFBundleName", name}});
                executable = app.appendingPathComponent("Contents/MacOS/" + name);
                if (i < kBatchApps) {
                    core::InstalledApp installed;
                    installed.url = app;
                    installed.name = name;
                    installed.bundleID = "com.vendor" + std::to_string(i);
                    m_apps.push_back(std::move(installed));
                }
            } else {
                executable = MacPath("/usr/local/bin/tool-" + std::to_string(i));
            }
            m_mac.file(executable, program);
            std::filesystem::permissions(m_mac.host(executable), std::filesystem::perms::owner_all);
            start(m_mac.host(executable));
        }
    }
    ~ProcessMac()
    {
        for (const pid_t pid : m_pids) {
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
    }
    ProcessMac(const ProcessMac&) = delete;
    ProcessMac& operator=(const ProcessMac&) = delete;

    const std::vector<core::InstalledApp>& apps() const { return m_apps; }

private:
    void start(const std::string& host)
    {
        std::string name = std::filesystem::path(host).filename().string();
        std::string seconds = "600";
        char* argv[] = {name.data(), seconds.data(), nullptr};
        pid_t pid = 0;
        if (::posix_spawn(&pid, host.c_str(), nullptr, nullptr, argv, environ) != 0)
            throw std::runtime_error("could not start " + host);
        m_pids.push_back(pid);
    }

    bench::BenchMac m_mac;
    std::vector<core::InstalledApp> m_apps;
    std::vector<pid_t> m_pids;
};

void BM_ProcWalk300Processes(benchmark::State& state)
{
    const ProcessMac mac;
    std::size_t listed = 0;
    for (auto _ : state) {
        listed = platform::ProcRunningApplications::shared().runningApplications().size();
        benchmark::DoNotOptimize(listed);
    }
    state.counters["listed"] = static_cast<double>(listed);
}
BENCHMARK(BM_ProcWalk300Processes)->Unit(benchmark::kMillisecond)->UseRealTime();

// One reading, then the running status of each of ten apps against it.
void BM_BatchRebuildRunningStatuses(benchmark::State& state)
{
    const ProcessMac mac;
    int running = 0;
    for (auto _ : state) {
        const platform::RunningApplicationsSnapshot snapshot(
            platform::ProcRunningApplications::shared());
        running = 0;
        for (const core::InstalledApp& app : mac.apps())
            running += core::runningStatus(app, snapshot).isRunning ? 1 : 0;
        benchmark::DoNotOptimize(running);
    }
    state.counters["running"] = running;
}
BENCHMARK(BM_BatchRebuildRunningStatuses)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
