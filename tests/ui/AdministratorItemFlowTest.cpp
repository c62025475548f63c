// The key flow with an item the user's own account can't move, end to end as an ordinary user:
// root builds a fake Mac whose app leaves a file in a folder only root can write, then a child
// that dropped to a test user opens the main window over the real controller and Trash executor,
// picks the app, reviews, confirms the administrator sheet and cancels the stand-in password
// dialog. Root then checks what moved. The child makes its own QApplication after dropping
// root, so this file has no Qt application of its own.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "app/controller/UninstallViewModel.h"
#include "app/ui/AdminEscalationSheet.h"
#include "app/ui/AppDetailView.h"
#include "app/ui/ContentView.h"
#include "app/ui/LeftoverListModel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/RemovalReviewSheet.h"
#include "app/ui/ResultBanner.h"
#include "app/ui/SpringAnimation.h"
#include "base/ScopeGuard.h"
#include "tests/support/FakeMac.h"
#include "tests/support/StandInOsascript.h"
#include "tests/support/TestUsers.h"
#include "tests/support/Unprivileged.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/ReviewRows.h"
#include "tests/ui/ShellWindows.h"
#include "tests/ui/ShownWindows.h"

namespace veldo::ui {

using testsupport::child;
using testsupport::returnConfirms;
using testsupport::reviewRowTexts;
using testsupport::shownDialog;
namespace {

namespace fs = std::filesystem;
using platform::MacPath;

// What tells a path of the fake Mac apart from a changed one: the file it names, its owner and
// mode, and for all but folders (whose entries come and go) its size and modification time.
struct Entry
{
    ino_t inode = 0;
    uid_t owner = 0;
    mode_t mode = 0;
    off_t size = 0;
    std::int64_t modified = 0; // nanoseconds
    bool operator==(const Entry&) const = default;
};

// Every path under the Mac root, by Mac path, leaving out the Trash of `home`, what Veldo keeps
// for itself and the stand-in osascript's logs.
std::map<std::string, Entry> manifest(const testsupport::FakeMac& mac, const MacPath& home)
{
    const std::string trash = home.appendingPathComponent(".Trash").path();
    const std::string control = testsupport::StandInOsascript::controlFolder().path();
    std::map<std::string, Entry> entries;
    for (const auto& entry : fs::recursive_directory_iterator(mac.root())) {
        const std::string path = "/" + fs::relative(entry.path(), mac.root()).string();
        if (path.starts_with(trash) || path.starts_with(control) ||
            path.find("Preferences/veldo") != std::string::npos ||
            path.find("Application Support/Veldo") != std::string::npos)
            continue;
        struct stat status
        {
        };
        if (::lstat(entry.path().c_str(), &status) != 0)
            continue;
        Entry e{status.st_ino, status.st_uid, status.st_mode};
        if (!S_ISDIR(status.st_mode)) {
            e.size = status.st_size;
            e.modified = status.st_mtim.tv_sec * 1'000'000'000 + status.st_mtim.tv_nsec;
        }
        entries[path] = e;
    }
    return entries;
}

// Gives `path` and everything below it to `user`.
void giveTo(const testsupport::FakeMac& mac, const MacPath& path, const testsupport::TestUser& user)
{
    const std::string top = mac.host(path);
    ASSERT_EQ(::lchown(top.c_str(), user.uid(), user.gid()), 0) << top;
    for (const auto& entry : fs::recursive_directory_iterator(top))
        ASSERT_EQ(::lchown(entry.path().c_str(), user.uid(), user.gid()), 0) << entry.path();
}

struct Flow
{
    std::string runtimeFolder; // the child's XDG_RUNTIME_DIR
    MacPath app;
    MacPath adminItem;
    std::vector<MacPath> ordinaryItems;
};

// The window part, in the child that runs as the test user.
void driveWindow(const Flow& flow)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(flow.runtimeFolder));
    char program[] = "ui_user_tests";
    char testRun[] = "-VeldoUITesting";
    char* arguments[] = {program, testRun, nullptr};
    int count = 2;
    QApplication application(count, arguments);
    setAnimationsEnabled(false);

    ShellWindows windows;
    controller::UninstallViewModel& model = windows.model();
    QPointer<QWidget> window = windows.open();
    ASSERT_TRUE(window);
    ASSERT_TRUE(windows.waitForApps(1));
    AppDetailView* detail = windows.showApp(window, flow.app.path());
    ASSERT_NE(detail, nullptr);

