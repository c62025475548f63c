// veldo_tour: paints every view and state of the windows into PNG files, for people to look at
// and for CI to check that none comes out blank.
//
// Usage: veldo_tour MAC_ROOT OUTPUT_FOLDER. The Mac root is a folder that stands in for the Mac
// (it is only read from, apart from the controller's and the updater's defaults in its home
// folder). Exits 1 when a picture is blank or cannot be written, 2 on bad arguments. It runs as a
// test run ("-VeldoUITesting"), and its updater views make updaters that never check.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QStyleFactory>
#include <QThreadPool>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/core/LeftoverCategory.h"
#include "app/core/ToolchainItem.h"
#include "app/core/TrashNoticeGate.h"
#include "app/ui/AdminEscalationSheet.h"
#include "app/ui/AppDetailView.h"
#include "app/ui/AppListModel.h"
#include "app/ui/AppListView.h"
#include "app/ui/AppManagementSheet.h"
#include "app/ui/AppShell.h"
#include "app/ui/BatchDetailView.h"
#include "app/ui/CaskFailureSheet.h"
#include "app/ui/CategoryBadge.h"
#include "app/ui/CategoryTint.h"
#include "app/ui/ContentView.h"
#include "app/ui/DeveloperView.h"
#include "app/ui/DiskUsageMapSection.h"
#include "app/ui/DropOverlay.h"
#include "app/ui/GeneralSettingsTab.h"
#include "app/ui/HelpView.h"
#include "app/ui/HelperClientRunner.h"
#include "app/ui/LeftoverListModel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageBoxUserDriver.h"
#include "app/ui/NoticeBanner.h"
#include "app/ui/OrphanFilesView.h"
#include "app/ui/OrphanReviewSheet.h"
#include "app/ui/PreferencesView.h"
#include "app/ui/ResultBanner.h"
#include "app/ui/SelectedMapKind.h"
#include "app/ui/SheetParts.h"
#include "app/ui/SpringAnimation.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"
#include "app/ui/TintedPill.h"
#include "app/ui/ToolScreenParts.h"
#include "app/ui/ToolchainKindColor.h"
#include "app/ui/TrashedAppBanner.h"
#include "app/ui/TreemapView.h"
#include "app/ui/UpdaterController.h"
#include "app/ui/UpdatesSettingsTab.h"
#include "app/ui/WelcomeView.h"
#include "base/RawValue.h"
#include "platform/Home.h"
#include "platform/MacRoot.h"
#include "platform/UserDefaults.h"
#include "tests/support/FakeServiceManager.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/UiFixtures.h"

namespace {

using namespace veldo;
using testsupport::child;
using ui::ColorScheme;

struct Shot
{
    QString name;
    ColorScheme scheme;
    QSize size;
    std::function<QWidget*(QWidget* host)> make; // the view, a child of host (or its dialog)
};

// The Info dictionary the Updates tab reads: the tour's Mac root has no Veldo.app.
platform::PlistValue tourBundleInfo()
{
    return platform::PlistValue::Dictionary{{"CFBundleShortVersionString", "1.4"},
                                            {"CFBundleVersion", "27"}};
}

// An updater controller with a real updater and a store of its own in the tour's Mac home.
// Automatic checks are off and no check is asked for, so nothing reaches the network.
std::unique_ptr<ui::UpdaterController>
tourUpdater(const QString& name, std::optional<QDateTime> lastCheck, QObject* parent)
{
    auto defaults =
        std::make_shared<platform::UserDefaults>(platform::homeDirectory().appendingPathComponent(
            "Library/Preferences/veldo-tour-" + name.toStdString() + ".plist"));
    (void)defaults->setBool("SUEnableAutomaticChecks", false);
    (void)defaults->removeObject("SULastCheckTime");
    if (lastCheck)
        (void)defaults->setObject("SULastCheckTime", platform::PlistDate{static_cast<double>(
                                                         lastCheck->toSecsSinceEpoch())});
    platform::SoftwareUpdater::Options options;
    options.defaults = defaults;
    auto controller = std::make_unique<ui::UpdaterController>(
        ui::UpdaterController::LaunchSigns{{}, {QStringLiteral("veldo")}}, nullptr, options);
    controller->setParent(parent);
    return controller;
}

// The box the user driver opens over host, in host's colours.
QWidget* driverBox(QWidget* host, const std::function<void(ui::MessageBoxUserDriver&)>& show)
{
    ui::MessageBoxUserDriver driver([host] { return host; });
    show(driver);
    auto* box = host->findChild<QMessageBox*>();
    if (box)
        box->setPalette(host->palette());
    return box;
}

// Blank: one colour, or nearly (a background with a stray pixel).
bool isBlank(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            colours.insert(image.pixel(x, y));
            if (colours.size() > 8)
                return false;
        }
    return true;
}

QWidget* bannerHost(QWidget* host, QWidget* banner)
{
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(banner, 0, Qt::AlignHCenter | Qt::AlignTop);
    layout->addStretch(1);
    return banner;
}

// A sheet drawn inside the host, as it sits on its window.
QWidget* sheetHost(QWidget* host, QDialog* sheet)
{
    sheet->setWindowFlags(Qt::Widget);
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(sheet, 0, Qt::AlignHCenter | Qt::AlignTop);
    layout->addStretch(1);
    return sheet;
}

std::vector<core::LeftoverItem> items(const std::vector<std::string>& paths)
{
    std::vector<core::LeftoverItem> list;
    for (const auto& path : paths)
        list.push_back(testsupport::uiItem(path, 2'400'000, true));
    return list;
}

controller::CaskFailure tourCaskFailure()
{
    controller::CaskFailure failure;
    failure.appName = "Quill";
    failure.token = "quill";
    failure.message = "Error: Permission denied @ apply2files - "
                      "/Library/LaunchDaemons/com.quill.helper.plist";
    failure.terminalCommand = "brew uninstall --cask --zap --force quill";
    failure.output = "==> Uninstalling Cask quill\n"
                     "==> Removing launchctl service com.quill.helper\n"
                     "==> Removing files:\n/Library/LaunchDaemons/com.quill.helper.plist\n"
                     "Error: Permission denied @ apply2files - "
                     "/Library/LaunchDaemons/com.quill.helper.plist\n";
    failure.appWasRemoved = true;
    return failure;
}

QWidget* gallery(QWidget* host)
{
    auto* grid = new QGridLayout(host);
    grid->setContentsMargins(24, 24, 24, 24);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(10);
    const ColorScheme scheme = ui::SystemColors::colorScheme(host->palette());
    int row = 0;
    for (core::LeftoverCategory c : base::allCases<core::LeftoverCategory>()) {
        grid->addWidget(new ui::CategoryBadge(c, 20, host), row, 0);
        grid->addWidget(new ui::CategoryBadge(c, 32, host), row, 1);
        const QString title =
            QString::fromUtf8(core::title(c).data(), static_cast<qsizetype>(core::title(c).size()));
        auto* pill = new ui::TintedPill(title, ui::SystemColors::color(ui::categoryTint(c), scheme),
                                        0.16, QMargins(8, 2, 8, 2), host);
        pill->setFont(ui::textFont(ui::TextStyle::caption, host->font()));
        grid->addWidget(pill, row, 2, Qt::AlignLeft);
        auto* label = new QLabel(QString::fromUtf8(base::rawValue(c).data()), host);
        grid->addWidget(label, row, 3);
        ++row;
    }
    grid->setColumnStretch(4, 1);
    return host;
}

