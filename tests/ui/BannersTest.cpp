// The result and notice banners as widgets: buttons, Esc, the Undo spinner, announcements.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "app/ui/BusyIndicator.h"
#include "app/ui/NoticeBanner.h"
#include "app/ui/ResultBanner.h"
#include "platform/qt/Announcer.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/UiFixtures.h"

namespace veldo::ui {

using testsupport::child;
namespace {

using platform::qt::Announcer;

removal::UninstallOutcome outcomeNamed(const std::string& name)
{
    for (auto& named : testsupport::bannerGallery())
        if (named.name == name)
            return named.outcome;
    ADD_FAILURE() << name;
    return {};
}

class ResultBannerTest : public testing::Test
{
protected:
    ResultBannerTest() : m_banner(new ResultBanner(&m_window))
    {
        auto* layout = new QVBoxLayout(&m_window);
        layout->addWidget(m_banner);
        m_window.resize(900, 200);
    }

    void showWindow()
    {
        m_window.show();
        m_window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    }

    QWidget m_window;
    ResultBanner* m_banner;
};

TEST_F(ResultBannerTest, ButtonsFollowTheOutcome)
{
    showWindow();
    const struct
    {
        const char* outcome;
        bool settings, reveal, undo;
    } cases[] = {
        {"moved-undo", false, false, true},         {"moved", false, false, false},
        {"permission-needed", true, false, false},  {"couldnt-remove", false, true, false},
        {"partly-removed-undo", false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.outcome);
        m_banner->setOutcome(outcomeNamed(c.outcome));
        EXPECT_EQ(child<QPushButton>(m_banner, "openSettingsButton")->isVisible(), c.settings);
        EXPECT_EQ(child<QPushButton>(m_banner, "revealButton")->isVisible(), c.reveal);
        EXPECT_EQ(child<QPushButton>(m_banner, "undoButton")->isVisible(), c.undo);
        EXPECT_TRUE(child<QPushButton>(m_banner, "doneButton")->isVisible());
    }
    QSignalSpy reveal(m_banner, &ResultBanner::revealFailedRequested);
    QSignalSpy settings(m_banner, &ResultBanner::openAppManagementRequested);
    QSignalSpy undo(m_banner, &ResultBanner::undoRequested);
    child<QPushButton>(m_banner, "revealButton")->click();
    child<QPushButton>(m_banner, "undoButton")->click();
    EXPECT_EQ(reveal.size(), 1);
    EXPECT_EQ(undo.size(), 1);
    EXPECT_EQ(settings.size(), 0);
    EXPECT_EQ(child<QPushButton>(m_banner, "revealButton")->toolTip().toStdString(),
              "Open these system files in Finder, then move them to the Trash to authenticate "
              "with your password.");
}

TEST_F(ResultBannerTest, EscAndDoneDismissEvenWhileUndoing)
{
    m_banner->setOutcome(outcomeNamed("moved-undo"));
    showWindow();
    QSignalSpy dismiss(m_banner, &ResultBanner::dismissRequested);
    child<QPushButton>(m_banner, "doneButton")->click();
    EXPECT_EQ(dismiss.size(), 1);

    m_banner->setUndoing(true);
    EXPECT_FALSE(child<QPushButton>(m_banner, "undoButton")->isEnabled());
    EXPECT_TRUE(child<BusyIndicator>(m_banner, "undoSpinner")->isVisible());
    EXPECT_TRUE(child<QPushButton>(m_banner, "undoButton")->text().isEmpty());
    QTest::keyClick(&m_window, Qt::Key_Escape);
    EXPECT_EQ(dismiss.size(), 2);

    m_banner->setUndoing(false);
    EXPECT_TRUE(child<QPushButton>(m_banner, "undoButton")->isEnabled());
    EXPECT_FALSE(child<BusyIndicator>(m_banner, "undoSpinner")->isVisible());
    EXPECT_EQ(child<QPushButton>(m_banner, "undoButton")->text(), QStringLiteral("Undo"));

    // Hidden, the banner leaves Esc to others.
    m_banner->hide();
    QTest::keyClick(&m_window, Qt::Key_Escape);
    EXPECT_EQ(dismiss.size(), 2);
}

TEST_F(ResultBannerTest, AnnouncesEachNewTextOnce)
{
    Announcer::Recorder recorder;
    m_banner->setOutcome(outcomeNamed("moved"));
    EXPECT_TRUE(recorder.announcements().isEmpty()) << "nothing while not shown";
    showWindow();
    m_banner->setOutcome(outcomeNamed("moved"));
    m_banner->setUndoing(true);
    m_banner->setUndoing(false);
    m_banner->setOutcome(outcomeNamed("couldnt-remove"));
    EXPECT_EQ(recorder.announcements().join(QLatin1Char('\n')).toStdString(),
              "Moved to Trash. Moved 3 items (230.7 MB) to the Trash — freed after you empty it\n"
              "Couldn’t Remove. 2 items couldn’t be moved — reveal them to remove them in Finder.");
    EXPECT_EQ(m_banner->accessibleDescription(), recorder.announcements().last());
}

TEST_F(ResultBannerTest, LongTextsNeverWidenTheCard)
{
    removal::UninstallOutcome outcome = outcomeNamed("partly-removed-undo");
    for (int i = 0; i < 40; ++i)
        outcome.alreadyMissing.push_back(testsupport::uiItem("/gone/" + std::to_string(i)));
    m_banner->setOutcome(outcome);
    m_window.resize(2000, 200);
    showWindow();
    const QMargins shadow = m_banner->shadowMargins();
    EXPECT_LE(m_banner->width() - shadow.left() - shadow.right(), ResultBanner::kMaxCardWidth);
    EXPECT_LE(m_banner->minimumSizeHint().width(),
              ResultBanner::kMaxCardWidth + shadow.left() + shadow.right());
}

TEST(NoticeBanner, DismissAndOneAnnouncementPerMessage)
{
    QWidget window;
    auto* banner = new NoticeBanner(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(banner);
    Announcer::Recorder recorder;
    banner->setMessage(QStringLiteral("Quill is already in the Trash."));
    window.show();
    banner->setMessage(QStringLiteral("Quill is already in the Trash."));
    banner->setMessage(QStringLiteral("2 dropped apps aren’t apps Veldo can remove."));
    EXPECT_EQ(recorder.announcements().join(QLatin1Char('\n')).toStdString(),
              "Quill is already in the Trash.\n2 dropped apps aren’t apps Veldo can remove.");

    QSignalSpy dismiss(banner, &NoticeBanner::dismissRequested);
    EXPECT_EQ(child<QToolButton>(banner, "dismissButton")->toolTip(), QStringLiteral("Dismiss"));
    child<QToolButton>(banner, "dismissButton")->click();
    EXPECT_EQ(dismiss.size(), 1);
    EXPECT_LE(banner->maximumWidth() - banner->shadowMargins().left() -
                  banner->shadowMargins().right(),
              NoticeBanner::kMaxCardWidth);
}

} // namespace
} // namespace veldo::ui
