// ScriptedScans: controllers whose scan services are scripted and held on a gate, for the tests
// of the scans, the selection and the batch.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "tests/controller/ControllerFixture.h"
#include "tests/support/FakeRunningApplications.h"

namespace veldo::controller::test {

using core::InstalledApp;
using core::LeftoverCategory;
using core::LeftoverItem;
using core::MatchConfidence;
using testsupport::ControllerFixture;

// Scripted scans that hold each call until the test opens its key, or until its stop token is
// stopped (then the call fails with cancelled, as the real services do).
class Gate
{
public:
    bool pass(const std::string& key, std::stop_token stop)
    {
        std::unique_lock lock(m_mutex);
        m_started.push_back(key);
        m_changed.notify_all();
        const bool opened =
            m_changed.wait(lock, stop, [&] { return m_allOpen || m_open.contains(key); });
        if (!opened)
            m_stopped.insert(key);
        m_finished.insert(key);
        return opened;
    }
    void openAll()
    {
        std::lock_guard lock(m_mutex);
        m_allOpen = true;
        m_changed.notify_all();
    }
    void open(const std::string& key)
    {
        std::lock_guard lock(m_mutex);
        m_open.insert(key);
        m_changed.notify_all();
    }
    bool started(const std::string& key)
    {
        std::lock_guard lock(m_mutex);
        return std::ranges::count(m_started, key) > 0;
    }
    bool finished(const std::string& key)
    {
        std::lock_guard lock(m_mutex);
        return m_finished.contains(key);
    }
    bool stopped(const std::string& key)
    {
        std::lock_guard lock(m_mutex);
        return m_stopped.contains(key);
    }
    std::size_t starts(const std::string& key)
    {
        std::lock_guard lock(m_mutex);
        return static_cast<std::size_t>(std::ranges::count(m_started, key));
    }
    std::size_t startCount()
    {
        std::lock_guard lock(m_mutex);
        return m_started.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::set<std::string> m_open;
    bool m_allOpen = false;
    std::vector<std::string> m_started;
    std::set<std::string> m_finished;
    std::set<std::string> m_stopped;
};

inline std::vector<std::string> ids(const std::vector<InstalledApp>& apps)
{
    std::vector<std::string> out;
    for (const auto& a : apps)
        out.push_back(a.id());
    return out;
}

inline std::vector<std::string> ids(const std::vector<LeftoverItem>& items)
{
    std::vector<std::string> out;
    for (const auto& i : items)
        out.push_back(i.id());
    return out;
}

class ScriptedScans : public ControllerFixture
{
protected:
    // Leftover scans answer m_leftovers[app id] once the gate opens the app's id; app scans
    // answer m_appLists[n] once the gate opens "apps n", n being 1 with system apps, else 0.
    std::unique_ptr<UninstallViewModel> scriptedController()
    {
        ControllerServices services;
        // The removal-safety policy refuses the paths in m_refused besides its own refusals.
        services.removalRefusal = [this](const platform::MacPath& url,
                                         const common::RemovalSafety::PreparedContext& context)
            -> std::optional<common::RemovalSafety::Refusal> {
            if (m_refused.contains(url.path()))
                return common::RemovalSafety::Refusal::isSelf();
            return common::removalRefusal(url, context);
        };
        services.leftoverScan = [this](const InstalledApp& app,
                                       const std::vector<core::ScopedAccessRoot>&,
                                       std::stop_token stop) -> Result<std::vector<LeftoverItem>> {
            const int now = ++m_leftoverScansNow;
            for (int most = m_leftoverScansMost; now > most;)
                if (m_leftoverScansMost.compare_exchange_weak(most, now))
                    break;
            const bool passed = m_gate.pass(app.id(), stop);
            --m_leftoverScansNow;
            if (!passed)
                return Error::make(ErrorCode::cancelled);
            const auto found = m_leftovers.find(app.id());
            return found == m_leftovers.end() ? std::vector<LeftoverItem>{} : found->second;
        };
        // The batch's scans run the same script, noting the folder readings each was given.
        services.batchLeftoverScan =
            [this, scan = services.leftoverScan](
                const InstalledApp& app, const std::vector<core::ScopedAccessRoot>& roots,
                leftovers::FolderListingCache& listings, std::stop_token stop) {
                {
                    std::lock_guard lock(m_batchListingsMutex);
                    m_batchListings[app.id()] = &listings;
                }
                return scan(app, roots, std::move(stop));
            };
        services.appScan = [this](const std::vector<core::ScopedAccessRoot>&,
                                  bool includeSystemApps,
                                  std::stop_token stop) -> Result<std::vector<InstalledApp>> {
            const std::size_t list = includeSystemApps ? 1 : 0;
            if (!m_gate.pass("apps " + std::to_string(list), stop))
                return Error::make(ErrorCode::cancelled);
            return m_appLists.at(list);
        };
        services.fileExists = [this](const platform::MacPath& path) {
            return m_existing.contains(path.path());
        };
        if (!m_realProcesses) {
            services.runningStatus = [this](const InstalledApp& app) {
                core::RunningAppStatus status;
                status.isRunning = m_running.contains(app.id());
                return status;
            };
            services.requestQuit = [this](const InstalledApp& app) {
                m_quitRequests.push_back(app.id());
                if (m_quitsOnRequest)
                    m_running.erase(app.id());
            };
        }
        if (!m_realDurations) {
            services.durations.quitWaitTimeout = std::chrono::milliseconds(300);
            services.durations.quitWaitInterval = std::chrono::milliseconds(10);
            services.durations.openAppsPollInterval = std::chrono::milliseconds(10);
        }
        services.orphanScan = [this](const std::optional<std::vector<InstalledApp>>& apps,
                                     std::stop_token stop) {
            scanners::OrphanScanResult result;
            const std::string key = apps ? "orphans over " + std::to_string(apps->size())
                                         : "orphans over their own list";
            result.unreadableLocations.push_back(platform::MacPath("/" + key));
            result.wasCancelled = !m_gate.pass(key, stop) || m_orphanScanStopsItself;
            return result;
        };
        services.toolchainScan = [this](const platform::MacPath& home, std::stop_token) {
            m_scannedHome = home;
            return m_toolchainGroups;
        };
        if (!m_realProcesses)
            services.runningApplications = [this] {
                const int reading = ++m_runningReadings;
                auto source = std::make_shared<testsupport::FakeRunningApplications>();
                for (const std::string& id : m_running) {
                    platform::RunningApplication running;
                    running.processIdentifier = static_cast<pid_t>(1000 + reading);
                    running.bundleURL = platform::MacPath(id);
                    source->addApplication(std::move(running));
                }
                return std::shared_ptr<const platform::RunningApplicationSource>(std::move(source));
            };
        services.loadCaskIndex = [this](bool force,
                                        std::stop_token stop) -> Result<leftovers::CaskIndex> {
            ++m_caskLoads;
            const std::string key = force ? "casks forced" : "casks";
            if (m_holdCaskLoads && !m_gate.pass(key, stop))
                return Error::make(ErrorCode::cancelled);
            std::lock_guard lock(m_caskMutex);
            return m_caskIndex;
        };
        if (!m_realLoad)
            services.loadApp = [this](const platform::MacPath& url) -> std::optional<InstalledApp> {
                if (!m_existing.contains(url.path()))
                    return std::nullopt;
                return app(url.path(), url.deletingPathExtension().lastPathComponent(),
                           "com.example.a");
            };
        return makeController(std::move(services));
    }