// Every kind with a few measured locations, sizes spread from a few MB to tens of GB.
std::vector<core::ToolchainGroup> toolchainGallery()
{
    std::vector<core::ToolchainGroup> groups;
    std::int64_t size = 41'000'000'000;
    for (core::ToolchainKind kind : base::allCases<core::ToolchainKind>()) {
        core::ToolchainGroup group{kind, {}};
        const std::string raw(base::rawValue(kind));
        const int count = 2 + static_cast<int>(raw.size() % 5);
        for (int i = 0; i < count; ++i) {
            core::ToolchainItem item;
            item.kind = kind;
            item.title = std::string(core::title(kind)) + " " +
                         (i == 0   ? "Cache"
                          : i == 1 ? "Runtimes"
                                   : "Data " + std::to_string(i));
            item.url =
                platform::MacPath("/Users/demo/Library/Developer/" + raw + "/" + std::to_string(i));
            item.sizeBytes = size / (i + 1) / (i + 1);
            group.items.push_back(std::move(item));
        }
        groups.push_back(std::move(group));
        size = size * 2 / 3;
    }
    return groups;
}

QWidget* mapHost(QWidget* host, testsupport::UiController& controller,
                 std::optional<core::ToolchainKind> kind)
{
    controller.model->setToolchainGroups(toolchainGallery());
    auto* selected = new ui::SelectedMapKind(host);
    selected->setKind(kind);
    auto* section = new ui::DiskUsageMapSection(controller.model.get(), selected, host);
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(section);
    return section;
}

// Many tiles of falling sizes: the small ones show their symbol alone, the smallest nothing.
QWidget* smallTiles(QWidget* host)
{
    const ColorScheme scheme = ui::SystemColors::colorScheme(host->palette());
    std::vector<ui::TreemapTile> tiles;
    int n = 0;
    for (int round = 0; round < 3; ++round)
        for (core::ToolchainKind kind : base::allCases<core::ToolchainKind>()) {
            ++n;
            tiles.push_back({std::string(base::rawValue(kind)) + std::to_string(round),
                             QString::fromUtf8(core::title(kind).data()), 40'000'000'000 / (n * n),
                             ui::color(kind, scheme), std::string(core::symbolName(kind))});
        }
    auto* view = new ui::TreemapView(
        std::move(tiles), std::nullopt, [](const ui::TreemapTile&) {}, host);
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(view);
    return view;
}

// The views' own probes run here, as on the application's pool.
QThreadPool& probePool()
{
    static QThreadPool pool;
    return pool;
}

enum class OrphanState
{
    notScanned,
    scanning,
    nothingFound,
    list
};

// The Orphaned Files screen's state on the controller; the list with the suggested selection.
void arrangeOrphans(testsupport::UiController& controller, OrphanState state)
{
    controller::UninstallViewModel& model = *controller.model;
    scanners::OrphanScanResult result;
    if (state == OrphanState::list)
        result = testsupport::orphanGallery(platform::homeDirectory().path());
    if (state == OrphanState::nothingFound)
        result.unreadableLocations = {platform::MacPath("/Library/Application Support")};
    model.setOrphanResult(result);
    model.setHasScannedOrphans(state == OrphanState::list || state == OrphanState::nothingFound);
    model.setIsScanningOrphans(state == OrphanState::scanning);
    model.setSelectedOrphanIDs(
        state == OrphanState::list
            ? controller::UninstallViewModel::suggestedOrphanPaths(result.groups, true)
            : controller::IdSet{});
}

// The Orphaned Files screen in a state.
QWidget* orphansHost(QWidget* host, testsupport::UiController& controller, OrphanState state)
{
    arrangeOrphans(controller, state);
    controller::UninstallViewModel& model = *controller.model;
    auto* view = new ui::OrphanFilesView(
        &model, &probePool(), [] { return core::SystemSettings::FullDiskAccessStatus::denied; },
        host);
    (new QVBoxLayout(host))->addWidget(view);
    return view;
}

// The review sheet over the gallery with every item of the first group selected: both warnings.
QWidget* orphanReviewHost(QWidget* host, testsupport::UiController& controller)
{
    controller::UninstallViewModel& model = *controller.model;
    const auto result = testsupport::orphanGallery(platform::homeDirectory().path());
    model.setOrphanResult(result);
    model.setHasScannedOrphans(true);
    model.setIsScanningOrphans(false);
    controller::IdSet ids;
    for (const auto& finding : result.groups[0].findings)
        ids.insert(finding.item.id());
    model.setSelectedOrphanIDs(ids);
    return sheetHost(host, new ui::OrphanReviewSheet(&model, {}, {}, host));
}

// The Developer Footprint screen on a tab with measured tools and packages, nothing scanning;
// optionally with the last package result and a selection.
ui::DeveloperView* developerView(QWidget* host, testsupport::UiController& controller,
                                 core::DeveloperTab tab,
                                 std::optional<scanners::PackageRemover::Result> result = {})
{
    controller::UninstallViewModel& model = *controller.model;
    const std::string home = platform::homeDirectory().path();
    model.setToolchainGroups(testsupport::toolchainSample(home));
    model.setHasScannedDeveloper(true);
    model.setIsScanningDeveloper(false);
    model.setPackageGroups(testsupport::packageSample());
    model.setHasScannedPackages(true);
    model.setIsScanningPackages(false);
    model.setLastPackageResult(std::move(result));
    model.setDeveloperTab(tab);
    model.setSelectedToolchainIDs({home + "/Library/Developer/Xcode/DerivedData",
                                   "/Library/Developer/CoreSimulator/Volumes/iOS_21C62",
                                   home + "/Library/Developer/CoreSimulator/Devices"});
    controller::IdSet packages;
    for (const auto& group : model.packageGroups())
        for (const auto& package : group.packages)
            if (package.name != "git")
                packages.insert(package.id());
    model.setSelectedPackageIDs(packages);
    auto* view = new ui::DeveloperView(&model, host);
    (new QVBoxLayout(host))->addWidget(view);
    return view;
}

// The Settings window's content on `tab`, over a helper client whose service manager reports
// `serviceStatus` (the refresh on show reads the same state again) and whose fields `prepare`
// sets.
QWidget* settingsHost(QWidget* host, testsupport::UiController& controller,
                      controller::SettingsTab tab,
                      platform::ServiceStatusValue serviceStatus = platform::kServiceNotRegistered,
                      const std::function<void(removal::PrivilegedHelperClient&)>& prepare = {})
{
    auto services = std::make_shared<testsupport::FakeServiceManager>();
    services->statusValue = serviceStatus;
    auto client = std::make_shared<removal::PrivilegedHelperClient>(
        removal::PrivilegedHelperClient::Services{services, std::chrono::milliseconds(100)});
    if (prepare)
        prepare(*client);
    auto* runner = new ui::HelperClientRunner(client, {}, host);
    auto* pool = new QThreadPool(host);
    ui::UpdaterController* updater =
        tourUpdater(QStringLiteral("settings"), std::nullopt, host).release();
    controller.model->setSettingsTab(tab);
    auto* view = new ui::PreferencesView(controller.settings, *controller.model,
                                         {*runner, *updater, *pool}, host);
    // Deleted after the tabs that use them.
    runner->setParent(view);
    pool->setParent(view);
    updater->setParent(view);
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    return view;
}

// The Help page, scrolled to its end once laid out when `end`.
QWidget* helpHost(QWidget* host, bool end)
{
    auto* view = new ui::HelpView(QStringLiteral("updates.orbelkan.com"), host);
    if (end) {
        QScrollBar* bar = child<QScrollArea>(view, "scrollArea")->verticalScrollBar();
        QObject::connect(bar, &QScrollBar::rangeChanged, bar,
                         [bar](int, int maximum) { bar->setValue(maximum); });
    }
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    return view;
}

