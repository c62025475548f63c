// The Updates tab: its controls follow the updater controller and write back through it; the
// version line and the last-check date are formatted as people read them.
#include "app/ui/UpdatesSettingsTab.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "app/ui/UpdaterController.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/UpdaterFixture.h"

using namespace veldo;
using namespace veldo::testsupport::literals;
using platform::PlistValue;
using ui::UpdatesSettingsTab;
using Kind = testsupport::RecordingUserDriver::Shown::Kind;

namespace {

class UpdatesSettingsTabTest : public testsupport::UpdaterFixture
{
protected:
    static QCheckBox* toggle(const QWidget& tab, const char* text)
    {
        QCheckBox* box = testsupport::titled<QCheckBox>(tab, QLatin1String(text));
        if (!box)
            ADD_FAILURE() << "no toggle " << text;
        return box;
    }
    static QCheckBox* checkToggle(const QWidget& tab)
    {
        return toggle(tab, "Automatically check for updates");
    }
    static QCheckBox* downloadToggle(const QWidget& tab)
    {
        return toggle(tab, "Automatically download and install updates");
    }
    static QPushButton* checkNow(const QWidget& tab)
    {
        for (QPushButton* button : tab.findChildren<QPushButton*>())
            if (button->text() == QLatin1String("Check Now"))
                return button;
        ADD_FAILURE() << "no Check Now button";
        return nullptr;
    }
    // The texts of the labels shown (not hidden) in the tab.
    static QStringList shownTexts(const QWidget& tab)
    {
        QStringList texts;
        for (QLabel* label : tab.findChildren<QLabel*>())
            if (!label->isHidden())
                texts << label->text();
        return texts;
    }
};

} // namespace

TEST_F(UpdatesSettingsTabTest, NeverCheckedShowsCheckNowAloneAndTheVersion)
{
    auto controller = makeController(signs());
    UpdatesSettingsTab tab(*controller);
    settle();
    EXPECT_TRUE(checkNow(tab)->isEnabled());
    const QStringList texts = shownTexts(tab);
    EXPECT_TRUE(texts.filter(QStringLiteral("Last checked")).isEmpty())
        << texts.join('|').toStdString();
    EXPECT_FALSE(texts.contains(QString())) << "an empty label is shown after the spacer";
    EXPECT_TRUE(texts.contains(QStringLiteral("1.4 (27)")));
    // The fixture's feed is a file on this Mac: no server is named.
    EXPECT_EQ(texts.filter(QStringLiteral("Veldo contacts this Mac to look")).size(), 1);
}

TEST_F(UpdatesSettingsTabTest, TheFooterNamesTheFeedsHost)
{
    mac.makeApp("/Applications/Veldo.app"_mac,
                PlistValue::Dictionary{{"CFBundleVersion", "27"},
                                       {"SUFeedURL", "https://updates.example.net/feed.xml"}});
    auto controller = makeController(signs({"veldo", "-VeldoUITesting"}));
    UpdatesSettingsTab tab(*controller);
    const QStringList footer = shownTexts(tab).filter(QStringLiteral("Veldo contacts "));
    ASSERT_EQ(footer.size(), 1);
    EXPECT_TRUE(footer[0].startsWith(QString::fromUtf8(
        "Veldo contacts updates.example.net to look for a newer version. The request includes "
        "Veldo\u2019s version")))
        << footer[0].toStdString();
    EXPECT_TRUE(shownTexts(tab).contains(QString::fromUtf8("\u2014 (27)")));
}

TEST_F(UpdatesSettingsTabTest, CheckNowFollowsTheUpdaterAndTheDateAppearsAfterACheck)
{
    auto controller = makeController(signs());
    UpdatesSettingsTab tab(*controller);
    settle();
    std::vector<bool> enabled;
    QObject::connect(controller.get(), &ui::UpdaterController::canCheckForUpdatesChanged,
                     [&] { enabled.push_back(checkNow(tab)->isEnabled()); });

    checkNow(tab)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !driver->shown.empty(); }, 5'000));
    settle();
    EXPECT_EQ(driver->shown[0].kind, Kind::update);
    EXPECT_EQ(enabled, (std::vector<bool>{false, true}));
    ASSERT_TRUE(controller->lastUpdateCheckDate());
    EXPECT_TRUE(shownTexts(tab).contains(
        UpdatesSettingsTab::lastCheckedText(*controller->lastUpdateCheckDate())));
}

