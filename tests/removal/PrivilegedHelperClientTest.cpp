// The helper's registration state: the status mapping, and refresh, register, unregister and
// turning the helper on and off over a scripted service manager and over the real record.
#include "app/removal/PrivilegedHelperClient.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/core/CleanupSettings.h"
#include "base/RawValue.h"
#include "common/HelperEndpoint.h"
#include "common/HelperVersionReply.h"
#include "platform/MainBundle.h"
#include "platform/ServiceRegistrationRecord.h"
#include "platform/SystemError.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "tests/support/FakeHelper.h"
#include "tests/support/FakeMac.h"
#include "tests/support/FakeServiceManager.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/Unprivileged.h"

using veldo::core::CleanupSettings;
using veldo::platform::PlistValue;
using veldo::platform::SystemError;
using veldo::removal::PrivilegedHelperClient;
using veldo::removal::PrivilegedHelperStatus;
using veldo::testsupport::FakeHelper;
using veldo::testsupport::FakeMac;
using veldo::testsupport::FakeServiceManager;
using namespace veldo::testsupport::literals;
using namespace std::chrono_literals;
using Property = PrivilegedHelperClient::Property;

namespace {

std::string versionJSON(std::int64_t protocol, const std::string& build)
{
    return *veldo::common::HelperVersionReply{protocol, build}.encodeJSON();
}

void installApp(const FakeMac& mac, bool withDaemonPlist = true)
{
    mac.makeApp(veldo::platform::mainBundleURL(),
                PlistValue(PlistValue::Dictionary{{"CFBundleVersion", "1.2"}}));
    if (withDaemonPlist)
        mac.write(veldo::platform::mainBundleURL().appendingPathComponent(
                      std::string(veldo::common::kHelperLaunchDaemonPlist)),
                  "<plist/>");
}

// A client over a scripted service manager, counting the notifications of each field.
struct ClientSetup
{
    std::shared_ptr<FakeServiceManager> services = std::make_shared<FakeServiceManager>();
    std::unique_ptr<PrivilegedHelperClient> client;
    std::map<Property, int> notified;

    // A version time-out a loaded machine's fake helper answers well within, unless it is late.
    explicit ClientSetup(veldo::platform::ServiceStatusValue initial,
                         std::chrono::milliseconds versionTimeout = 2s)
    {
        services->statusValue = initial;
        client = std::make_unique<PrivilegedHelperClient>(
            PrivilegedHelperClient::Services{services, versionTimeout});
        client->addObserver([this](Property p) { ++notified[p]; });
    }

    void refresh()
    {
        client->applyRefresh(PrivilegedHelperClient::readRefresh(client->services()));
    }
    void setEnabled(bool on, std::shared_ptr<CleanupSettings> settings)
    {
        auto work = client->beginSetEnabled(on, std::move(settings));
        client->applySetEnabled(on, PrivilegedHelperClient::performSetEnabled(on, work));
    }
};

std::shared_ptr<CleanupSettings> settingsIn(const FakeMac&)
{
    return std::make_shared<CleanupSettings>(
        std::make_shared<veldo::platform::UserDefaults>("/Users/Shared/settings.plist"_mac));
}

} // namespace

TEST(PrivilegedHelperStatus, RawStatusesAndRawStrings)
{
    using veldo::removal::statusFromServiceManager;
    EXPECT_EQ(statusFromServiceManager(0), PrivilegedHelperStatus::notRegistered);
    EXPECT_EQ(statusFromServiceManager(1), PrivilegedHelperStatus::enabled);
    EXPECT_EQ(statusFromServiceManager(2), PrivilegedHelperStatus::requiresApproval);
    for (veldo::platform::ServiceStatusValue unknown : {3, 4, 99, -1})
        EXPECT_EQ(statusFromServiceManager(unknown), PrivilegedHelperStatus::notFound) << unknown;

    for (auto status : veldo::base::allCases<PrivilegedHelperStatus>())
        EXPECT_EQ(veldo::base::fromRawValue<PrivilegedHelperStatus>(veldo::base::rawValue(status)),
                  status);
    EXPECT_EQ(veldo::base::rawValue(PrivilegedHelperStatus::requiresApproval), "requiresApproval");
    EXPECT_FALSE(veldo::base::fromRawValue<PrivilegedHelperStatus>("Enabled").has_value());
}