// A main window of `shell` in the host's colours, with the controller's transient state cleared
// and then set by `arrange`.
QWidget* mainWindow(QWidget* host, ui::AppShell& shell,
                    const std::function<void(ui::MainWindow&)>& arrange)
{
    controller::UninstallViewModel& model = shell.model();
    model.setDropNotice(std::nullopt);
    model.setTrashNotices({});
    model.setShowResultBanner(false);
    model.setLastOutcome(std::nullopt);
    model.setIsScanningApps(false);
    auto* window = static_cast<ui::MainWindow*>(shell.openWindow(QStringLiteral("main")));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->setParent(host, Qt::Window);
    window->setPalette(host->palette());
    // The window system's answer to the first showing comes first: it would undo a resize.
    QApplication::processEvents();
    arrange(*window);
    QApplication::processEvents();
    return window;
}

// Runs `task` to its end, turning the event loop meanwhile; false after 20 s.
bool settle(const controller::Task<void>& task)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!task.isDone() && std::chrono::steady_clock::now() < until)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return task.isDone();
}

// Show Apple Apps on and Calculator chosen in the sidebar: the Mac's apps and Calculator's
// leftovers as the controller's own scans find and tick them.
QWidget* appleAppWindow(QWidget* host, ui::AppShell& shell)
{
    return mainWindow(host, shell, [&shell](ui::MainWindow& window) {
        controller::UninstallViewModel& model = shell.model();
        const platform::MacPath home = platform::homeDirectory();
        model.setGrantedAccess(
            {{core::AccessRootKind::applications, platform::MacPath("/Applications")},
             {core::AccessRootKind::userApplications, home.appendingPathComponent("Applications")},
             {core::AccessRootKind::userLibrary, home.appendingPathComponent("Library")},
             {core::AccessRootKind::systemLibrary, platform::MacPath("/Library")}});
        model.setIncludeSystemApps(true);
        if (!settle(model.scanApps()))
            std::fprintf(stderr, "veldo_tour: the app scan did not end\n");
        for (const core::InstalledApp& app : model.apps())
            if (app.name == "Calculator" && !settle(model.selectApps({app.id()})))
                std::fprintf(stderr, "veldo_tour: Calculator's scan did not end\n");
        window.resize(1100, 760);
    });
}

controller::TrashedAppNotice tourTrashNotice()
{
    controller::TrashedAppNotice notice;
    notice.id = "quill";
    notice.app.name = "Quill";
    notice.bundle.trashURL = platform::MacPath("/Users/me/.Trash/Quill.app");
    notice.itemCount = 7;
    notice.totalBytes = 48'300'000;
    return notice;
}

// A batch of four on the controller: running, installed with Homebrew, protected, and one
// without safe-default items; the first two included.
void arrangeBatch(testsupport::UiController& controller)
{
    const auto result = [](const std::string& name, std::int64_t bytes) {
        controller::BatchAppResult r;
        r.app.url = platform::MacPath("/Applications/" + name + ".app");
        r.app.name = name;
        r.defaultSelected = {
            testsupport::uiItem(r.app.url.path(), bytes, false,
                                core::LeftoverCategory::application),
            testsupport::uiItem("/Users/demo/Library/Caches/com.example." + name, bytes / 4),
            testsupport::uiItem("/Library/LaunchDaemons/com.example." + name + ".plist", 4'096,
                                true, core::LeftoverCategory::launchAgents)};
        r.leftovers = r.defaultSelected;
        return r;
    };
    auto quill = result("Quill", 182'400'000);
    quill.isRunning = true;
    auto inkwell = result("Inkwell", 96'000'000);
    inkwell.caskToken = "inkwell";
    auto finder = result("Finder", 0);
    finder.isProtected = true;
    auto margins = result("Margins & Notes", 0);
    margins.defaultSelected.clear();
    controller::UninstallViewModel& model = *controller.model;
    model.setSelectedAppIDs({quill.app.id(), inkwell.app.id(), finder.app.id(), margins.app.id()});
    model.setApps({quill.app, inkwell.app, finder.app, margins.app});
    model.setIsScanningBatch(false);
    model.setIsRemoving(false);
    model.setBatchResults({quill, inkwell, finder, margins});
    model.setBatchIncludedIDs({quill.app.id(), inkwell.app.id()});
}

QWidget* batchHost(QWidget* host, testsupport::UiController& controller)
{
    arrangeBatch(controller);
    auto* view = new ui::BatchDetailView(*controller.model, nullptr, host);
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    return view;
}