    static LeftoverItem leftover(std::string path, MatchConfidence confidence,
                                 bool requiresAdmin = false,
                                 LeftoverCategory category = LeftoverCategory::supportFiles)
    {
        LeftoverItem i = item(std::move(path), 10, category);
        i.confidence = confidence;
        i.requiresAdmin = requiresAdmin;
        return i;
    }

    Gate m_gate;
    std::map<std::string, std::vector<LeftoverItem>> m_leftovers;
    std::vector<std::vector<InstalledApp>> m_appLists;
    std::set<std::string> m_existing;
    std::set<std::string> m_refused;
    std::set<std::string> m_running;
    std::vector<std::string> m_quitRequests;
    bool m_quitsOnRequest = true;
    bool m_realLoad = false;
    // The running applications, quitting and the waits of the real system.
    bool m_realProcesses = false;
    bool m_realDurations = false;
    std::vector<core::ToolchainGroup> m_toolchainGroups;
    bool m_orphanScanStopsItself = false;
    platform::MacPath m_scannedHome;
    std::atomic<int> m_runningReadings = 0;
    // Leftover scans running now, and the most that ever ran at once.
    std::atomic<int> m_leftoverScansNow = 0;
    std::atomic<int> m_leftoverScansMost = 0;
    // The folder readings that each app's batch scan was given.
    std::mutex m_batchListingsMutex;
    std::map<std::string, const leftovers::FolderListingCache*> m_batchListings;
    // Cask loads answer m_caskIndex at once, or once the gate opens "casks" ("casks forced").
    std::mutex m_caskMutex;
    leftovers::CaskIndex m_caskIndex;
    bool m_holdCaskLoads = false;
    std::atomic<int> m_caskLoads = 0;

    const InstalledApp m_a = app("/Applications/A.app", "A", "com.example.a");
    const InstalledApp m_b = app("/Applications/B.app", "B", "com.example.b");
};

} // namespace veldo::controller::test
