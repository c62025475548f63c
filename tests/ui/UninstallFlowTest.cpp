// The key flow end to end, in a main window over the real controller and the Trash executor on
// a fake Mac: pick the app in the sidebar, review, move to the Trash, undo.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AppDetailView.h"
#include "app/ui/AppListView.h"
#include "app/ui/ContentView.h"
#include "app/ui/DeveloperView.h"
#include "app/ui/MainWindow.h"
#include "app/ui/RemovalReviewSheet.h"
#include "app/ui/ResultBanner.h"
#include "app/ui/TrashedAppBanner.h"
#include "tests/support/FakeMac.h"
#include "tests/support/StandInBrew.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/ReviewRows.h"
#include "tests/ui/ShellWindows.h"
#include "tests/ui/ShownWindows.h"

namespace veldo::ui {

using testsupport::child;
using testsupport::reviewRowTexts;
using testsupport::shownDialog;
namespace {

using platform::MacPath;

// Every file and folder under `root` (a host folder) with its contents, by relative path.
std::map<std::string, std::string> manifest(const std::string& root)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        if (relative.find(".Trash") != std::string::npos ||
            relative.find("Preferences/veldo") != std::string::npos ||
            relative.find("Application Support/Veldo") != std::string::npos)
            continue;
        std::string contents;
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            contents.assign(std::istreambuf_iterator<char>(in), {});
        }
        files[relative] = contents;
    }
    return files;
}

TEST(UninstallFlow, PickReviewMoveToTrashThenUndoPutsEverythingBack)
{
    testsupport::FakeMac mac;
    const MacPath app("/Applications/Quill.app");
    mac.makeApp(app, platform::PlistValue::Dictionary{
                         {"CFBundleIdentifier", std::string("com.example.Quill")},
                         {"CFBundleName", std::string("Quill")}});
    const MacPath library = mac.home().appendingPathComponent("Library");
    mac.write(library.appendingPathComponent("Application Support/Quill/data.db"), "data");
    mac.write(library.appendingPathComponent("Caches/com.example.Quill/cache.bin"), "cache");
    mac.write(library.appendingPathComponent("Preferences/com.example.Quill.plist"), "prefs");
    const std::string home = mac.host(mac.home());
    const auto before = manifest(home);

    ShellWindows windows;
    controller::UninstallViewModel& model = windows.model();
    QPointer<QWidget> window = windows.open();
    ASSERT_TRUE(window);
    ASSERT_TRUE(windows.waitForApps(1));
    AppDetailView* detail = windows.showApp(window, app.path());
    ASSERT_NE(detail, nullptr);
    auto* sidebar = window->findChild<AppListView*>();
    ASSERT_NE(sidebar, nullptr);
    EXPECT_TRUE(child<QToolButton>(window, "reloadButton")->isVisible())
        << "the toolbar items sit in the toolbar";
    EXPECT_EQ(child<QStackedWidget>(detail, "contentPages")->currentWidget(),
              child<QWidget>(detail, "listPage"));
    EXPECT_FALSE(model.selectedLeftoverIDs().empty()) << "the default selection";
    const std::size_t selected = model.selectedLeftoverIDs().size();

    ASSERT_EQ(child<QPushButton>(detail, "primaryButton")->accessibleName(),
              QStringLiteral("Review & Move to Trash"));
    child<QPushButton>(detail, "primaryButton")->click();
    auto* sheet = shownDialog<RemovalReviewSheet>(detail, "reviewSheet");
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(reviewRowTexts(sheet).front(),
              QString::number(selected) + (selected == 1 ? QStringLiteral(" item selected")
                                                         : QStringLiteral(" items selected")));
    child<QPushButton>(sheet, "confirmButton")->click();

    auto* content = child<ContentView>(static_cast<MainWindow*>(window.data()), "contentView");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.showResultBanner(); }, 20'000));
    ResultBanner* banner = child<ResultBanner>(content, "resultBanner");
    ASSERT_TRUE(QTest::qWaitFor([&] { return banner->isVisible(); }));
    EXPECT_EQ(child<QLabel>(banner, "titleLabel")->text(), QStringLiteral("Moved to Trash"));
    EXPECT_NE(manifest(home), before);

    ASSERT_TRUE(child<QPushButton>(banner, "undoButton")->isVisible());
    child<QPushButton>(banner, "undoButton")->click();
    const bool settled =
        QTest::qWaitFor([&] { return !model.isUndoing() && !model.showResultBanner(); }, 20'000);
    for (const auto& f : model.lastUndoFailures())
        ADD_FAILURE() << "undo failure " << f.reason;
    for (const auto& [path, text] : manifest(home))
        if (!before.contains(path))
            ADD_FAILURE() << "extra " << path;
    for (const auto& [path, text] : before)
        if (!manifest(home).contains(path))
            ADD_FAILURE() << "missing " << path;
    ASSERT_TRUE(settled) << model.isUndoing() << model.showResultBanner();
    EXPECT_EQ(manifest(home), before) << "Undo put everything back";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !banner->isVisible(); }));
}

} // namespace
} // namespace veldo::ui