    // Every item is listed; the default selection leaves out only the administrator item, which
    // the user ticks with Space on its row.
    std::set<std::string> listed;
    for (const core::LeftoverItem& item : model.leftovers()) {
        listed.insert(item.url.path());
        EXPECT_EQ(item.requiresAdmin, item.url == flow.adminItem) << item.url.path();
        EXPECT_EQ(model.selectedLeftoverIDs().contains(item.id()), item.url != flow.adminItem)
            << item.url.path();
    }
    std::set<std::string> expected{flow.app.path(), flow.adminItem.path()};
    for (const MacPath& item : flow.ordinaryItems)
        expected.insert(item.path());
    ASSERT_EQ(listed, expected);
    QListView* list = child<RowListView>(detail, "leftoverList");
    int adminRow = -1;
    for (int r = 0; r < child<LeftoverListModel>(detail, "leftoverModel")->rowCount(); ++r)
        if (const core::LeftoverItem* i =
                child<LeftoverListModel>(detail, "leftoverModel")->itemAt(r);
            i && i->url == flow.adminItem)
            adminRow = r;
    ASSERT_GE(adminRow, 0);
    list->setFocus();
    list->setCurrentIndex(child<LeftoverListModel>(detail, "leftoverModel")->index(adminRow));
    QTest::keyClick(list, Qt::Key_Space);
    ASSERT_EQ(model.selectedLeftoverIDs().size(), expected.size());

    ASSERT_EQ(child<QPushButton>(detail, "primaryButton")->accessibleName(),
              QStringLiteral("Review & Move to Trash"));
    child<QPushButton>(detail, "primaryButton")->click();
    auto* review = shownDialog<RemovalReviewSheet>(detail, "reviewSheet");
    ASSERT_NE(review, nullptr);
    EXPECT_TRUE(reviewRowTexts(review).contains(
        QStringLiteral("1 item will need your administrator password")))
        << reviewRowTexts(review).join(QStringLiteral(" | ")).toStdString();
    EXPECT_FALSE(returnConfirms(review)) << "an administrator item takes a click";
    child<QPushButton>(review, "confirmButton")->click();

    // The items the account can't move come back as the administrator confirmation.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return shownDialog<AdminEscalationSheet>(window.data(), "adminSheet") != nullptr; },
        20'000));
    AdminEscalationSheet* confirm = shownDialog<AdminEscalationSheet>(window.data(), "adminSheet");
    EXPECT_EQ(confirm->title(), QStringLiteral("Administrator Password Needed"));
    ASSERT_EQ(confirm->request().items.size(), 1u);
    EXPECT_EQ(confirm->request().items.front().url, flow.adminItem);
    EXPECT_FALSE(model.showResultBanner()) << "nothing is reported before the answer";
    child<QPushButton>(confirm, "continueButton")->click();

    // The stand-in password dialog is cancelled.
    auto* content = child<ContentView>(static_cast<MainWindow*>(window.data()), "contentView");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.showResultBanner(); }, 20'000));
    ResultBanner* banner = child<ResultBanner>(content, "resultBanner");
    ASSERT_TRUE(QTest::qWaitFor([&] { return banner->isVisible(); }));
    EXPECT_EQ(child<QLabel>(banner, "titleLabel")->text(), QStringLiteral("Partly Removed"));
    EXPECT_TRUE(child<QPushButton>(banner, "revealButton")->isVisible());
    ASSERT_TRUE(model.lastOutcome());
    const removal::UninstallOutcome& outcome = *model.lastOutcome();
    ASSERT_EQ(outcome.failed.size(), 1u);
    EXPECT_EQ(outcome.failed.front().item.url, flow.adminItem);
    EXPECT_EQ(outcome.failed.front().message, "Administrator authorization was cancelled.");
    EXPECT_EQ(outcome.trashed.size(), expected.size() - 1);
}

