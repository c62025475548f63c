// The tool screens over the real scanners and the real removal on a fake Mac: scan, select,
// confirm, move to the Trash, and Undo puts everything back.
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QThreadPool>

#include "app/controller/UninstallViewModel.h"
#include "app/core/CleanupSettings.h"
#include "app/core/CleanupStats.h"
#include "app/scanners/OrphanScanner.h"
#include "app/ui/DeveloperView.h"
#include "app/ui/OrphanFilesView.h"
#include "app/ui/OrphanReviewSheet.h"
#include "app/ui/ToolScreenParts.h"
#include "tests/support/FakeMac.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/ShownWindows.h"

namespace veldo::ui {

using testsupport::child;
using testsupport::shownDialog;
namespace {

using namespace std::chrono_literals;
using platform::MacPath;

class ToolScreensIntegration : public testing::Test
{
protected:
    ToolScreensIntegration()
    {
        m_defaults = std::make_shared<platform::UserDefaults>(
            m_mac.home().appendingPathComponent("Library/Preferences/veldo-ui.plist"));
        controller::ControllerServices services;
        // The real orphan scanner, over this fake Mac with nothing installed or loaded.
        services.orphanScan = [this](const std::optional<std::vector<core::InstalledApp>>&,
                                     std::stop_token stop) {
            scanners::OrphanScanEnvironment env;
            env.home = m_mac.home();
            env.systemLibrary = MacPath("/Library");
            env.loadedLaunchdLabels = std::unordered_set<std::string>{};
            env.isRegisteredWithLaunchServices = [](std::string_view) { return false; };
            env.isCommandInstalled = [](std::string_view) { return false; };
            env.protectedBundles = {MacPath("/Applications/Veldo.app")};
            env.now = std::chrono::system_clock::now();
            return scanners::OrphanScanner::scan(std::move(env), stop);
        };
        m_model = std::make_unique<controller::UninstallViewModel>(
            std::make_shared<core::CleanupSettings>(m_defaults),
            std::make_shared<core::CleanupStats>(m_defaults), m_defaults, services);
    }

    ~ToolScreensIntegration() override
    {
        m_pool.waitForDone();
        m_model->shutdown();
    }

    MacPath file(const std::string& homeRelative, std::size_t bytes)
    {
        return m_mac.write(m_mac.home().appendingPathComponent(homeRelative),
                           std::string(bytes, 'x'));
    }

    bool exists(const MacPath& path) const
    {
        return std::filesystem::exists(std::filesystem::symlink_status(m_mac.host(path)));
    }

    // Makes everything under the home folder 40 days old.
    void ageHome() const
    {
        const auto when = std::chrono::system_clock::now() - 40 * 24h;
        const auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
        const struct timespec times[2] = {
            {0, UTIME_OMIT},
            {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)}};
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(m_mac.host(m_mac.home())))
            ASSERT_EQ(::utimensat(AT_FDCWD, entry.path().c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
    }

    void undo()
    {
        m_model->undoLastRemoval().detach();
        QTRY_VERIFY_WITH_TIMEOUT(!m_model->isUndoing(), 10'000);
    }

    testsupport::FakeMac m_mac;
    std::shared_ptr<platform::UserDefaults> m_defaults;
    std::unique_ptr<controller::UninstallViewModel> m_model;
    QThreadPool m_pool;
};

TEST_F(ToolScreensIntegration, OrphansOfTwoFormerAppsGoToTheTrashAndUndoBringsThemBack)
{
    const std::vector<MacPath> orphans = {
        file("Library/Application Support/com.former.writer/data", 40'960),
        file("Library/Caches/com.former.writer/blob", 16'384),
        file("Library/Preferences/com.former.painter.plist", 4'096),
    };
    ageHome();
    const std::vector<MacPath> items = {orphans[0].deletingLastPathComponent(),
                                        orphans[1].deletingLastPathComponent(), orphans[2]};

    OrphanFilesView view(m_model.get(), &m_pool,
                         [] { return core::SystemSettings::FullDiskAccessStatus::granted; });
    view.resize(900, 640);
    view.show();
    child<QPushButton>(view, "scanButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_model->hasScannedOrphans() && !m_model->isScanningOrphans(), 10'000);
    ASSERT_EQ(m_model->orphanResult().groups.size(), 2u);

    child<QPushButton>(view, "selectSuggestedButton")->click();
    ASSERT_EQ(m_model->selectedOrphanIDs(),
              (controller::IdSet{items[0].path(), items[1].path(), items[2].path()}));
    child<DestructiveButton>(view, "reviewButton")->click();
    OrphanReviewSheet* review = shownDialog<OrphanReviewSheet>(&view, "reviewSheet");
    ASSERT_TRUE(review);
    EXPECT_EQ(child<QLabel>(review, "countLabel")->text(), "3 items selected");
    child<QPushButton>(review, "confirmButton")->click();
    EXPECT_FALSE(shownDialog<OrphanReviewSheet>(&view, "reviewSheet"));
    QTRY_VERIFY_WITH_TIMEOUT(!m_model->isRemoving(), 10'000);
    for (const MacPath& item : items)
        EXPECT_FALSE(exists(item)) << item.path();
    EXPECT_TRUE(m_model->orphanResult().groups.empty());
    EXPECT_EQ(child<QStackedWidget>(view, "contentPages")->currentWidget()->objectName(),
              "nothingFoundView");

    undo();
    for (const MacPath& orphan : orphans)
        EXPECT_TRUE(exists(orphan)) << orphan.path();
}

TEST_F(ToolScreensIntegration, DeveloperCachesGoToTheTrashAndUndoBringsThemBack)
{
    const std::vector<MacPath> caches = {
        file(".npm/_cacache/content/blob", 2'000'000),
        file(".gradle/caches/modules/blob", 3'000'000),
    };
    DeveloperView view(m_model.get());
    view.resize(960, 720);
    view.show(); // measures once shown
    QTRY_VERIFY_WITH_TIMEOUT(m_model->hasScannedDeveloper() && !m_model->isScanningDeveloper(),
                             10'000);
    ASSERT_EQ(m_model->toolchainGroups().size(), 2u);

    m_model->setSelectedToolchainIDs({});
    EXPECT_EQ(child<QPushButton>(view, "toolchainSelectAll")->text(), "Select All");
    child<QPushButton>(view, "toolchainSelectAll")->click();
    EXPECT_EQ(child<QPushButton>(view, "toolchainSelectAll")->text(), "Deselect All");
    child<DestructiveButton>(view, "moveButton")->click();
    auto* dialog = child<QMessageBox>(view, "toolchainDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->text(), "Move 2 items (5 MB) to the Trash?");
    EXPECT_EQ(dialog->informativeText(), "You can undo this with Edit ▸ Undo Last Cleanup. Space "
                                         "is freed once you empty the Trash.");
    QAbstractButton* move = nullptr;
    for (QAbstractButton* button : dialog->buttons())
        if (button->text() == "Move to Trash")
            move = button;
    ASSERT_NE(move, nullptr);
    move->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_model->isRemoving(), 10'000);
    for (const MacPath& cache : caches)
        EXPECT_FALSE(exists(cache)) << cache.path();

    undo();
    for (const MacPath& cache : caches)
        EXPECT_TRUE(exists(cache)) << cache.path();
}

} // namespace
} // namespace veldo::ui