namespace veldo::ui {

using testsupport::child;
using testsupport::shownDialog;
namespace {

TEST(UninstallFlow, ASheetOverAppAClosesWhenAnotherWindowShowsAppBAndNothingIsRemoved)
{
    testsupport::FakeMac mac;
    for (const char* name : {"Quill", "Inkwell"}) {
        mac.makeApp(MacPath(std::string("/Applications/") + name + ".app"),
                    platform::PlistValue::Dictionary{
                        {"CFBundleIdentifier", std::string("com.example.") + name},
                        {"CFBundleName", std::string(name)}});
        mac.write(mac.home().appendingPathComponent(std::string("Library/Caches/com.example.") +
                                                    name + "/c"),
                  "cache");
    }
    const auto before = manifest(mac.host(mac.home()));
    ShellWindows windows;
    controller::UninstallViewModel& model = windows.model();
    QPointer<QWidget> first = windows.open();
    ASSERT_TRUE(windows.waitForApps(2));
    QPointer<QWidget> second = windows.open();

    QPointer<AppDetailView> detail = windows.showApp(first, "/Applications/Quill.app");
    ASSERT_TRUE(detail);
    child<QPushButton>(detail, "primaryButton")->click();
    QPointer<QDialog> sheet = shownDialog<QDialog>(detail.data(), "reviewSheet");
    ASSERT_TRUE(sheet);

    ShellWindows::clickApp(second, "/Applications/Inkwell.app");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sheet; }, 5'000)) << "the sheet went with A";
    ASSERT_TRUE(QTest::qWaitFor([&] {
        auto* shown = first->findChild<AppDetailView*>();
        return shown && shown->app().name == "Inkwell";
    }));
    EXPECT_FALSE(model.isRemoving());
    EXPECT_FALSE(model.lastOutcome());
    EXPECT_EQ(manifest(mac.host(mac.home())), before);
}

} // namespace
} // namespace veldo::ui

namespace veldo::ui {

using testsupport::child;
namespace {

using platform::MacPath;
using namespace std::chrono_literals;

TEST(UninstallFlow, ACaskUninstalledFromThePackageListIsOfferedForItsLeftoversAtOnce)
{
    testsupport::FakeMac mac;
    testsupport::StandInBrew brew(mac);
    const MacPath app("/Applications/Kestrel.app");
    mac.makeApp(app, platform::PlistValue::Dictionary{
                         {"CFBundleIdentifier", std::string("com.example.kestrel")},
                         {"CFBundleName", std::string("Kestrel")}});
    mac.mkdir(MacPath("/opt/homebrew/Caskroom/kestrel/3.0"));
    mac.write(MacPath("/opt/homebrew/Caskroom/kestrel/.metadata/3.0/20260601120000.000/Casks/"
                      "kestrel.rb"),
              "cask \"kestrel\" do\n  version \"3.0\"\n  app \"Kestrel.app\"\nend\n");
    const MacPath library = mac.home().appendingPathComponent("Library");
    mac.write(library.appendingPathComponent("Application Support/Kestrel/media.db"), "media");
    mac.write(library.appendingPathComponent("Caches/com.example.kestrel/cache.bin"), "cache");

    ShellWindows windows(ShellWindows::Library::watched);
    controller::UninstallViewModel& model = windows.model();
    QPointer<QWidget> window = windows.open();
    ASSERT_TRUE(window);
    ASSERT_TRUE(windows.waitForApps(1));
    model.setHasScannedPackages(true); // the one cask, not this machine's npm, pip and gem
    model.setPackageGroups({core::PackageGroup{
        core::PackageManagerKind::brewCask,
        {core::DevPackage{core::PackageManagerKind::brewCask, "kestrel", "3.0", 0}}}});
    model.selectApps({"veldo://developer"}).detach();
    model.setDeveloperTab(core::DeveloperTab::packages);
    model.selectAllPackages();
    DeveloperView* developer = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (developer = window->findChild<DeveloperView*>()); }));

    child<QPushButton>(developer, "uninstallButton")->click();
    auto* dialog = shownDialog<QMessageBox>(developer, "packageDialog");
    ASSERT_NE(dialog, nullptr);
    const QList<QAbstractButton*> buttons = dialog->buttons();
    const auto uninstall =
        std::ranges::find(buttons, QStringLiteral("Uninstall Permanently"), &QAbstractButton::text);
    ASSERT_NE(uninstall, buttons.end());
    const auto clicked = std::chrono::steady_clock::now();
    (*uninstall)->click();

    // Brew deletes the bundle; the watcher's notice is on screen, at its full height, within
    // its bound.
    auto* banner = child<TrashedAppBanner>(window, "trashedAppBanner");
    const auto shown = [&] {
        const QMargins shadow = banner->shadowMargins();
        return banner->isVisible() && banner->height() == banner->heightForWidth(banner->width()) &&
               banner->height() - shadow.top() - shadow.bottom() > banner->fontMetrics().height();
    };
    ASSERT_TRUE(QTest::qWaitFor(shown, 6'000));
    EXPECT_LE(std::chrono::steady_clock::now() - clicked, 6s);
    EXPECT_FALSE(std::filesystem::exists(mac.host(app)));
    EXPECT_EQ(child<QLabel>(banner, "promptLabel")->text(),
              QStringLiteral("“Kestrel” is no longer in Applications. Remove its leftovers too?"));
    ASSERT_EQ(model.trashNotices().size(), 1u);
    EXPECT_EQ(model.trashNotices()[0].itemCount, 2);
}

} // namespace
} // namespace veldo::ui