// A sidebar of ten apps: a system app, a cask, unused apps, sizes and last uses.
void sidebarApps(testsupport::UiController& controller)
{
    const core::Date now = std::chrono::system_clock::now();
    std::vector<core::InstalledApp> apps;
    const struct
    {
        const char* name;
        std::int64_t size;
        int daysAgo; // -1: never
        bool system;
    } table[] = {
        {"Quill", 184'000'000, 2, false},
        {"Inkwell", 0, 400, false},
        {"Safari", 0, 0, true},
        {"Margins", 0, -1, false},
        {"Photon Editor Professional Studio Edition 2026 for Teams", 2'100'000'000, 30, false},
        {"Tally", 0, 250, false},
        {"Waypoint", 12'400'000, 5, false},
        {"Ledger", 0, 1, false},
        {"Notebook", 0, 190, false},
        {"Zephyr", 0, -1, false},
    };
    for (const auto& row : table) {
        core::InstalledApp app;
        app.name = row.name;
        app.url =
            platform::MacPath(std::string(row.system ? "/System/Applications/" : "/Applications/") +
                              row.name + ".app");
        app.bundleID = "com.example." + std::string(row.name).substr(0, 5);
        app.sizeBytes = row.size;
        app.isSystemApp = row.system;
        if (row.daysAgo >= 0)
            app.lastUsed = now - std::chrono::hours(24 * row.daysAgo) - std::chrono::minutes(5);
        apps.push_back(app);
    }
    controller.model->setSearchText("");
    controller.model->setSelectedAppIDs({});
    controller.model->setIsScanningApps(false);
    leftovers::CaskInfo quill;
    quill.token = "quill";
    quill.version = "3.2.1";
    quill.appNames = {"Quill.app"};
    quill.appTargets = {"Quill.app"};
    controller.model->setCaskIndex({{"Quill.app", quill}});
    controller.model->setApps(std::move(apps));
}

ui::AppListView* sidebarHost(QWidget* host, testsupport::UiController& controller,
                             const std::function<void(ui::AppListView&)>& state = {})
{
    sidebarApps(controller);
    auto* view = new ui::AppListView(controller.model.get(), host);
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    if (state)
        state(*view);
    return view;
}

// Quill's leftovers: every confidence, an administrator item, a refused-free list of a few
// categories, or `count` items for a long list.
std::vector<core::LeftoverItem> detailLeftovers(int count = 0)
{
    const std::string home = platform::homeDirectory().path();
    std::vector<core::LeftoverItem> list;
    auto add = [&](std::string path, std::int64_t bytes, core::MatchConfidence confidence,
                   core::LeftoverCategory category, bool admin = false) {
        core::LeftoverItem i;
        i.url = platform::MacPath(std::move(path));
        i.sizeBytes = bytes;
        i.confidence = confidence;
        i.category = category;
        i.requiresAdmin = admin;
        list.push_back(std::move(i));
    };
    using C = core::LeftoverCategory;
    using M = core::MatchConfidence;
    add("/Applications/Quill.app", 184'000'000, M::certain, C::application);
    add(home + "/Library/Application Support/Quill", 48'300'000, M::certain, C::supportFiles);
    add(home + "/Library/Application Support/QuillSync", 2'100'000, M::medium, C::supportFiles);
    add(home + "/Library/Caches/com.quill.app", 310'000'000, M::high, C::caches);
    add(home + "/Library/Preferences/com.quill.app.plist", 4'000, M::certain, C::preferences);
    add(home + "/Library/Logs/Quill", 0, M::low, C::logs);
    add("/Library/LaunchDaemons/com.quill.helper.plist", 1'000, M::certain, C::launchAgents, true);
    for (int n = 0; n < count; ++n)
        add(home + "/Library/Caches/com.quill.app/fragments/part-" + std::to_string(n) +
                "-with-a-rather-long-name-that-the-row-cuts-in-the-middle.cache",
            1'000 * (n + 1), n % 3 == 0 ? M::high : M::medium, C::caches);
    return list;
}

core::InstalledApp detailApp()
{
    core::InstalledApp app;
    app.name = "Quill";
    app.url = platform::MacPath("/Applications/Quill.app");
    app.bundleID = "com.quill.app";
    app.version = "3.2.1";
    return app;
}

// Quill's detail state on the controller; `prepare` runs on it last.
void arrangeDetail(testsupport::UiController& controller,
                   const std::function<void(controller::UninstallViewModel&)>& prepare,
                   int count = 0)
{
    controller::UninstallViewModel& model = *controller.model;
    const core::InstalledApp app = detailApp();
    model.setApps({app});
    model.setDetailApp(app);
    model.setSelectedAppID(app.id());
    model.setDetailAppLocation(controller::DetailAppLocation::installed);
    model.setRunningStatus({});
    model.setIsScanningLeftovers(false);
    model.setIsRemoving(false);
    leftovers::CaskInfo cask;
    cask.token = "quill";
    cask.version = "3.2.1";
    cask.hasZap = true;
    cask.usesInstallerPackage = true;
    cask.appNames = {"Quill.app"};
    cask.appTargets = {"Quill.app"};
    model.setCaskIndex({{"Quill.app", cask}});
    std::vector<core::LeftoverItem> items = detailLeftovers(count);
    controller::IdSet ids;
    for (const auto& i : items)
        if (i.confidence != core::MatchConfidence::low)
            ids.insert(i.id());
    model.setLeftovers(std::move(items));
    model.setSelectedLeftoverIDs(std::move(ids));
    if (prepare)
        prepare(model);
}

// The detail screen of Quill in a given state; `prepare` runs on the controller before the
// screen is built, `after` on the screen.
ui::AppDetailView* detailHost(QWidget* host, testsupport::UiController& controller,
                              const std::function<void(controller::UninstallViewModel&)>& prepare,
                              const std::function<void(ui::AppDetailView&)>& after = {},
                              int count = 0)
{
    arrangeDetail(controller, prepare, count);
    auto* view = new ui::AppDetailView(controller.model.get(), detailApp(), host);
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    if (after)
        after(*view);
    return view;
}

// The notice of `app` vanished from Applications (not in the Trash).
controller::TrashedAppNotice vanishedNotice(const core::InstalledApp& app)
{
    controller::TrashedAppNotice notice;
    notice.bundle =
        core::WatchedAppBundle{std::nullopt, app.url, app.bundleID, app.name, app.version};
    notice.id = core::TrashNoticeGate::offerKey(notice.bundle);
    notice.app = app;
    return notice;
}

// The detail screen of the tour's Mac's Quill after `drive` worked the controller (no app listed,
// nothing shown, before it); the tour stops when the Mac has no Quill.
ui::AppDetailView* macDetailHost(
    QWidget* host, testsupport::UiController& controller,
    const std::function<void(controller::UninstallViewModel&, const core::InstalledApp&)>& drive)
{
    controller::UninstallViewModel& model = *controller.model;
    const std::optional<core::InstalledApp> quill =
        model.services().loadApp(platform::MacPath("/Applications/Quill.app"));
    if (!quill) {
        std::fprintf(stderr, "veldo_tour: the Mac has no /Applications/Quill.app\n");
        std::exit(1);
    }
    model.setApps({});
    model.setCaskIndex({});
    model.setRunningStatus({});
    model.setTrashNotices({});
    drive(model, *quill);
    auto* view = new ui::AppDetailView(&model, model.selectedApp().value_or(*quill), host);
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    return view;
}

// The sheet drawn inside the host, over the dimmed screen.
QWidget* detailSheetHost(QWidget* host, testsupport::UiController& controller, bool homebrew)
{
    ui::AppDetailView* view = detailHost(host, controller, {});
    // Opened as the user opens them: Homebrew manages Quill, so the primary button shows the
    // cask's sheet, and its "Move to Trash Instead" replaces it with the review.
    child<QPushButton>(view, "primaryButton")->click();
    if (!homebrew)
        if (auto* trash =
                child<QPushButton>(child<QDialog>(view, "homebrewSheet"), "moveToTrashButton"))
            trash->click();
    QDialog* sheet = child<QDialog>(view, homebrew ? "homebrewSheet" : "reviewSheet");
    if (!sheet) {
        std::fprintf(stderr, "veldo_tour: the detail view opened no sheet\n");
        std::exit(1);
    }
    sheet->setWindowModality(Qt::NonModal);
    sheet->setWindowFlags(Qt::Widget);
    sheet->setParent(host);
    sheet->setAutoFillBackground(true);
    ui::fitHeight(sheet);
    sheet->move((860 - sheet->width()) / 2, 0);
    sheet->show();
    sheet->raise();
    return view;
}

void appendDetailShots(std::vector<Shot>& list, testsupport::UiController& controller)
{
    using L = controller::DetailAppLocation;
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark})
        list.push_back(
            {scheme == ColorScheme::dark ? QStringLiteral("detail-dark") : QStringLiteral("detail"),
             scheme,
             {860, 760},
             [&controller](QWidget* host) { return detailHost(host, controller, {}); }});
    const struct
    {
        const char* name;
        L location;
    } locations[] = {{"detail-in-trash", L::inTrash},
                     {"detail-removed", L::removed},
                     {"detail-not-found", L::notFound}};
    for (const auto& entry : locations)
        list.push_back({QString::fromUtf8(entry.name),
                        ColorScheme::light,
                        {860, 760},
                        [&controller, location = entry.location](QWidget* host) {
                            return detailHost(host, controller,
                                              [location](controller::UninstallViewModel& model) {
                                                  model.setDetailAppLocation(location);
                                                  // What the review of a vanished app shows.
                                                  if (location == L::notFound)
                                                      model.setSelectedLeftoverIDs({});
                                              });
                        }});
    // Quill of the tour's Mac, driven by the controller itself, its bundle taken off the Mac
    // meanwhile. Rescanned after its review as a vanished app: still nothing ticked.
    list.push_back(
        {QStringLiteral("detail-not-found-rescanned"),
         ColorScheme::light,
         {860, 760},
         [&controller](QWidget* host) {
             return macDetailHost(
                 host, controller,
                 [](controller::UninstallViewModel& model, const core::InstalledApp& app) {
                     const std::filesystem::path installed = platform::hostPath(app.url);
                     const std::filesystem::path away =
                         platform::hostPath(platform::MacPath("/private/tmp/Quill.app"));
                     std::error_code error;
                     std::filesystem::create_directories(away.parent_path(), error);
                     std::filesystem::rename(installed, away, error);
                     if (error) {
                         std::fprintf(stderr, "veldo_tour: can't take Quill off the Mac: %s\n",
                                      error.message().c_str());
                         std::exit(1);
                     }
                     settle(model.reviewTrashedApp(vanishedNotice(app)));
                     settle(model.scanLeftovers());
                     std::filesystem::rename(away, installed, error);
                     if (error) {
                         std::fprintf(stderr, "veldo_tour: can't put Quill back: %s\n",
                                      error.message().c_str());
                         std::exit(1);
                     }
                 });
         }});
    // Its notice reviewed after it came back to Applications: its ordinary detail.
    list.push_back(
        {QStringLiteral("detail-notice-of-an-app-back"),
         ColorScheme::light,
         {860, 760},
         [&controller](QWidget* host) {
             return macDetailHost(
                 host, controller,
                 [](controller::UninstallViewModel& model, const core::InstalledApp& app) {
                     model.setApps({app});
                     settle(model.reviewTrashedApp(vanishedNotice(app)));
                 });
         }});
    list.push_back({QStringLiteral("detail-running"),
                    ColorScheme::light,
                    {860, 760},
                    [&controller](QWidget* host) {
                        return detailHost(
                            host, controller, [](controller::UninstallViewModel& model) {
                                core::RunningAppStatus running;
                                running.isRunning = true;
                                running.helperNames = {"Quill Helper", "QuillSync Agent"};
                                model.setRunningStatus(running);
                            });
                    }});
    list.push_back({QStringLiteral("detail-scanning"),
                    ColorScheme::light,
                    {860, 640},
                    [&controller](QWidget* host) {
                        return detailHost(host, controller,
                                          [](controller::UninstallViewModel& model) {
                                              model.setIsScanningLeftovers(true);
                                          });
                    }});
    list.push_back({QStringLiteral("detail-nothing-left"),
                    ColorScheme::light,
                    {860, 640},
                    [&controller](QWidget* host) {
                        return detailHost(host, controller,
                                          [](controller::UninstallViewModel& model) {
                                              model.setLeftovers({});
                                              model.setSelectedLeftoverIDs({});
                                          });
                    }});
    list.push_back(
        {QStringLiteral("detail-long-list-scrolled"),
         ColorScheme::light,
         {860, 760},
         [&controller](QWidget* host) {
             return detailHost(
                 host, controller, {},
                 [](ui::AppDetailView& view) {
                     child<ui::RowListView>(view, "leftoverList")
                         ->scrollTo(child<ui::LeftoverListModel>(view, "leftoverModel")
                                        ->index(child<ui::LeftoverListModel>(view, "leftoverModel")
                                                    ->rowCount() /
                                                2),
                                    QAbstractItemView::PositionAtCenter);
                 },
                 2000);
         }});
    list.push_back(
        {QStringLiteral("review-sheet"),
         ColorScheme::light,
         {860, 760},
         [&controller](QWidget* host) { return detailSheetHost(host, controller, false); }});
    list.push_back(
        {QStringLiteral("homebrew-sheet"),
         ColorScheme::light,
         {860, 760},
         [&controller](QWidget* host) { return detailSheetHost(host, controller, true); }});
}

void appendSidebarShots(std::vector<Shot>& list, testsupport::UiController& controller)
{
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark})
        list.push_back({scheme == ColorScheme::dark ? QStringLiteral("sidebar-dark")
                                                    : QStringLiteral("sidebar"),
                        scheme,
                        {300, 640},
                        [&controller](QWidget* host) { return sidebarHost(host, controller); }});
    list.push_back({QStringLiteral("sidebar-search-no-results"),
                    ColorScheme::light,
                    {300, 640},
                    [&controller](QWidget* host) {
                        return sidebarHost(host, controller, [&controller](ui::AppListView&) {
                            controller.model->setSearchText("Photoshop");
                        });
                    }});
    list.push_back({QStringLiteral("sidebar-unused"),
                    ColorScheme::light,
                    {300, 640},
                    [&controller](QWidget* host) {
                        return sidebarHost(host, controller, [](ui::AppListView& view) {
                            view.setShowOnlyUnused(true);
                        });
                    }});
    list.push_back({QStringLiteral("sidebar-three-selected"),
                    ColorScheme::light,
                    {300, 640},
                    [&controller](QWidget* host) {
                        return sidebarHost(host, controller, [&controller](ui::AppListView&) {
                            controller.model->setSelectedAppIDs({"/Applications/Quill.app",
                                                                 "/Applications/Tally.app",
                                                                 "/Applications/Zephyr.app"});
                        });
                    }});
    list.push_back({QStringLiteral("sidebar-scanning"),
                    ColorScheme::light,
                    {300, 640},
                    [&controller](QWidget* host) {
                        return sidebarHost(host, controller, [&controller](ui::AppListView&) {
                            controller.model->setApps({});
                            controller.model->setIsScanningApps(true);
                        });
                    }});
    list.push_back(
        {QStringLiteral("sidebar-context-menu"),
         ColorScheme::light,
         {300, 640},
         [&controller](QWidget* host) {
             ui::AppListView* view = sidebarHost(host, controller);
             const int row =
                 child<ui::AppListModel>(view, "listModel")->rowOf("/Applications/Quill.app");
             // Opened as a right-click on the row opens it.
             auto* rows = child<QListView>(view, "listView");
             host->resize(300, 640);
             host->layout()->activate();
             const QPoint at =
                 rows->visualRect(child<ui::AppListModel>(view, "listModel")->index(row)).center();
             QContextMenuEvent click(QContextMenuEvent::Mouse, at,
                                     rows->viewport()->mapToGlobal(at));
             QApplication::sendEvent(rows->viewport(), &click);
             auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
             if (!menu) {
                 std::fprintf(stderr, "veldo_tour: the sidebar opened no context menu\n");
                 std::exit(1);
             }
             // Drawn inside the picture, beside the row it opened on.
             menu->setAttribute(Qt::WA_DeleteOnClose, false);
             menu->setParent(host, Qt::Widget);
             menu->adjustSize();
             menu->move(rows->viewport()->mapTo(host, at) + QPoint(-20, 0));
             menu->show();
             menu->raise();
             return view;
         }});
}