TEST_F(UpdatesSettingsTabTest, TogglesWriteThroughAndFollowTheUpdater)
{
    ASSERT_TRUE(defaults->setBool("SUAutomaticallyUpdate", true));
    auto controller = makeController(signs());
    UpdatesSettingsTab tab(*controller);
    settle();
    // Installing updates is not allowed here: the download toggle stays disabled, keeping its
    // value, whether automatic checks are on or off.
    EXPECT_FALSE(checkToggle(tab)->isChecked());
    EXPECT_TRUE(downloadToggle(tab)->isChecked());
    EXPECT_FALSE(downloadToggle(tab)->isEnabled());

    checkToggle(tab)->click();
    settle();
    EXPECT_EQ(defaults->object("SUEnableAutomaticChecks")->asBoolean(), true);
    EXPECT_FALSE(downloadToggle(tab)->isEnabled());
    EXPECT_TRUE(downloadToggle(tab)->isChecked());

    checkToggle(tab)->click();
    settle();
    EXPECT_EQ(defaults->object("SUEnableAutomaticChecks")->asBoolean(), false);
    EXPECT_FALSE(downloadToggle(tab)->isEnabled());
    EXPECT_TRUE(downloadToggle(tab)->isChecked());
    EXPECT_EQ(defaults->object("SUAutomaticallyUpdate")->asBoolean(), true);

    // A change made outside the tab shows at once.
    ASSERT_TRUE(defaults->setBool("SUEnableAutomaticChecks", true));
    ASSERT_TRUE(defaults->setBool("SUAutomaticallyUpdate", false));
    settle();
    EXPECT_TRUE(checkToggle(tab)->isChecked());
    EXPECT_FALSE(downloadToggle(tab)->isChecked());
}

TEST_F(UpdatesSettingsTabTest, WithoutAnUpdaterEverythingStaysDisabledAndTogglesOnlyTheMirror)
{
    auto controller = makeController(signs({"veldo", "-VeldoUITesting"}));
    UpdatesSettingsTab tab(*controller);
    EXPECT_FALSE(checkNow(tab)->isEnabled());
    EXPECT_FALSE(downloadToggle(tab)->isEnabled());
    EXPECT_TRUE(shownTexts(tab).filter(QStringLiteral("Last checked")).isEmpty());

    checkToggle(tab)->click();
    settle();
    EXPECT_TRUE(controller->automaticallyChecksForUpdates());
    EXPECT_TRUE(checkToggle(tab)->isChecked());
    EXPECT_FALSE(downloadToggle(tab)->isEnabled());
    EXPECT_FALSE(defaults->object("SUEnableAutomaticChecks"));
    checkNow(tab)->click();
    settle();
    EXPECT_TRUE(driver->shown.empty());
}

TEST(AppVersionStringTest, ReadsTheShortVersionAndBuildWithADashForWhatIsMissing)
{
    const QString dash = QString::fromUtf8("\u2014");
    const struct
    {
        std::optional<PlistValue> info;
        QString expected;
    } cases[] = {
        {PlistValue::Dictionary{{"CFBundleShortVersionString", "1.4"}, {"CFBundleVersion", "27"}},
         QStringLiteral("1.4 (27)")},
        {PlistValue::Dictionary{{"CFBundleShortVersionString", PlistValue(std::int64_t{14})},
                                {"CFBundleVersion", "27"}},
         dash + QStringLiteral(" (27)")},
        {PlistValue::Dictionary{{"CFBundleShortVersionString", "1.4"},
                                {"CFBundleVersion", PlistValue(true)}},
         QStringLiteral("1.4 (") + dash + ")"},
        {PlistValue::Dictionary{{"CFBundleShortVersionString", ""}, {"CFBundleVersion", "27"}},
         QStringLiteral(" (27)")},
        {PlistValue::Dictionary{}, dash + " (" + dash + ")"},
        {PlistValue::Array{PlistValue("1.4")}, dash + " (" + dash + ")"},
        {std::nullopt, dash + " (" + dash + ")"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UpdatesSettingsTab::appVersionString(c.info), c.expected);
}

TEST(LastCheckedTextTest, UsesTheAbbreviatedDateAndShortTimeOfTheLocale)
{
    const QDateTime when(QDate(2026, 3, 9), QTime(14, 5));
    const QString us =
        UpdatesSettingsTab::lastCheckedText(when, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(us.startsWith(QStringLiteral("Last checked Mar 9, 2026, 2:05")))
        << us.toStdString();
    EXPECT_TRUE(us.endsWith(QStringLiteral("PM"))) << us.toStdString();
    const QString de =
        UpdatesSettingsTab::lastCheckedText(when, QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(de, QString::fromUtf8("Last checked 9. M\u00e4rz 2026, 14:05")) << de.toStdString();
    // The C locale's short time carries seconds; the minute is enough.
    EXPECT_EQ(UpdatesSettingsTab::lastCheckedText(when, QLocale::c()),
              QStringLiteral("Last checked 9 Mar 2026, 14:05"));
}