namespace veldo::ui {

using testsupport::child;
namespace {

using platform::MacPath;

// The Trash notice of an app that left /Applications without reaching the Trash.
controller::TrashedAppNotice leftApplications(const std::string& name, const std::string& bundleID)
{
    controller::TrashedAppNotice notice;
    notice.bundle = core::WatchedAppBundle{std::nullopt, MacPath("/Applications/" + name + ".app"),
                                           bundleID, name, std::nullopt};
    notice.id = "id:" + bundleID;
    notice.app.url = *notice.bundle.originalURL;
    notice.app.name = name;
    notice.app.bundleID = bundleID;
    notice.itemCount = 2;
    return notice;
}

TEST(UninstallFlow, AReviewedNoticeShowsAnAppBackAsInstalledAndOneStillGoneWithNothingTicked)
{
    testsupport::FakeMac mac;
    const MacPath library = mac.home().appendingPathComponent("Library");
    for (const std::string name : {"Quill", "Gone"}) {
        mac.write(library.appendingPathComponent("Application Support/" + name + "/data.db"), "d");
        mac.write(library.appendingPathComponent("Caches/com.example." + name + "/cache.bin"), "c");
    }
    const MacPath quill("/Applications/Quill.app");
    mac.makeApp(quill, platform::PlistValue::Dictionary{
                           {"CFBundleIdentifier", std::string("com.example.Quill")},
                           {"CFBundleName", std::string("Quill")}});

    ShellWindows windows;
    controller::UninstallViewModel& model = windows.model();
    QPointer<QWidget> window = windows.open();
    ASSERT_TRUE(window);
    ASSERT_TRUE(windows.waitForApps(1));
    const auto review = [&](const controller::TrashedAppNotice& notice) -> AppDetailView* {
        model.setTrashNotices({notice});
        child<QPushButton>(child<TrashedAppBanner>(window, "trashedAppBanner"), "reviewButton")
            ->click();
        AppDetailView* detail = nullptr;
        (void)QTest::qWaitFor([&] {
            detail = window->findChild<AppDetailView*>();
            return detail && detail->app().url == notice.app.url && !model.isScanningLeftovers() &&
                   !model.leftovers().empty();
        });
        return detail && detail->app().url == notice.app.url ? detail : nullptr;
    };
    const auto summary = [](AppDetailView* detail) {
        return child<QLabel>(detail, "summaryLabel")->text();
    };

    // Quill left Applications and came back before its notice was reviewed.
    AppDetailView* back = review(leftApplications("Quill", "com.example.Quill"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->findChild<QWidget*>("locationBannerView"), nullptr) << "installed";
    EXPECT_FALSE(summary(back).startsWith(QStringLiteral("0 selected")))
        << summary(back).toStdString();
    EXPECT_TRUE(child<QPushButton>(back, "primaryButton")->isEnabled());

    // Gone is still gone: nothing is ticked, and a rescan ticks nothing either.
    AppDetailView* gone = review(leftApplications("Gone", "com.example.Gone"));
    ASSERT_NE(gone, nullptr);
    auto* location = gone->findChild<QWidget*>("locationBannerView");
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(child<QLabel>(location, "titleLabel")->text(), QStringLiteral("App Not Found"));
    for (const bool rescanned : {false, true}) {
        EXPECT_EQ(summary(gone), QStringLiteral("0 selected · Zero KB")) << rescanned;
        EXPECT_FALSE(child<QPushButton>(gone, "primaryButton")->isEnabled()) << rescanned;
        if (rescanned)
            break;
        const QList<QAction*> actions =
            child<QToolButton>(gone, "moreActionsButton")->menu()->actions();
        const auto rescan = std::ranges::find(actions, QStringLiteral("Rescan"), &QAction::text);
        ASSERT_NE(rescan, actions.end());
        (*rescan)->trigger();
        ASSERT_TRUE(model.isScanningLeftovers());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isScanningLeftovers(); }));
        ASSERT_FALSE(model.leftovers().empty());
    }
}

} // namespace
} // namespace veldo::ui
