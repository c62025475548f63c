// SidebarFixture: a controller over a fake Mac whose services count their calls and answer at
// once, a manual clock, and apps to list; for the sidebar and detail-screen tests.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/controller/UninstallViewModel.h"
#include "app/core/CleanupSettings.h"
#include "app/core/CleanupStats.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"
#include "tests/support/FakeMac.h"

namespace veldo::testsupport {

struct ServiceCounts
{
    std::atomic<int> onGuiThread{0}; // calls of a GUI-thread service (probes of the disk)
    std::atomic<int> scans{0};       // app and leftover scans
};

class SidebarFixture
{
public:
    SidebarFixture();
    ~SidebarFixture();

    // An app at /Applications/<name>.app.
    static core::InstalledApp app(const std::string& name,
                                  std::optional<std::string> bundleID = std::nullopt,
                                  std::int64_t sizeBytes = 0);

    FakeMac mac;
    platform::ManualClock clock;
    std::shared_ptr<ServiceCounts> counts = std::make_shared<ServiceCounts>();
    std::shared_ptr<platform::UserDefaults> defaults;
    std::shared_ptr<core::CleanupSettings> settings;
    std::shared_ptr<core::CleanupStats> stats;
    std::unique_ptr<controller::UninstallViewModel> model;
};

} // namespace veldo::testsupport