TEST(PrivilegedHelperClient, RefreshShowsTheHelpersAnswer)
{
    std::string reason;
    if (!FakeHelper::canRun(reason))
        GTEST_SKIP() << reason;
    FakeMac mac;
    installApp(mac);

    // Enabled, nobody listening: unreachable, no build.
    ClientSetup setup(veldo::platform::kServiceEnabled);
    EXPECT_EQ(setup.client->status(), PrivilegedHelperStatus::enabled);
    setup.refresh();
    EXPECT_TRUE(setup.client->isUnreachable());
    EXPECT_FALSE(setup.client->helperBuild().has_value());

    FakeHelper helper(mac);
    const struct
    {
        std::string reply;
        const char* behaviour;
        std::optional<std::string> build;
        bool mismatch;
        bool unreachable;
    } rows[] = {
        {versionJSON(3, "1.2"), "reply", "1.2", false, false},
        {versionJSON(3, "1.3"), "reply", "1.3", true, false},
        {versionJSON(2, "1.2"), "reply", "1.2", true, false},
        {versionJSON(3, "1.2"), "late:700", std::nullopt, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply + " " + row.behaviour);
        helper.setReply("version", row.reply);
        helper.setBehaviour("version", row.behaviour);
        // A late answer comes after the client's time-out.
        ClientSetup impatient(veldo::platform::kServiceEnabled, 300ms);
        ClientSetup& asking = row.unreachable ? impatient : setup;
        asking.refresh();
        EXPECT_EQ(asking.client->helperBuild(), row.build);
        EXPECT_EQ(asking.client->versionMismatch(), row.mismatch);
        EXPECT_EQ(asking.client->isUnreachable(), row.unreachable);
    }

    // Not enabled: the fields clear and the helper is not asked.
    helper.setBehaviour("version", "reply");
    helper.setReply("version", versionJSON(3, "9"));
    // Waits for the fake to finish the late answer.
    ASSERT_TRUE(veldo::removal::PrivilegedHelper::version(5s).has_value());
    setup.refresh();
    EXPECT_EQ(setup.client->helperBuild(), "9");
    const std::size_t asked = helper.requests().size();
    setup.services->statusValue = veldo::platform::kServiceRequiresApproval;
    setup.refresh();
    EXPECT_EQ(setup.client->status(), PrivilegedHelperStatus::requiresApproval);
    EXPECT_FALSE(setup.client->helperBuild().has_value());
    EXPECT_FALSE(setup.client->versionMismatch());
    EXPECT_FALSE(setup.client->isUnreachable());
    ASSERT_TRUE(veldo::removal::PrivilegedHelper::version(5s).has_value());
    EXPECT_EQ(helper.requests().size(), asked + 1) << "only the last version call was asked";
}

TEST(PrivilegedHelperClient, FieldsNotifyOnlyOnARealChange)
{
    FakeMac mac;
    ClientSetup setup(veldo::platform::kServiceNotRegistered);
    setup.refresh();
    EXPECT_TRUE(setup.notified.empty());

    setup.services->statusValue = veldo::platform::kServiceRequiresApproval;
    setup.refresh();
    setup.refresh();
    EXPECT_EQ(setup.notified, (std::map<Property, int>{{Property::status, 1}}));

    setup.client->setLastError("Sentence.");
    setup.client->setLastError("Sentence.");
    setup.client->setIsWorking(false);
    EXPECT_EQ(setup.notified[Property::lastError], 1);
    EXPECT_EQ(setup.notified.count(Property::isWorking), 0u);
}

