// Controllers with counting services for the sidebar and detail-screen tests.
#include "tests/ui/SidebarFixture.h"

#include "platform/Home.h"

namespace veldo::testsupport {

SidebarFixture::SidebarFixture()
    : clock(platform::ManualClock::TimePoint(std::chrono::seconds(1'780'000'000))),
      defaults(
          std::make_shared<platform::UserDefaults>(platform::homeDirectory().appendingPathComponent(
              "Library/Preferences/veldo-sidebar.plist"))),
      settings(std::make_shared<core::CleanupSettings>(defaults)),
      stats(std::make_shared<core::CleanupStats>(defaults))
{
    controller::ControllerServices services;
    auto c = counts;
    services.runningStatus = [c](const core::InstalledApp&) {
        ++c->onGuiThread;
        return core::RunningAppStatus{};
    };
    services.fileExists = [c](const platform::MacPath& path) {
        ++c->onGuiThread;
        return !c->missing.contains(path.path());
    };
    // Refuses every path holding "Refused": the policy's verdicts stay out of these tests.
    services.removalRefusal = [](const platform::MacPath& url,
                                 const common::RemovalSafety::PreparedContext&)
        -> std::optional<common::RemovalSafety::Refusal> {
        if (url.path().find("Refused") == std::string::npos)
            return std::nullopt;
        return common::RemovalSafety::Refusal::protectedLocation(url.path());
    };
    services.leftoverScan = [c](const core::InstalledApp&,
                                const std::vector<core::ScopedAccessRoot>&, std::stop_token) {
        ++c->scans;
        return Result<std::vector<core::LeftoverItem>>(std::vector<core::LeftoverItem>{});
    };
    services.appScan = [c](const std::vector<core::ScopedAccessRoot>&, bool, std::stop_token) {
        ++c->scans;
        return Result<std::vector<core::InstalledApp>>(std::vector<core::InstalledApp>{});
    };
    model = std::make_unique<controller::UninstallViewModel>(settings, stats, defaults, services);
}

SidebarFixture::~SidebarFixture()
{
    model->shutdown();
}

core::InstalledApp SidebarFixture::app(const std::string& name, std::optional<std::string> bundleID,
                                       std::int64_t sizeBytes)
{
    core::InstalledApp a;
    a.url = platform::MacPath("/Applications/" + name + ".app");
    a.name = name;
    a.bundleID = std::move(bundleID);
    a.sizeBytes = sizeBytes;
    return a;
}

} // namespace veldo::testsupport
