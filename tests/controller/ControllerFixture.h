// ControllerFixture: a fake Mac with its own defaults, and controllers made over it with
// scripted services.
#pragma once

#include <memory>

#include <gtest/gtest.h>

#include "app/controller/UninstallViewModel.h"
#include "app/core/InstalledApp.h"
#include "app/core/LeftoverItem.h"
#include "tests/support/FakeMac.h"

namespace veldo::testsupport {

class ControllerFixture : public testing::Test
{
public:
    ControllerFixture();

    // A controller over the fixture's defaults, settings and statistics.
    std::unique_ptr<controller::UninstallViewModel>
    makeController(controller::ControllerServices services = {});

    // Runs the event loop until `done` holds or ten seconds passed; answers `done()`.
    template <typename Done>
    static bool waitFor(Done done);
    // Runs the event loop for the pending events (one turn at least).
    static void processEvents();

    static core::InstalledApp app(std::string path, std::string name,
                                  std::optional<std::string> bundleID = std::nullopt);
    static core::LeftoverItem
    item(std::string path, std::int64_t bytes = 0,
         core::LeftoverCategory category = core::LeftoverCategory::supportFiles);

    FakeMac m_mac;
    std::shared_ptr<platform::UserDefaults> m_defaults;
    std::shared_ptr<core::CleanupSettings> m_settings;
    std::shared_ptr<core::CleanupStats> m_stats;
};

template <typename Done>
bool ControllerFixture::waitFor(Done done)
{
    // Generous: a loaded machine may start a pool's thread late; a passing wait ends at once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        processEvents();
    return done();
}

} // namespace veldo::testsupport