TEST(PrivilegedHelperClient, RegisteringAndUnregistering)
{
    FakeMac mac;
    const SystemError denied(veldo::platform::ErrorDomain::other, 1,
                             "The operation couldn’t be completed. Operation not permitted");

    {
        SCOPED_TRACE("turning on when the system asks for approval");
        ClientSetup setup(veldo::platform::kServiceNotRegistered);
        setup.services->registerError = denied;
        setup.services->statusAfterRegister = veldo::platform::kServiceRequiresApproval;
        auto settings = settingsIn(mac);
        std::vector<Property> order;
        setup.client->addObserver([&](Property p) { order.push_back(p); });
        setup.setEnabled(true, settings);
        EXPECT_TRUE(settings->usePrivilegedHelper());
        EXPECT_EQ(setup.client->status(), PrivilegedHelperStatus::requiresApproval);
        EXPECT_FALSE(setup.client->lastError().has_value());
        EXPECT_EQ(setup.services->loginItemsOpened, 1);
        EXPECT_FALSE(setup.client->isWorking());
        EXPECT_EQ(order, (std::vector<Property>{Property::isWorking, Property::status,
                                                Property::isWorking}));
    }
    {
        SCOPED_TRACE("a failed registration keeps the setting on and shows the error");
        ClientSetup setup(veldo::platform::kServiceNotRegistered);
        setup.services->registerError = denied;
        auto settings = settingsIn(mac);
        setup.setEnabled(true, settings);
        EXPECT_TRUE(settings->usePrivilegedHelper());
        EXPECT_EQ(setup.client->lastError(), denied.localizedDescription());
        EXPECT_EQ(setup.services->loginItemsOpened, 0);
        // The next attempt starts without the old error.
        setup.services->registerError.reset();
        setup.services->statusAfterRegister = veldo::platform::kServiceEnabled;
        auto work = setup.client->beginRegistration();
        EXPECT_TRUE(setup.client->isWorking());
        EXPECT_FALSE(setup.client->lastError().has_value());
        setup.client->applyRegistration(PrivilegedHelperClient::performRegister(work));
        EXPECT_EQ(setup.client->status(), PrivilegedHelperStatus::enabled);
        EXPECT_FALSE(setup.client->lastError().has_value());
    }
    {
        SCOPED_TRACE("turning off when it was never registered");
        ClientSetup setup(veldo::platform::kServiceNotRegistered);
        setup.services->unregisterError = denied;
        auto settings = settingsIn(mac);
        settings->setUsePrivilegedHelper(true);
        setup.setEnabled(false, settings);
        EXPECT_FALSE(settings->usePrivilegedHelper());
        EXPECT_EQ(setup.services->unregisterCalls, 1);
        EXPECT_FALSE(setup.client->lastError().has_value());
        EXPECT_EQ(setup.services->loginItemsOpened, 0);
    }
    {
        SCOPED_TRACE("an unregistration that leaves the helper registered");
        ClientSetup setup(veldo::platform::kServiceEnabled);
        setup.services->unregisterError = denied;
        setup.setEnabled(false, settingsIn(mac));
        EXPECT_EQ(setup.client->lastError(), denied.localizedDescription());
        EXPECT_EQ(setup.client->status(), PrivilegedHelperStatus::enabled);
    }
}

TEST(PrivilegedHelperClient, TheRegistrationRecordEndToEnd)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "an approved registration is root's";
    FakeMac mac;
    if (!veldo::testsupport::unprivilegedCanSearch(mac.root()))
        GTEST_SKIP() << "the unprivileged user can't reach the fake Mac in " << mac.root();
    const auto admin = veldo::testsupport::adminGroupId();
    if (!admin)
        GTEST_SKIP() << "no group \"admin\" and none can be made";
    installApp(mac);
    const auto recordPath =
        veldo::platform::ServiceRegistrationRecord::pathFor(veldo::common::kHelperPlistName);

    // An administrator: a record of its own, waiting for approval, and the Login Items pane.
    const int adminRun = veldo::testsupport::runUnprivileged(
        [&] {
            veldo::platform::testing::UrlRecorder urls;
            PrivilegedHelperClient client({veldo::removal::helperDaemonService(), 300ms});
            auto work = client.beginSetEnabled(true, settingsIn(mac));
            client.applySetEnabled(true, PrivilegedHelperClient::performSetEnabled(true, work));
            if (client.status() != PrivilegedHelperStatus::requiresApproval)
                return 2;
            if (client.lastError())
                return 3;
            if (urls.urls() !=
                std::vector<std::string>{std::string(veldo::platform::kLoginItemsSettingsURL)})
                return 4;
            return 0;
        },
        {*admin});
    EXPECT_EQ(adminRun, 0);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(mac.host(recordPath).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, veldo::testsupport::unprivilegedUid());
    ASSERT_EQ(::unlink(mac.host(recordPath).c_str()), 0);

    // Someone outside "admin": nothing registered, the system's sentence shown.
    const std::string permissionDenied = SystemError::posix(EACCES).localizedDescription();
    const int userRun = veldo::testsupport::runUnprivileged([&] {
        PrivilegedHelperClient client({veldo::removal::helperDaemonService(), 300ms});
        auto work = client.beginRegistration();
        client.applyRegistration(PrivilegedHelperClient::performRegister(work));
        if (client.status() != PrivilegedHelperStatus::notRegistered)
            return 2;
        return client.lastError() == permissionDenied ? 0 : 3;
    });
    EXPECT_EQ(userRun, 0);

    // Root: enabled at once; the helper is unreachable until a daemon listens.
    PrivilegedHelperClient client({veldo::removal::helperDaemonService(), 300ms});
    EXPECT_EQ(client.status(), PrivilegedHelperStatus::notRegistered);
    auto work = client.beginRegistration();
    client.applyRegistration(PrivilegedHelperClient::performRegister(work));
    EXPECT_EQ(client.status(), PrivilegedHelperStatus::enabled);
    EXPECT_TRUE(client.isUnreachable());
    EXPECT_FALSE(client.lastError().has_value());
    work = client.beginRegistration();
    client.applyRegistration(PrivilegedHelperClient::performUnregister(work));
    EXPECT_EQ(client.status(), PrivilegedHelperStatus::notRegistered);
    EXPECT_FALSE(client.lastError().has_value());
}
