// The Administrator settings tab: the status texts as pure functions of the helper client's
// fields, the rows each state shows, the controls while the client works, and the order the
// client's blocking work runs in (one at a time, in call order, the setting stored first).
#include "app/ui/AdministratorSettingsTab.h"

#include <atomic>
#include <future>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/ui/BusyIndicator.h"
#include "app/ui/HelperClientRunner.h"
#include "app/ui/HelperStatusPresentation.h"
#include "platform/SystemError.h"
#include "tests/support/FakeMac.h"
#include "tests/support/FakeServiceManager.h"
#include "tests/ui/ChildLookup.h"
#include "tests/ui/UiFixtures.h"

namespace veldo::ui {

using testsupport::child;
namespace {

using removal::PrivilegedHelperClient;
using S = removal::PrivilegedHelperStatus;

// A service manager whose calls may be held at a gate; it logs each call and the most calls
// ever in progress at once. Thread-safe.
class GatedServiceManager final : public platform::ServiceManager
{
public:
    explicit GatedServiceManager(std::shared_ptr<platform::UserDefaults> defaults)
        : m_defaults(std::move(defaults))
    {
    }

    std::atomic<platform::ServiceStatusValue> statusValue{platform::kServiceNotRegistered};
    std::atomic<platform::ServiceStatusValue> statusAfterRegister{
        platform::kServiceRequiresApproval};
    std::atomic<int> loginItemsOpened{0};
    std::atomic<int> mostAtOnce{0};

    // Holds the next registration until release().
    void holdRegistration() { m_gate = std::make_shared<std::promise<void>>(); }
    void release() { m_gate->set_value(); }
    bool registrationWaiting() const { return m_waiting; }
    // The helper setting as stored on disk when the registration started.
    std::optional<bool> storedSettingAtRegistration() const
    {
        std::lock_guard lock(m_mutex);
        return m_storedAtRegistration;
    }
    void forgetCalls()
    {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
    }
    std::vector<std::string> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

    platform::ServiceStatusValue status() override
    {
        Busy busy(*this, "status");
        return statusValue;
    }
    platform::FileResult<void> registerService() override
    {
        Busy busy(*this, "register");
        {
            std::lock_guard lock(m_mutex);
            const auto stored = platform::UserDefaults(m_defaults->file())
                                    .object(core::CleanupSettings::kUsePrivilegedHelperKey);
            m_storedAtRegistration = stored ? stored->asBoolean() : std::nullopt;
        }
        if (m_gate) {
            m_waiting = true;
            m_gate->get_future().wait();
            m_waiting = false;
            m_gate.reset();
        }
        statusValue = statusAfterRegister.load();
        return {};
    }
    platform::FileResult<void> unregisterService() override
    {
        Busy busy(*this, "unregister");
        statusValue = platform::kServiceNotRegistered;
        return {};
    }
    void openSystemSettingsLoginItems() override { ++loginItemsOpened; }

private:
    struct Busy
    {
        Busy(GatedServiceManager& m, std::string name) : manager(m)
        {
            const int now = ++manager.m_inProgress;
            int most = manager.mostAtOnce;
            while (now > most && !manager.mostAtOnce.compare_exchange_weak(most, now)) {
            }
            std::lock_guard lock(manager.m_mutex);
            manager.m_calls.push_back(std::move(name));
        }
        ~Busy() { --manager.m_inProgress; }
        GatedServiceManager& manager;
    };