// Menu `index` of a main window's menu bar, opened.
QWidget* openMenu(QWidget* host, ui::AppShell& shell, int index)
{
    auto* window = static_cast<ui::MainWindow*>(mainWindow(host, shell, [](ui::MainWindow&) {}));
    QMenu* menu = window->menuBar()->actions().at(index)->menu();
    menu->setPalette(host->palette());
    menu->popup(QPoint(40, 40));
    QApplication::processEvents();
    return menu;
}

// The main window at its narrowest width and on a wide screen, in both appearances: the notice
// and Trash banners, the drop card, a selection of apps in the sidebar (an unused one among them)
// with the batch screen, an app's detail, its empty state and the Orphaned Files screen with
// nothing selected.
void appendWindowWidthShots(std::vector<Shot>& list, testsupport::UiController& controller,
                            ui::AppShell& shell)
{
    controller::UninstallViewModel& model = *controller.model;
    // The sidebar's ten apps, with the batch's and the detail's in place of theirs.
    const auto listApps = [&controller, &model](std::vector<core::InstalledApp> more) {
        sidebarApps(controller);
        std::vector<core::InstalledApp> apps = model.apps();
        for (core::InstalledApp& app : more)
            if (std::ranges::none_of(apps, [&](const auto& a) { return a.id() == app.id(); }))
                apps.push_back(std::move(app));
        model.setApps(std::move(apps));
    };
    const auto detail = [&controller, &model, listApps](bool empty) {
        arrangeDetail(controller, [empty](controller::UninstallViewModel& m) {
            if (empty) {
                m.setLeftovers({});
                m.setSelectedLeftoverIDs({});
            }
        });
        listApps({});
        model.setSelectedAppIDs({detailApp().id()});
    };
    const std::vector<std::pair<QString, std::function<void(ui::MainWindow&)>>> states = {
        {QStringLiteral("notices"),
         [&model, listApps](ui::MainWindow&) {
             listApps({});
             model.setSelectedAppID(std::nullopt);
             model.setDetailApp(std::nullopt);
             model.setDropNotice(std::string(
                 "Homebrew uninstalled “Orbit Browser”. Veldo found 7 leftover items — review "
                 "them below and move them to the Trash. Helpers of “Orbit Browser” are still "
                 "running and may recreate some files. Quit them from the menu bar or Activity "
                 "Monitor."));
             model.setTrashNotices({tourTrashNotice(), tourTrashNotice()});
         }},
        {QStringLiteral("drop"),
         [&model, listApps](ui::MainWindow& window) {
             listApps({});
             model.setSelectedAppID(std::nullopt);
             model.setDetailApp(std::nullopt);
             QMimeData data;
             data.setUrls({QUrl::fromLocalFile(QStringLiteral("/x/Quill.app"))});
             QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton,
                                   Qt::NoModifier);
             QApplication::sendEvent(child<ui::ContentView>(window, "contentView"), &enter);
         }},
        {QStringLiteral("batch"),
         [&controller, &model, listApps](ui::MainWindow&) {
             arrangeBatch(controller);
             const controller::IdSet selection = model.selectedAppIDs();
             std::vector<core::InstalledApp> batchApps = model.apps();
             listApps(std::move(batchApps));
             model.setSelectedAppIDs(selection);
         }},
        {QStringLiteral("detail"), [detail](ui::MainWindow&) { detail(false); }},
        {QStringLiteral("nothing-left"), [detail](ui::MainWindow&) { detail(true); }},
        {QStringLiteral("orphans"),
         [&controller, &model, listApps](ui::MainWindow&) {
             listApps({});
             arrangeOrphans(controller, OrphanState::list);
             model.setSelectedOrphanIDs({});
             model.setSelectedAppIDs({"veldo://orphans"});
         }},
    };
    for (const int width : {ui::ContentView::kMinimumWidth, 1400})
        for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark})
            for (const auto& [name, arrange] : states) {
                const QSize size(width, width == 1400 ? 860 : 640);
                list.push_back({QStringLiteral("window-%1-%2%3")
                                    .arg(width)
                                    .arg(name, scheme == ColorScheme::dark ? QStringLiteral("-dark")
                                                                           : QString()),
                                scheme,
                                {},
                                [&shell, size, arrange = arrange](QWidget* host) {
                                    return mainWindow(host, shell, [&](ui::MainWindow& window) {
                                        window.resize(size);
                                        arrange(window);
                                        // Shown, so that its lists lay out at this size.
                                        window.show();
                                    });
                                }});
            }
}

