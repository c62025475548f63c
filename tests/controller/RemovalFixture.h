// RemovalFixture: a fake Mac with an injectable file manager, recorded sounds and URLs, and
// controllers whose removal services are the real ones, counted.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/removal/UninstallOutcome.h"
#include "platform/SystemSound.h"
#include "platform/UrlOpener.h"
#include "tests/controller/ControllerFixture.h"
#include "tests/support/FakeFileManager.h"

namespace veldo::testsupport {

class RemovalFixture : public ControllerFixture
{
public:
    RemovalFixture();

    // A controller over the real removal services (each counted), with short quit waits;
    // members of `services` that are set replace the real ones.
    std::unique_ptr<controller::UninstallViewModel>
    removalController(controller::ControllerServices services = {});

    // Runs the event loop until `task` ended or `timeout` passed; answers whether it ended.
    template <typename T>
    static bool finish(const controller::Task<T>& task,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Runs the event loop until `done` holds or `timeout` passed; answers `done()`.
    template <typename Done>
    static bool waitLong(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // The Mac path in the fixture's home folder.
    platform::MacPath inHome(const std::string& relative) const;
    // An app bundle at `bundle` with an Info.plist (its executable named after the bundle when
    // `withExecutable`), and its record.
    core::InstalledApp makeApp(const platform::MacPath& bundle, const std::string& name,
                               std::optional<std::string> bundleID, bool withExecutable = false);
    // The executable of an app made by makeApp.
    static platform::MacPath executableOf(const core::InstalledApp& app);
    bool exists(const platform::MacPath& path) const;

    FakeFileManager m_files;
    platform::SystemSound::testing::SoundRecorder m_sounds;
    platform::testing::UrlRecorder m_urls;
    std::atomic<int> m_trashRuns{0};
    std::atomic<int> m_helperProbes{0};
    std::atomic<int> m_adminMoves{0};
    std::atomic<int> m_undos{0};
    std::atomic<int> m_quitRequests{0};
};

// The ids of listed apps or items, or of the items of restore points, in order.
template <typename Listed>
std::vector<std::string> ids(const std::vector<Listed>& list)
{
    std::vector<std::string> out;
    for (const Listed& entry : list) {
        if constexpr (requires { entry.id(); })
            out.push_back(entry.id());
        else
            out.push_back(entry.item.id());
    }
    return out;
}

// Keeps the answer of `task` in `out` once it ends.
template <typename T>
controller::Task<> keepAnswer(controller::TaskScope&, controller::Task<T> task,
                              std::optional<T>* out)
{
    *out = co_await task;
}

template <typename T>
bool RemovalFixture::finish(const controller::Task<T>& task, std::chrono::milliseconds timeout)
{
    return waitLong([&] { return task.isDone(); }, timeout);
}

template <typename Done>
bool RemovalFixture::waitLong(Done done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!static_cast<bool>(done()) && std::chrono::steady_clock::now() < deadline)
        processEvents();
    return static_cast<bool>(done());
}

} // namespace veldo::testsupport