    std::shared_ptr<platform::UserDefaults> m_defaults;
    std::shared_ptr<std::promise<void>> m_gate;
    std::atomic<bool> m_waiting{false};
    std::atomic<int> m_inProgress{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::optional<bool> m_storedAtRegistration;
};

struct StateRow
{
    const char* name;
    HelperState state;
    bool use;
    const char* label;
    const char* symbol;
    SystemColor color;
    const char* explanation;
};

const char* const kOff =
    "Veldo asks for an administrator password each time it removes system files.";
const char* const kApproval = "Allow \u201cVeldo\u201d in System Settings \u25b8 General \u25b8 "
                              "Login Items to finish turning on the helper.";
const char* const kOn =
    "Veldo moves system files to the Trash without asking for a password each time.";
const char* const kMissing =
    "The helper is missing from this copy of Veldo. Reinstall Veldo to use it.";
const char* const kUnavailable = "This version of Veldo can't install a privileged helper.";
const char* const kUnanswered = "The helper didn\u2019t answer, so Veldo asks for your password "
                                "instead. Try turning it off and on again.";

HelperState state(S status, bool mismatch = false, bool unreachable = false,
                  std::optional<std::string> error = std::nullopt,
                  std::optional<std::string> build = std::nullopt)
{
    return {status, std::move(build), mismatch, unreachable, false, std::move(error)};
}

TEST(HelperStatusPresentation, EveryStateWithAndWithoutALastError)
{
    using C = SystemColor;
    const std::string err = "The operation couldn\u2019t be completed.";
    const StateRow rows[] = {
        {"off", state(S::notRegistered), false, "Off", "circle", C::secondaryLabel, kOff},
        {"off, error", state(S::notRegistered, false, false, err), true, "Error", "circle",
         C::secondaryLabel, kOff},
        {"approval", state(S::requiresApproval), true, "Waiting for approval", "clock.fill",
         C::orange, kApproval},
        {"approval, error", state(S::requiresApproval, false, false, err), true, "Error",
         "clock.fill", C::orange, kApproval},
        {"mismatch, build", state(S::enabled, true, false, std::nullopt, "41"), true,
         "On, but out of date", "exclamationmark.circle.fill", C::orange,
         "The helper that answered belongs to another version of Veldo (build 41). Veldo asks "
         "for your password until you re-register it."},
        {"mismatch, no build, error, unused", state(S::enabled, true, false, err), false,
         "On, but out of date", "exclamationmark.circle.fill", C::orange,
         "The helper that answered belongs to another version of Veldo. Veldo asks for your "
         "password until you re-register it."},
        {"unreachable", state(S::enabled, false, true), true, "On, not responding",
         "exclamationmark.circle.fill", C::orange, kUnanswered},
        {"unreachable, unused", state(S::enabled, false, true), false, "On, not responding",
         "exclamationmark.circle.fill", C::orange, kUnanswered},
        {"registered, not used", state(S::enabled), false, "Registered, not used",
         "checkmark.circle.fill", C::green, kOn},
        {"on", state(S::enabled), true, "On", "checkmark.circle.fill", C::green, kOn},
        {"on, error", state(S::enabled, false, false, err), true, "On", "checkmark.circle.fill",
         C::green, kOn},
        {"missing", state(S::notFound), true, "Missing from Veldo", "exclamationmark.triangle.fill",
         C::red, kMissing},
        {"missing, error", state(S::notFound, false, false, err), true, "Error",
         "exclamationmark.triangle.fill", C::red, kMissing},
        {"unavailable", state(S::unavailable), false, "Not available", "circle", C::secondaryLabel,
         kUnavailable},
        {"unavailable, error", state(S::unavailable, false, false, err), false, "Error", "circle",
         C::secondaryLabel, kUnavailable},
    };
    for (const StateRow& row : rows) {
        EXPECT_EQ(helperStatusLabel(row.state, row.use), QString::fromUtf8(row.label)) << row.name;
        EXPECT_EQ(helperStatusSymbol(row.state), row.symbol) << row.name;
        EXPECT_EQ(helperStatusColor(row.state), row.color) << row.name;
        EXPECT_EQ(helperStatusExplanation(row.state), QString::fromUtf8(row.explanation))
            << row.name;
    }
}

class AdministratorSettingsTabTest : public testing::Test
{
protected:
    AdministratorSettingsTabTest()
        : services(std::make_shared<GatedServiceManager>(c.defaults)),
          client(std::make_shared<PrivilegedHelperClient>(
              PrivilegedHelperClient::Services{services, std::chrono::milliseconds(200)})),
          runner(client, stop.get_token())
    {
        services->forgetCalls(); // the client's first reading
    }

    // Waits until the client is idle and every posted apply has run.
    void settle()
    {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                QCoreApplication::processEvents();
                return !client->isWorking() && !services->registrationWaiting();
            },
            5000));
        // A refresh queued behind the last registration.
        QTest::qWait(50);
        QCoreApplication::processEvents();
    }

