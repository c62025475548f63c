// The GUI thread's worst lag while the sidebar lists 300 apps whose icons load: a 16 ms timer's
// largest delay past its interval, from the list's first paint until every icon has arrived,
// the list scrolling meanwhile. Offscreen; the apps are generated bundles with 256-pixel icons.
// Not a Google Benchmark program: it prints one line of figures.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QListView>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AppListView.h"
#include "bench/BenchMac.h"
#include "platform/qt/AppIconProvider.h"

namespace {

using namespace veldo;

constexpr int kApps = 300;

std::string iconBytes(int n)
{
    QImage image(256, 256, QImage::Format_ARGB32);
    image.fill(QColor::fromHsv((n * 37) % 360, 160, 220));
    QPainter painter(&image);
    painter.setPen(Qt::white);
    painter.drawEllipse(40, 40, 176, 176);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "ICNS");
    return bytes.toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    bench::BenchMac mac("sidebar-lag", {});

    std::vector<core::InstalledApp> apps;
    for (int n = 0; n < kApps; ++n) {
        const std::string name = "App " + std::to_string(1000 + n);
        const platform::MacPath bundle("/Applications/" + name + ".app");
        mac.plist(bundle.appendingPathComponent("Contents/Info.plist"),
                  platform::PlistValue::Dictionary{{"CFBundleName", name},
                                                   {"CFBundleIconFile", std::string("AppIcon")}});
        mac.file(bundle.appendingPathComponent("Contents/Resources/AppIcon.icns"), iconBytes(n));
        core::InstalledApp app;
        app.url = bundle;
        app.name = name;
        app.lastUsed = std::chrono::system_clock::now() - std::chrono::hours(24 * n);
        apps.push_back(std::move(app));
    }

    controller::UninstallViewModel model;
    platform::qt::AppIconProvider icons;
    std::set<QString> loaded;
    QObject::connect(&icons, &platform::qt::AppIconProvider::iconReady,
                     [&](const QString& path) { loaded.insert(path); });
    veldo::ui::AppListView::Options options;
    options.icons = &icons;
    options.actions.selectApps = [](controller::IdSet) {};
    options.actions.scanApps = [] {};

    QElapsedTimer clock;
    clock.start();
    model.setApps(apps);
    veldo::ui::AppListView view(&model, std::move(options));
    view.resize(300, 700);
    view.show();
    const qint64 shown = clock.elapsed();

    qint64 last = clock.elapsed();
    qint64 worst = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(16);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        worst = std::max(worst, now - last - 16);
        last = now;
        QScrollBar* bar =
            view.findChild<QListView*>(QStringLiteral("listView"))->verticalScrollBar();
        bar->setValue(bar->value() + 40 > bar->maximum() ? 0 : bar->value() + 40);
    });
    tick.start();
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &application, &QApplication::quit);
    limit.start(20'000);
    QTimer done;
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (static_cast<int>(loaded.size()) >= kApps)
            application.quit();
    });
    done.start(5);
    QApplication::exec();
    std::printf("sidebar of %d apps: shown in %lld ms, %zu icons loaded in %lld ms, worst GUI "
                "lag of a 16 ms timer %lld ms (goal < 50 ms)\n",
                kApps, static_cast<long long>(shown), loaded.size(),
                static_cast<long long>(clock.elapsed()), static_cast<long long>(worst));
    return static_cast<int>(loaded.size()) >= kApps ? 0 : 1;
}