TEST(AdministratorItemFlow, CancellingThePasswordDialogLeavesTheItemAndReadsPartlyRemoved)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a test user and files that user can't move";
    testsupport::FakeMac mac;
    if (!testsupport::unprivilegedCanSearch(mac.root()))
        GTEST_SKIP() << "the temporary folder is closed to other users; set TMPDIR to a "
                        "world-searchable folder to run this test";
    std::optional<testsupport::TestUser> user = testsupport::TestUser::make();
    ASSERT_TRUE(user) << "useradd failed";
    testsupport::StandInOsascript osascript(mac);
    osascript.setCancels();
    // The stand-in logs each run in its control folder, which the user's osascript writes to.
    ASSERT_EQ(::chown(mac.host(testsupport::StandInOsascript::controlFolder()).c_str(), user->uid(),
                      user->gid()),
              0);

    const MacPath home = user->homeIn(mac);
    const MacPath library = home.appendingPathComponent("Library");
    Flow flow;
    flow.app = home.appendingPathComponent("Applications/Quill.app");
    mac.makeApp(flow.app, platform::PlistValue::Dictionary{
                              {"CFBundleIdentifier", std::string("com.example.Quill")},
                              {"CFBundleName", std::string("Quill")}});
    flow.ordinaryItems = {
        mac.write(library.appendingPathComponent("Application Support/com.example.Quill/data.db"),
                  "data")
            .deletingLastPathComponent(),
        mac.write(library.appendingPathComponent("Caches/com.example.Quill/cache.bin"), "cache")
            .deletingLastPathComponent(),
        mac.write(library.appendingPathComponent("Preferences/com.example.Quill.plist"), "prefs"),
    };
    ASSERT_NO_FATAL_FAILURE(giveTo(mac, home, *user));
    // Root's, in root's /Library: the user can read it but not move it.
    flow.adminItem =
        mac.write(MacPath("/Library/Application Support/com.example.Quill/shared.db"), "shared")
            .deletingLastPathComponent();
    const auto before = manifest(mac, home);
    // Qt's runtime folder for the user, outside the Mac and gone with the test.
    std::string runtime = (fs::temp_directory_path() / "veldo-runtime-XXXXXX").string();
    ASSERT_NE(::mkdtemp(runtime.data()), nullptr);
    flow.runtimeFolder = runtime;
    const base::ScopeGuard removeRuntime([&] {
        std::error_code ignored;
        fs::remove_all(runtime, ignored);
    });
    ASSERT_EQ(::chown(runtime.c_str(), user->uid(), user->gid()), 0);

    const int status = user->run([&] {
        driveWindow(flow);
        std::fflush(stdout);
        return testing::Test::HasFailure() ? 1 : 0;
    });
    ASSERT_EQ(status, 0) << "the window part failed (its failures are printed above)";

    // The ordinary items are in the user's Trash (two folders share a name there, so by their
    // files), the administrator item where it was.
    const std::string trash = mac.host(home.appendingPathComponent(".Trash"));
    std::map<std::string, std::string> trashed;
    for (const auto& entry : fs::recursive_directory_iterator(trash)) {
        if (entry.is_regular_file())
            trashed[entry.path().filename().string()] =
                mac.contents(MacPath(home.appendingPathComponent(".Trash").path() + "/" +
                                     fs::relative(entry.path(), trash).string()));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(trash), fs::directory_iterator()), 4);
    EXPECT_EQ(trashed["data.db"], "data");
    EXPECT_EQ(trashed["cache.bin"], "cache");
    EXPECT_EQ(trashed["com.example.Quill.plist"], "prefs");
    EXPECT_TRUE(trashed.contains("Info.plist"));
    EXPECT_EQ(mac.contents(flow.adminItem.appendingPathComponent("shared.db")), "shared");

    // Nothing else changed.
    auto expected = before;
    std::erase_if(expected, [&](const auto& entry) {
        for (const MacPath& moved :
             {flow.app, flow.ordinaryItems[0], flow.ordinaryItems[1], flow.ordinaryItems[2]}) {
            if (entry.first == moved.path() || entry.first.starts_with(moved.path() + "/"))
                return true;
        }
        return false;
    });
    const auto after = manifest(mac, home);
    for (const auto& [path, entry] : after) {
        if (!expected.contains(path))
            ADD_FAILURE() << "new: " << path;
        else if (expected.at(path) != entry)
            ADD_FAILURE() << "changed: " << path;
    }
    for (const auto& [path, entry] : expected)
        if (!after.contains(path))
            ADD_FAILURE() << "gone: " << path;
    // The password dialog was asked once; nothing ran behind it.
    EXPECT_EQ(osascript.prompts().size(), 1u);
}

} // namespace
} // namespace veldo::ui