    // The client in `status`, with the version reply an enabled helper gave (none: no answer).
    void setState(S status, std::optional<std::string> build = std::nullopt,
                  std::optional<std::string> error = std::nullopt)
    {
        PrivilegedHelperClient::RefreshResult result;
        result.status = status;
        result.appBuild = "27";
        if (build)
            result.version = removal::PrivilegedHelper::VersionReply{
                removal::PrivilegedHelper::kProtocolVersion, *build};
        client->applyRefresh(result);
        client->setLastError(std::move(error));
        QCoreApplication::processEvents();
    }

    testsupport::FakeMac mac;
    testsupport::UiController c;
    std::stop_source stop;
    std::shared_ptr<GatedServiceManager> services;
    std::shared_ptr<PrivilegedHelperClient> client;
    HelperClientRunner runner;
};

TEST_F(AdministratorSettingsTabTest, EachStateShowsItsRows)
{
    AdministratorSettingsTab tab(c.settings, runner);
    const struct
    {
        const char* name;
        S status;
        std::optional<std::string> build;
        std::optional<std::string> error;
        const char* label;
        bool loginItems, reregister, errorRow;
    } rows[] = {
        {"off", S::notRegistered, {}, {}, "Off", false, false, false},
        {"approval", S::requiresApproval, {}, {}, "Waiting for approval", true, false, false},
        {"approval, error", S::requiresApproval, {}, "Denied.", "Error", true, false, true},
        {"out of date", S::enabled, "26", {}, "On, but out of date", false, true, false},
        {"not responding", S::enabled, {}, {}, "On, not responding", false, false, false},
        {"registered, not used", S::enabled, "27", {}, "Registered, not used", false, false, false},
        {"missing, error", S::notFound, {}, "Gone.", "Error", false, false, true},
        {"unavailable", S::unavailable, {}, {}, "Not available", false, false, false},
    };
    for (const auto& row : rows) {
        setState(row.status, row.build, row.error);
        EXPECT_EQ(child<QLabel>(tab, "statusLabel")->text(), row.label) << row.name;
        EXPECT_EQ(!child<QPushButton>(tab, "loginItemsButton")->isHidden(), row.loginItems)
            << row.name;
        EXPECT_EQ(!child<QPushButton>(tab, "reregisterButton")->isHidden(), row.reregister)
            << row.name;
        EXPECT_EQ(!child<QLabel>(tab, "errorLabel")->parentWidget()->isHidden(), row.errorRow)
            << row.name;
        if (row.error) {
            EXPECT_EQ(child<QLabel>(tab, "errorLabel")->text().toStdString(), *row.error);
        }
        EXPECT_FALSE(child<QLabel>(tab, "statusSymbol")->isHidden());
        EXPECT_TRUE(child<BusyIndicator>(tab, "spinner")->isHidden());
    }
    // The setting on, the same helper: "On".
    c.settings->setUsePrivilegedHelper(true);
    setState(S::enabled, "27");
    EXPECT_EQ(child<QLabel>(tab, "statusLabel")->text(), "On");
    EXPECT_TRUE(child<QCheckBox>(tab, "helperToggle")->isChecked());
}

TEST_F(AdministratorSettingsTabTest, WhileTheClientWorksTheControlsDoNotReact)
{
    AdministratorSettingsTab tab(c.settings, runner);
    setState(S::enabled, "26");
    client->setIsWorking(true);
    QCoreApplication::processEvents();
    EXPECT_FALSE(child<QCheckBox>(tab, "helperToggle")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(tab, "reregisterButton")->isEnabled());
    EXPECT_FALSE(child<BusyIndicator>(tab, "spinner")->isHidden());
    EXPECT_TRUE(child<QLabel>(tab, "statusSymbol")->isHidden());
    EXPECT_EQ(child<QLabel>(tab, "statusLabel")->text(), "On, but out of date");
    child<QPushButton>(tab, "reregisterButton")->click();
    child<QCheckBox>(tab, "helperToggle")->click();
    QTest::qWait(50);
    EXPECT_TRUE(services->calls().empty());
    client->setIsWorking(false);
    QCoreApplication::processEvents();
    EXPECT_TRUE(child<QCheckBox>(tab, "helperToggle")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(tab, "reregisterButton")->isEnabled());
}