std::vector<Shot> shots(testsupport::UiController& controller, ui::AppShell& shell)
{
    std::vector<Shot> list;
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const QString suffix = scheme == ColorScheme::dark ? QStringLiteral("-dark") : QString();
        for (const auto& named : testsupport::bannerGallery()) {
            list.push_back({QStringLiteral("result-banner-%1%2")
                                .arg(QString::fromStdString(named.name), suffix),
                            scheme,
                            {760, 130},
                            [outcome = named.outcome](QWidget* host) {
                                auto* banner = new ui::ResultBanner(host);
                                banner->setOutcome(outcome);
                                return bannerHost(host, banner);
                            }});
        }
        list.push_back({QStringLiteral("result-banner-undoing%1").arg(suffix),
                        scheme,
                        {760, 130},
                        [](QWidget* host) {
                            auto* banner = new ui::ResultBanner(host);
                            banner->setOutcome(testsupport::bannerGallery().front().outcome);
                            banner->setUndoing(true);
                            return bannerHost(host, banner);
                        }});
        list.push_back(
            {QStringLiteral("notice-banner%1").arg(suffix), scheme, {600, 100}, [](QWidget* host) {
                 auto* banner = new ui::NoticeBanner(host);
                 banner->setMessage(QStringLiteral(
                     "“Quill” was moved to the Trash in Finder. 3 leftover items remain."));
                 return bannerHost(host, banner);
             }});
        list.push_back(
            {QStringLiteral("disk-map%1").arg(suffix),
             scheme,
             {900, 600},
             [&controller](QWidget* host) { return mapHost(host, controller, std::nullopt); }});
        list.push_back({QStringLiteral("disk-map-drilldown%1").arg(suffix),
                        scheme,
                        {900, 600},
                        [&controller](QWidget* host) {
                            return mapHost(host, controller, core::ToolchainKind::node);
                        }});
        list.push_back({QStringLiteral("disk-map-small-tiles%1").arg(suffix),
                        scheme,
                        {640, 420},
                        [](QWidget* host) { return smallTiles(host); }});
        list.push_back({QStringLiteral("trashed-app-banner%1").arg(suffix),
                        scheme,
                        {700, 120},
                        [](QWidget* host) {
                            controller::TrashedAppNotice notice;
                            notice.id = "quill";
                            notice.app.name = "Quill";
                            notice.bundle.trashURL =
                                platform::MacPath("/Users/me/.Trash/Quill.app");
                            notice.itemCount = 7;
                            notice.totalBytes = 48'300'000;
                            auto* banner = new ui::TrashedAppBanner({}, {}, host);
                            banner->setNotice(notice, 2);
                            return bannerHost(host, banner);
                        }});
        list.push_back(
            {QStringLiteral("drop-overlay%1").arg(suffix), scheme, {900, 600}, [](QWidget* host) {
                 auto* overlay = new ui::DropOverlay(host);
                 overlay->setGeometry(0, 0, 900, 600);
                 return overlay;
             }});
        list.push_back({QStringLiteral("orphans-list%1").arg(suffix),
                        scheme,
                        {960, 720},
                        [&controller](QWidget* host) {
                            return orphansHost(host, controller, OrphanState::list);
                        }});
        list.push_back({QStringLiteral("developer-disk-usage%1").arg(suffix),
                        scheme,
                        {960, 720},
                        [&controller](QWidget* host) {
                            return developerView(host, controller, core::DeveloperTab::footprint);
                        }});
        list.push_back({QStringLiteral("developer-packages-failed%1").arg(suffix),
                        scheme,
                        {960, 720},
                        [&controller](QWidget* host) {
                            return developerView(host, controller, core::DeveloperTab::packages,
                                                 testsupport::packageResultSample(true));
                        }});
        list.push_back({QStringLiteral("badges-and-pills%1").arg(suffix),
                        scheme,
                        {520, 560},
                        [](QWidget* host) { return gallery(host); }});
    }
    const std::pair<QString, OrphanState> orphanStates[] = {
        {QStringLiteral("orphans-not-scanned"), OrphanState::notScanned},
        {QStringLiteral("orphans-scanning"), OrphanState::scanning},
        {QStringLiteral("orphans-nothing-found"), OrphanState::nothingFound},
    };
    for (const auto& [name, state] : orphanStates)
        list.push_back({name, ColorScheme::light, {900, 640}, [&controller, state](QWidget* host) {
                            return orphansHost(host, controller, state);
                        }});
    list.push_back({QStringLiteral("developer-map"),
                    ColorScheme::light,
                    {960, 720},
                    [&controller](QWidget* host) {
                        return developerView(host, controller, core::DeveloperTab::map);
                    }});
    list.push_back({QStringLiteral("developer-packages-uninstalled"),
                    ColorScheme::light,
                    {960, 720},
                    [&controller](QWidget* host) {
                        return developerView(host, controller, core::DeveloperTab::packages,
                                             testsupport::packageResultSample(false));
                    }});
    list.push_back({QStringLiteral("developer-package-dialog"),
                    ColorScheme::light,
                    {},
                    [&controller](QWidget* host) -> QWidget* {
                        auto* view = developerView(host, controller, core::DeveloperTab::packages);
                        child<ui::DestructiveButton>(view, "uninstallButton")->click();
                        return child<QMessageBox>(view, "packageDialog");
                    }});
    list.push_back({QStringLiteral("developer-trash-dialog"),
                    ColorScheme::light,
                    {},
                    [&controller](QWidget* host) -> QWidget* {
                        auto* view = developerView(host, controller, core::DeveloperTab::footprint);
                        child<ui::DestructiveButton>(view, "moveButton")->click();
                        return child<QMessageBox>(view, "toolchainDialog");
                    }});
    list.push_back({QStringLiteral("orphans-review"),
                    ColorScheme::light,
                    {540, 400},
                    [&controller](QWidget* host) { return orphanReviewHost(host, controller); }});
    for (bool helper : {false, true})
        list.push_back({helper ? QStringLiteral("admin-escalation-helper")
                               : QStringLiteral("admin-escalation-password"),
                        ColorScheme::light,
                        {540, 300},
                        [&controller, helper](QWidget* host) {
                            controller::AdminEscalationRequest request;
                            request.items =
                                items({"/Library/Application Support/Quill",
                                       "/Library/LaunchDaemons/com.quill.helper.plist",
                                       "/Library/PrivilegedHelperTools/com.quill.helper"});
                            request.usesHelper = helper;
                            return sheetHost(host, new ui::AdminEscalationSheet(
                                                       request, *controller.model, {}, {}, host));
                        }});
    for (int count : {1, 3})
        list.push_back({QStringLiteral("app-management-%1").arg(count),
                        ColorScheme::light,
                        {560, 300},
                        [count](QWidget* host) {
                            controller::AppManagementPrompt prompt;
                            const std::vector<std::string> apps{"/Applications/Quill.app",
                                                                "/Applications/Inkwell.app",
                                                                "/Applications/Margins.app"};
                            prompt.items = items({apps.begin(), apps.begin() + count});
                            prompt.usesHelper = count == 3;
                            return sheetHost(host, new ui::AppManagementSheet(prompt, {}, host));
                        }});
    for (bool expanded : {false, true})
        list.push_back(
            {expanded ? QStringLiteral("cask-failure-output") : QStringLiteral("cask-failure"),
             ColorScheme::light,
             {560, 300},
             [expanded](QWidget* host) {
                 auto* sheet = new ui::CaskFailureSheet(tourCaskFailure(), {}, host);
                 if (expanded)
                     child<QToolButton>(sheet, "outputDisclosure")->click();
                 return sheetHost(host, sheet);
             }});
    list.push_back(
        {QStringLiteral("welcome"), ColorScheme::light, {720, 760}, [&controller](QWidget* host) {
             controller.stats->setTotalItemsRemoved(0);
             controller.model->setIsScanningApps(false);
             auto* view = new ui::WelcomeView(controller.model.get(), host);
             (new QVBoxLayout(host))->addWidget(view);
             return view;
         }});
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark})
        list.push_back({scheme == ColorScheme::dark ? QStringLiteral("welcome-statistics-dark")
                                                    : QStringLiteral("welcome-statistics"),
                        scheme,
                        {720, 860},
                        [&controller](QWidget* host) {
                            controller.stats->setTotalBytesReclaimed(12'480'000'000);
                            controller.stats->setTotalItemsRemoved(1342);
                            controller.stats->setTotalAppsCleaned(27);
                            controller.model->setIsScanningApps(true);
                            auto* view = new ui::WelcomeView(controller.model.get(), host);
                            (new QVBoxLayout(host))->addWidget(view);
                            return view;
                        }});
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const QString suffix = scheme == ColorScheme::dark ? QStringLiteral("-dark") : QString();
        for (const bool checked : {false, true})
            list.push_back({QStringLiteral("updates-tab%1%2")
                                .arg(checked ? QStringLiteral("-last-checked") : QString(), suffix),
                            scheme,
                            {560, 330},
                            [checked, suffix](QWidget* host) {
                                std::optional<QDateTime> last;
                                if (checked)
                                    last = QDateTime(QDate(2026, 3, 9), QTime(14, 5));
                                auto updater = tourUpdater(QStringLiteral("updates%1").arg(suffix),
                                                           last, host);
                                auto* tab = new ui::UpdatesSettingsTab(*updater.release(),
                                                                       tourBundleInfo(), host);
                                (new QVBoxLayout(host))->addWidget(tab);
                                return tab;
                            }});
    }
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const QString suffix = scheme == ColorScheme::dark ? QStringLiteral("-dark") : QString();
        list.push_back(
            {QStringLiteral("main-window-welcome%1").arg(suffix),
             scheme,
             {},
             [&shell](QWidget* host) { return mainWindow(host, shell, [](ui::MainWindow&) {}); }});
        list.push_back({QStringLiteral("main-window-notices%1").arg(suffix),
                        scheme,
                        {},
                        [&shell](QWidget* host) {
                            return mainWindow(host, shell, [&shell](ui::MainWindow&) {
                                shell.model().setDropNotice(std::string(
                                    "Only “Quill” was opened. Select several apps in the sidebar "
                                    "with ⌘-click to remove them together."));
                                shell.model().setTrashNotices(
                                    {tourTrashNotice(), tourTrashNotice(), tourTrashNotice()});
                            });
                        }});
        list.push_back(
            {QStringLiteral("main-window-drop%1").arg(suffix), scheme, {}, [&shell](QWidget* host) {
                 return mainWindow(host, shell, [](ui::MainWindow& window) {
                     QMimeData data;
                     data.setUrls({QUrl::fromLocalFile(QStringLiteral("/x/Quill.app"))});
                     QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton,
                                           Qt::NoModifier);
                     QApplication::sendEvent(child<ui::ContentView>(window, "contentView"), &enter);
                 });
             }});
        list.push_back({QStringLiteral("main-window-result%1").arg(suffix),
                        scheme,
                        {},
                        [&shell](QWidget* host) {
                            return mainWindow(host, shell, [&shell](ui::MainWindow&) {
                                shell.model().setLastOutcome(
                                    testsupport::bannerGallery().front().outcome);
                                shell.model().setShowResultBanner(true);
                            });
                        }});
    }
    list.push_back(
        {QStringLiteral("main-window-orphans"), ColorScheme::light, {}, [&shell](QWidget* host) {
             return mainWindow(host, shell, [&shell](ui::MainWindow& window) {
                 controller::UninstallViewModel& model = shell.model();
                 model.setOrphanResult(
                     testsupport::orphanGallery(platform::homeDirectory().path()));
                 model.setHasScannedOrphans(true);
                 model.setIsScanningOrphans(false);
                 model.setSelectedOrphanIDs({});
                 model.setSelectedAppIDs({"veldo://orphans"});
                 window.resize(1100, 760);
             });
         }});
    list.push_back({QStringLiteral("update-up-to-date"), ColorScheme::light, {}, [](QWidget* host) {
                        return driverBox(host, [](ui::MessageBoxUserDriver& driver) {
                            driver.showUpToDate(QStringLiteral("1.4"));
                        });
                    }});
    list.push_back({QStringLiteral("update-found"), ColorScheme::light, {}, [](QWidget* host) {
                        return driverBox(host, [](ui::MessageBoxUserDriver& driver) {
                            driver.showUpdateFound({QStringLiteral("28"), QStringLiteral("1.5"),
                                                    QStringLiteral("https://orbelkan.com/veldo")},
                                                   QStringLiteral("1.4"));
                        });
                    }});
    list.push_back({QStringLiteral("update-error"), ColorScheme::light, {}, [](QWidget* host) {
                        return driverBox(host, [](ui::MessageBoxUserDriver& driver) {
                            driver.showUpdaterError(QString::fromUtf8(
                                "The update feed couldn\u2019t be read: the server answered 404."));
                        });
                    }});
    using controller::SettingsTab;
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const QString suffix = scheme == ColorScheme::dark ? QStringLiteral("-dark") : QString();
        list.push_back({QStringLiteral("settings-general%1").arg(suffix),
                        scheme,
                        {560, 560},
                        [&controller](QWidget* host) {
                            controller.stats->setTotalBytesReclaimed(12'480'000'000);
                            controller.stats->setTotalItemsRemoved(12345);
                            controller.stats->setTotalAppsCleaned(27);
                            return settingsHost(host, controller, SettingsTab::general);
                        }});
        list.push_back({QStringLiteral("settings-permissions-trash-warning%1").arg(suffix),
                        scheme,
                        {560, 560},
                        [&controller](QWidget* host) {
                            controller.model->setCanReadTrash(false);
                            return settingsHost(host, controller, SettingsTab::permissions);
                        }});
    }
    list.push_back({QStringLiteral("settings-permissions"),
                    ColorScheme::light,
                    {560, 560},
                    [&controller](QWidget* host) {
                        controller.model->setCanReadTrash(true);
                        return settingsHost(host, controller, SettingsTab::permissions);
                    }});
    list.push_back({QStringLiteral("settings-updates"),
                    ColorScheme::light,
                    {560, 560},
                    [&controller](QWidget* host) {
                        return settingsHost(host, controller, SettingsTab::updates);
                    }});
    list.push_back({QStringLiteral("settings-reset-confirmation"),
                    ColorScheme::light,
                    {},
                    [&controller](QWidget* host) -> QWidget* {
                        controller.stats->setTotalItemsRemoved(12345);
                        auto* view = static_cast<ui::PreferencesView*>(
                            settingsHost(host, controller, SettingsTab::general));
                        auto* tab = child<ui::GeneralSettingsTab>(view, "general");
                        child<QPushButton>(tab, "resetButton")->click();
                        auto* box = child<QMessageBox>(tab, "resetConfirmation");
                        if (box)
                            box->setPalette(host->palette());
                        return box;
                    }});
    using removal::PrivilegedHelperStatus;
    struct AdministratorState
    {
        const char* name;
        platform::ServiceStatusValue service;
        bool use;
        bool working;
        std::optional<std::string> error;
    };
    const AdministratorState administratorStates[] = {
        {"off", platform::kServiceNotRegistered, false, false, std::nullopt},
        {"working", platform::kServiceNotRegistered, true, true, std::nullopt},
        {"waiting", platform::kServiceRequiresApproval, true, false, std::nullopt},
        {"not-responding", platform::kServiceEnabled, true, false, std::nullopt},
        {"missing-error", platform::kServiceNotFound, true, false,
         "The operation couldn\u2019t be completed. The helper\u2019s property list is missing "
         "from the application bundle, so the service manager cannot register it.\nReinstall "
         "Veldo and try again."},
    };
    for (const AdministratorState& state : administratorStates)
        list.push_back({QStringLiteral("settings-administrator-%1").arg(state.name),
                        ColorScheme::light,
                        {560, 560},
                        [&controller, state](QWidget* host) {
                            controller.settings->setUsePrivilegedHelper(state.use);
                            return settingsHost(
                                host, controller, SettingsTab::administrator, state.service,
                                [&state](removal::PrivilegedHelperClient& client) {
                                    // An enabled helper that never answers: no helper
                                    // runs in the tour's Mac.
                                    if (state.service == platform::kServiceEnabled)
                                        client.applyRefresh(
                                            {PrivilegedHelperStatus::enabled, std::nullopt, "27"});
                                    client.setLastError(state.error);
                                    client.setIsWorking(state.working);
                                });
                        }});
    for (bool end : {false, true})
        list.push_back({end ? QStringLiteral("help-end") : QStringLiteral("help"),
                        ColorScheme::light, ui::HelpView::defaultSize(),
                        [end](QWidget* host) { return helpHost(host, end); }});
    for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark})
        list.push_back(
            {scheme == ColorScheme::dark ? QStringLiteral("batch-dark") : QStringLiteral("batch"),
             scheme,
             {900, 600},
             [&controller](QWidget* host) { return batchHost(host, controller); }});
    list.push_back({QStringLiteral("batch-confirmation"),
                    ColorScheme::light,
                    {},
                    [&controller](QWidget* host) -> QWidget* {
                        auto* view = static_cast<ui::BatchDetailView*>(batchHost(host, controller));
                        child<QPushButton>(view, "removeButton")->click();
                        QMessageBox* box = child<QMessageBox>(view, "removeConfirmation");
                        if (box)
                            box->setPalette(host->palette());
                        return box;
                    }});
    const char* const menus[] = {"veldo", "file", "edit", "view", "window", "help"};
    for (int i = 0; i < 6; ++i)
        list.push_back({QStringLiteral("menu-%1").arg(menus[i]),
                        ColorScheme::light,
                        {},
                        [&shell, i](QWidget* host) { return openMenu(host, shell, i); }});
    appendSidebarShots(list, controller);
    appendDetailShots(list, controller);
    appendWindowWidthShots(list, controller, shell);
    // Last: it leaves the Mac's own apps, Apple's included, on the shared controller.
    list.push_back(
        {QStringLiteral("main-window-apple-app"), ColorScheme::light, {}, [&shell](QWidget* host) {
             return appleAppWindow(host, shell);
         }});
    return list;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: veldo_tour MAC_ROOT OUTPUT_FOLDER\n");
        return 2;
    }
    const QString root = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString out = QString::fromLocal8Bit(argv[2]);
    if (!QFileInfo(root).isDir() || !QDir().mkpath(out)) {
        std::fprintf(stderr, "veldo_tour: %s is no folder, or %s cannot be made\n", argv[1],
                     argv[2]);
        return 2;
    }
    qputenv("VELDO_MAC_ROOT", root.toLocal8Bit());
    // A test run: nothing here makes the process's own updater.
    std::vector<char*> arguments(argv, argv + argc);
    char testRun[] = "-VeldoUITesting";
    arguments.push_back(testRun);
    int count = static_cast<int>(arguments.size());
    QApplication app(count, arguments.data());
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    ui::setAnimationsEnabled(false);

    testsupport::UiController controller;
    ui::AppShell::Options shellOptions;
    shellOptions.quit = [] {};
    ui::AppShell shell(*controller.model, {}, ui::WindowContent::standard(), shellOptions);
    int failures = 0;
    for (const Shot& shot : shots(controller, shell)) {
        QWidget host;
        host.setAttribute(Qt::WA_DontShowOnScreen, false);
        host.setPalette(ui::SystemColors::palette(shot.scheme));
        host.setAutoFillBackground(true);
        QWidget* view = shot.make(&host);
        host.resize(shot.size.expandedTo(host.sizeHint()));
        host.show();
        QApplication::processEvents();
        // Wrapped texts settle their height once laid out at their real width.
        host.resize(host.size().expandedTo(host.sizeHint()));
        QApplication::processEvents();
        // A dialog is its own window: the picture is the dialog.
        const QImage image = (view && view->isWindow() ? view->grab() : host.grab()).toImage();
        if (view && view->isWindow())
            view->hide();
        host.hide();
        const QString file = QDir(out).filePath(shot.name + QStringLiteral(".png"));
        if (isBlank(image)) {
            std::fprintf(stderr, "veldo_tour: %s is blank\n", qPrintable(shot.name));
            ++failures;
        } else if (!image.save(file)) {
            std::fprintf(stderr, "veldo_tour: cannot write %s\n", qPrintable(file));
            ++failures;
        } else {
            std::printf("%s\n", qPrintable(file));
        }
    }
    return failures == 0 ? 0 : 1;
}
