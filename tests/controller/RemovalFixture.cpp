// RemovalFixture: real removal services over a fake Mac, counted.
#include "tests/controller/RemovalFixture.h"

#include <unistd.h>

#include "platform/PlistValue.h"

namespace veldo::testsupport {

using platform::MacPath;

RemovalFixture::RemovalFixture() = default;

std::unique_ptr<controller::UninstallViewModel>
RemovalFixture::removalController(controller::ControllerServices services)
{
    const controller::ControllerServices real = controller::ControllerServices{}.withDefaults();
    if (!services.trashRun)
        services.trashRun = [this, run = real.trashRun](const auto& items, const auto& context,
                                                        const auto& roots, std::stop_token stop) {
            ++m_trashRuns;
            return run(items, context, roots, std::move(stop));
        };
    if (!services.helperUsable)
        services.helperUsable = [this, probe = real.helperUsable](std::stop_token stop) {
            ++m_helperProbes;
            return probe(std::move(stop));
        };
    if (!services.adminMove)
        services.adminMove = [this, move = real.adminMove](const auto& items, const auto& context,
                                                           std::stop_token stop) {
            ++m_adminMoves;
            return move(items, context, std::move(stop));
        };
    if (!services.undo)
        services.undo = [this, undo = real.undo](const auto& points, const auto& roots,
                                                 std::stop_token stop) {
            ++m_undos;
            return undo(points, roots, std::move(stop));
        };
    if (!services.requestQuit)
        services.requestQuit = [this, quit = real.requestQuit](const core::InstalledApp& app) {
            ++m_quitRequests;
            quit(app);
        };
    services.durations.quitWaitTimeout = std::chrono::milliseconds(600);
    services.durations.quitWaitInterval = std::chrono::milliseconds(20);
    return makeController(std::move(services));
}

MacPath RemovalFixture::inHome(const std::string& relative) const
{
    return MacPath(m_mac.home().path() + "/" + relative);
}

core::InstalledApp RemovalFixture::makeApp(const MacPath& bundle, const std::string& name,
                                           std::optional<std::string> bundleID, bool withExecutable)
{
    platform::PlistValue::Dictionary info{{"CFBundleName", name}};
    if (bundleID)
        info.emplace("CFBundleIdentifier", *bundleID);
    if (withExecutable)
        info.emplace("CFBundleExecutable", name);
    m_mac.makeApp(bundle, info);
    core::InstalledApp record = app(bundle.path(), name, std::move(bundleID));
    return record;
}

MacPath RemovalFixture::executableOf(const core::InstalledApp& app)
{
    return app.url.appendingPathComponent("Contents/MacOS/" + app.name);
}

bool RemovalFixture::exists(const MacPath& path) const
{
    return ::access(m_mac.host(path).c_str(), F_OK) == 0;
}

} // namespace veldo::testsupport