TEST_F(AdministratorSettingsTabTest, TurningOnStoresTheSettingFirstAndOpensLoginItemsOnApproval)
{
    AdministratorSettingsTab tab(c.settings, runner);
    services->holdRegistration();
    child<QCheckBox>(tab, "helperToggle")->click();
    // The setting and the busy state are there before anything blocks.
    EXPECT_TRUE(c.settings->usePrivilegedHelper());
    EXPECT_TRUE(client->isWorking());
    QCoreApplication::processEvents();
    EXPECT_FALSE(child<QCheckBox>(tab, "helperToggle")->isEnabled());
    EXPECT_FALSE(child<BusyIndicator>(tab, "spinner")->isHidden());
    ASSERT_TRUE(QTest::qWaitFor([&] { return services->registrationWaiting(); }, 5000));
    EXPECT_EQ(services->storedSettingAtRegistration(), true);

    // Returning to Veldo while the registration runs: the refresh waits its turn.
    tab.show();
    tab.applicationStateChanged(Qt::ApplicationActive);
    QTest::qWait(50);
    services->release();
    settle();
    EXPECT_EQ(services->mostAtOnce.load(), 1);
    const auto calls = services->calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), "register");
    EXPECT_EQ(client->status(), S::requiresApproval);
    EXPECT_EQ(services->loginItemsOpened.load(), 1);
    EXPECT_EQ(child<QLabel>(tab, "statusLabel")->text(), "Waiting for approval");
    EXPECT_FALSE(child<QPushButton>(tab, "loginItemsButton")->isHidden());
    child<QPushButton>(tab, "loginItemsButton")->click();
    EXPECT_EQ(services->loginItemsOpened.load(), 2);
}

TEST_F(AdministratorSettingsTabTest, ShowingAndEachActivationRefresh)
{
    services->statusValue = platform::kServiceRequiresApproval;
    AdministratorSettingsTab tab(c.settings, runner);
    tab.show();
    settle();
    EXPECT_EQ(child<QLabel>(tab, "statusLabel")->text(), "Waiting for approval");
    // Approved in System Settings, then back to Veldo (this fake Mac runs no helper to answer).
    services->statusValue = platform::kServiceEnabled;
    tab.applicationStateChanged(Qt::ApplicationActive);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QCoreApplication::processEvents();
            return child<QLabel>(tab, "statusLabel")->text() == "On, not responding";
        },
        5000));
    const auto before = services->calls().size();
    tab.hide();
    tab.applicationStateChanged(Qt::ApplicationActive);
    QTest::qWait(50);
    EXPECT_EQ(services->calls().size(), before);
}

TEST_F(AdministratorSettingsTabTest, ReregisteringUnregistersThenRegisters)
{
    AdministratorSettingsTab tab(c.settings, runner);
    setState(S::enabled, "26");
    ASSERT_FALSE(child<QPushButton>(tab, "reregisterButton")->isHidden());
    child<QPushButton>(tab, "reregisterButton")->click();
    settle();
    const auto calls = services->calls();
    const auto unregister = std::find(calls.begin(), calls.end(), "unregister");
    const auto reg = std::find(calls.begin(), calls.end(), "register");
    ASSERT_NE(unregister, calls.end());
    ASSERT_NE(reg, calls.end());
    EXPECT_LT(unregister, reg);
    EXPECT_EQ(services->mostAtOnce.load(), 1);
}

TEST_F(AdministratorSettingsTabTest, ALongErrorWrapsWithoutWideningTheTab)
{
    AdministratorSettingsTab tab(c.settings, runner);
    tab.setFixedWidth(560);
    std::string error;
    for (int i = 0; i < 6; ++i)
        error += "The service manager refused the request because the record could not be "
                 "written to the folder that holds it.\n";
    setState(S::notRegistered, std::nullopt, error);
    tab.show();
    QCoreApplication::processEvents();
    EXPECT_LE(tab.minimumSizeHint().width(), 560);
    EXPECT_TRUE(child<QLabel>(tab, "errorLabel")->wordWrap());
    EXPECT_LE(child<QLabel>(tab, "errorLabel")->width(), 560);
    EXPECT_GT(child<QLabel>(tab, "errorLabel")->height(),
              child<QLabel>(tab, "errorLabel")->fontMetrics().height() * 3);
}

} // namespace
} // namespace veldo::ui
