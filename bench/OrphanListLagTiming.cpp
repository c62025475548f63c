// The Orphaned Files screen's responsiveness: the worst lateness of a 16 ms timer on the GUI
// thread while an orphan scan answers 3,000 findings (100 apps of 30 files, reasons of varying
// length), and the result is applied, laid out and scrolled from top to bottom, row by row of
// pixels in steps of 240. The scan itself is scripted (it answers at once); the rest, removal
// safety verdicts included, is the real controller and screen. Goal: below 50 ms. Runs offscreen
// over an empty Mac root in a temporary folder; prints the figures of three runs.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include "app/controller/UninstallViewModel.h"
#include "app/core/CleanupSettings.h"
#include "app/core/CleanupStats.h"
#include "app/ui/CheckListView.h"
#include "app/ui/OrphanFilesView.h"
#include "platform/Home.h"
#include "platform/UserDefaults.h"

namespace {

using namespace veldo;

scanners::OrphanScanResult thousandsOfFindings(const std::string& home)
{
    scanners::OrphanScanResult result;
    for (int g = 0; g < 100; ++g) {
        scanners::OrphanGroup group{
            "com.vendor.app" + std::to_string(g), "App " + std::to_string(g), {}};
        for (int f = 0; f < 30; ++f) {
            scanners::OrphanFinding finding;
            finding.item.url = platform::MacPath(home + "/Library/Application Support/app" +
                                                 std::to_string(g) + "/item " + std::to_string(f));
            finding.item.sizeBytes = 1'000'000 + f * 7'919;
            finding.item.confidence =
                f % 3 == 0 ? core::MatchConfidence::low : core::MatchConfidence::medium;
            finding.reason = std::string(
                "No installed app, running process or loaded job uses this identifier. ");
            for (int r = 0; r < f % 4; ++r)
                finding.reason += "It was changed recently and may still be in use by a helper. ";
            group.findings.push_back(std::move(finding));
        }
        result.groups.push_back(std::move(group));
    }
    return result;
}

struct Lag
{
    qint64 worst = 0;      // over the whole run
    qint64 afterApply = 0; // once the result's first turn is over: layout and scrolling
    qint64 applyMs = 0;    // the turn that applies the scan's result (the removable sizes)
};

// One run.
Lag run(controller::UninstallViewModel& model)
{
    model.setOrphanResult({});
    model.setHasScannedOrphans(false);
    QThreadPool pool;
    ui::OrphanFilesView view(&model, &pool,
                             [] { return core::SystemSettings::FullDiskAccessStatus::granted; });
    view.resize(1000, 760);
    view.show();
    QApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.elapsed();
    Lag lag;
    bool applied = false;
    int ticksSinceApply = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(16);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        lag.worst = std::max(lag.worst, now - last - 16);
        if (applied && ++ticksSinceApply > 1)
            lag.afterApply = std::max(lag.afterApply, now - last - 16);
        last = now;
    });
    tick.start();

    // The turn that applies the result begins by clearing the scan's task and ends by clearing
    // the scanning flag, after every view has followed.
    QElapsedTimer apply;
    QObject::connect(&model, &controller::UninstallViewModel::orphanTaskChanged, &view, [&] {
        if (!model.orphanTask())
            apply.start();
    });
    QObject::connect(&model, &controller::UninstallViewModel::isScanningOrphansChanged, &view, [&] {
        if (!model.isScanningOrphans() && apply.isValid()) {
            lag.applyMs = apply.elapsed();
            applied = true;
        }
    });
    QTimer::singleShot(50, [&] { model.scanOrphans().detach(); });
    // A loop of its own: leaving QApplication::exec() would shut the controller down.
    QEventLoop loop;
    QTimer scroll;
    scroll.setInterval(16);
    QObject::connect(&scroll, &QTimer::timeout, [&] {
        QScrollBar* bar =
            view.findChild<ui::CheckListView*>(QStringLiteral("list"))->verticalScrollBar();
        if (model.hasScannedOrphans() && bar->maximum() > 0 && bar->value() >= bar->maximum()) {
            scroll.stop();
            loop.quit();
            return;
        }
        bar->setValue(bar->value() + 240);
    });
    QTimer::singleShot(300, [&] { scroll.start(); });
    QTimer::singleShot(60'000, &loop, &QEventLoop::quit);
    loop.exec();
    tick.stop();
    return lag;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir root;
    if (!root.isValid())
        return 1;
    qputenv("VELDO_MAC_ROOT", root.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<char*> arguments(argv, argv + argc);
    char testRun[] = "-VeldoUITesting";
    arguments.push_back(testRun);
    int count = static_cast<int>(arguments.size());
    QApplication app(count, arguments.data());

    auto defaults = std::make_shared<platform::UserDefaults>(
        platform::homeDirectory().appendingPathComponent("Library/Preferences/veldo-bench.plist"));
    controller::ControllerServices services;
    services.orphanScan = [result = thousandsOfFindings(platform::homeDirectory().path())](
                              const std::optional<std::vector<core::InstalledApp>>&,
                              std::stop_token) { return result; };
    controller::UninstallViewModel model(std::make_shared<core::CleanupSettings>(defaults),
                                         std::make_shared<core::CleanupStats>(defaults), defaults,
                                         std::move(services));
    std::printf("orphan list, 3,000 findings built and scrolled: worst lag of a 16 ms GUI timer\n");
    for (int i = 1; i <= 3; ++i) {
        const Lag lag = run(model);
        std::printf("  run %d: worst %lld ms (goal < 50 ms); applying the result %lld ms; layout "
                    "and scrolling after it %lld ms\n",
                    i, static_cast<long long>(lag.worst), static_cast<long long>(lag.applyMs),
                    static_cast<long long>(lag.afterApply));
    }
    model.shutdown();
    return 0;
}
