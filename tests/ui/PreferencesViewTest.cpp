// The Settings window's content: four tabs in order, bound both ways to the controller's
// settingsTab, a window titled by the current tab, a fixed frame, and the reset confirmation
// opened over it.
#include "app/ui/PreferencesView.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QThreadPool>

#include "app/ui/GeneralSettingsTab.h"
#include "app/ui/HelperClientRunner.h"
#include "app/ui/PermissionsSettingsTab.h"
#include "tests/support/FakeServiceManager.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/ShownWindows.h"
#include "tests/ui/UiFixtures.h"
#include "tests/ui/UpdaterFixture.h"

namespace veldo::ui {

using testsupport::child;
using testsupport::shownDialog;
namespace {

using controller::SettingsTab;

class PreferencesViewTest : public testsupport::UpdaterFixture
{
protected:
    ~PreferencesViewTest() override { pool.waitForDone(); }

    std::unique_ptr<PreferencesView> makeView()
    {
        return std::make_unique<PreferencesView>(c.settings, *c.model,
                                                 PreferencesView::Services{runner, *updater, pool});
    }

    testsupport::UiController c;
    std::unique_ptr<UpdaterController> updater = makeController(signs());
    std::stop_source stop;
    HelperClientRunner runner{
        std::make_shared<removal::PrivilegedHelperClient>(removal::PrivilegedHelperClient::Services{
            std::make_shared<testsupport::FakeServiceManager>()}),
        stop.get_token()};
    QThreadPool pool;
};

TEST_F(PreferencesViewTest, FourTabsInOrderInAFixedFrame)
{
    auto view = makeView();
    const char* const labels[] = {"General", "Permissions", "Administrator", "Updates"};
    const char* const symbols[] = {"gearshape", "lock.shield", "person.badge.key",
                                   "arrow.triangle.2.circlepath"};
    ASSERT_EQ(child<QTabWidget>(view, "tabs")->count(), 4);
    for (int i = 0; i < 4; ++i) {
        const auto tab = base::allCases<SettingsTab>()[static_cast<std::size_t>(i)];
        EXPECT_EQ(child<QTabWidget>(view, "tabs")->tabText(i), labels[i]);
        EXPECT_EQ(PreferencesView::label(tab), labels[i]);
        EXPECT_STREQ(PreferencesView::symbol(tab), symbols[i]);
        EXPECT_FALSE(child<QTabWidget>(view, "tabs")->tabIcon(i).isNull());
    }
    EXPECT_EQ(child<QTabWidget>(view, "tabs")->widget(0),
              child<GeneralSettingsTab>(view, "general"));
    EXPECT_EQ(child<QTabWidget>(view, "tabs")->widget(1),
              child<PermissionsSettingsTab>(view, "permissions"));
    EXPECT_EQ(view->minimumSize(), QSize(560, 560));
    EXPECT_EQ(view->maximumSize(), QSize(560, 560));
}

TEST_F(PreferencesViewTest, ATabChosenBeforeTheWindowOpensIsShownFirst)
{
    c.model->setSettingsTab(SettingsTab::permissions);
    auto view = makeView();
    view->show();
    EXPECT_EQ(child<QTabWidget>(view, "tabs")->currentWidget(),
              child<PermissionsSettingsTab>(view, "permissions"));
    EXPECT_EQ(view->windowTitle(), "Permissions");
}

TEST_F(PreferencesViewTest, TheTabAndSettingsTabFollowEachOther)
{
    auto view = makeView();
    view->show();
    EXPECT_EQ(view->windowTitle(), "General");
    child<QTabWidget>(view, "tabs")->setCurrentIndex(2);
    EXPECT_EQ(c.model->settingsTab(), SettingsTab::administrator);
    EXPECT_EQ(view->windowTitle(), "Administrator");
    c.model->setSettingsTab(SettingsTab::updates);
    EXPECT_EQ(child<QTabWidget>(view, "tabs")->currentWidget(), child<QWidget>(view, "updates"));
    EXPECT_EQ(view->windowTitle(), "Updates");
}

TEST_F(PreferencesViewTest, TheResetConfirmationIsModalToTheSettingsWindow)
{
    c.stats->record(1'000, 3, 1);
    auto view = makeView();
    view->show();
    child<QPushButton>(child<GeneralSettingsTab>(view, "general"), "resetButton")->click();
    QMessageBox* box =
        shownDialog<QMessageBox>(child<GeneralSettingsTab>(view, "general"), "resetConfirmation");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->parentWidget()->window(), view.get());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    box->reject();
}

} // namespace
} // namespace veldo::ui
