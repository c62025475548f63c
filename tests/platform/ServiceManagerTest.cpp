// The Linux service manager: the registration record's coding and the status it gives.
#include "platform/ServiceManager.h"

#include <cerrno>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/MainBundle.h"
#include "platform/PropertyList.h"
#include "platform/ServiceRegistrationRecord.h"
#include "platform/UrlOpener.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/Unprivileged.h"

using veldo::platform::PlistValue;
using veldo::platform::ServiceRegistrationRecord;
using veldo::platform::SystemError;
using veldo::testsupport::FakeMac;
using namespace veldo::testsupport::literals;
namespace platform = veldo::platform;

namespace {

constexpr const char* kPlist = "orbelkan.Veldo.Helper.plist";

std::string encoded(const PlistValue& value)
{
    return *platform::serializePropertyList(value, platform::PlistFormat::xml);
}

} // namespace

TEST(ServiceRegistrationRecord, RoundTripsAndRefusesWhatIsNotARecord)
{
    const ServiceRegistrationRecord record{"orbelkan.Veldo.Helper", "/Applications/Veldo.app",
                                           kPlist, true};
    auto bytes = record.encodePropertyList();
    ASSERT_TRUE(bytes.has_value());
    EXPECT_TRUE(bytes->starts_with("bplist00"));
    EXPECT_EQ(ServiceRegistrationRecord::decodePropertyList(*bytes), record);

    const PlistValue::Dictionary whole{
        {"Label", "l"}, {"BundlePath", "/b"}, {"PlistName", "p"}, {"Approved", false}};
    EXPECT_TRUE(ServiceRegistrationRecord::decodePropertyList(encoded(PlistValue(whole))));
    for (const char* key : {"Label", "BundlePath", "PlistName", "Approved"}) {
        SCOPED_TRACE(key);
        auto missing = whole;
        missing.erase(key);
        EXPECT_FALSE(ServiceRegistrationRecord::decodePropertyList(encoded(PlistValue(missing))));
        auto wrongType = whole;
        wrongType[key] = std::string(key) == "Approved" ? PlistValue("YES") : PlistValue(1);
        EXPECT_FALSE(ServiceRegistrationRecord::decodePropertyList(encoded(PlistValue(wrongType))));
    }
    EXPECT_FALSE(ServiceRegistrationRecord::decodePropertyList(
        encoded(PlistValue(PlistValue::Array{PlistValue(whole)}))));
    EXPECT_FALSE(ServiceRegistrationRecord::decodePropertyList("garbage"));
    EXPECT_EQ(ServiceRegistrationRecord::pathFor(kPlist).path(),
              "/private/var/db/orbelkan.Veldo.ServiceManagement/orbelkan.Veldo.Helper.plist");
}

TEST(ServiceManager, TheStatusFollowsTheBundleAndTheRecord)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "an approved registration is root's";
    FakeMac mac;
    const auto bundle = platform::mainBundleURL();
    mac.makeApp(bundle, PlistValue(PlistValue::Dictionary{{"CFBundleVersion", "1"}}));
    const auto services = platform::daemonService(kPlist);
    const auto record = ServiceRegistrationRecord::pathFor(kPlist);
    const std::string recordHost = mac.host(record);

    // Without the daemon's property list in the bundle the daemon can't be found or registered.
    EXPECT_EQ(services->status(), platform::kServiceNotFound);
    auto refused = services->registerService();
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), SystemError::posix(ENOENT));

    mac.write(bundle.appendingPathComponent("Contents/Library/LaunchDaemons")
                  .appendingPathComponent(kPlist),
              "<plist/>");
    EXPECT_EQ(services->status(), platform::kServiceNotRegistered);

    // Root's registration: approved, root's, 0644, naming this bundle.
    ASSERT_TRUE(services->registerService());
    EXPECT_EQ(services->status(), platform::kServiceEnabled);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(recordHost.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(ServiceRegistrationRecord::decodePropertyList(mac.contents(record)),
              (ServiceRegistrationRecord{"orbelkan.Veldo.Helper", bundle.path(), kPlist, true}));

    // Any doubt about who wrote the record leaves it waiting for approval.
    ASSERT_EQ(::chmod(recordHost.c_str(), 0664), 0);
    EXPECT_EQ(services->status(), platform::kServiceRequiresApproval);
    ASSERT_EQ(::chmod(recordHost.c_str(), 0644), 0);
    ASSERT_EQ(::chown(recordHost.c_str(), veldo::testsupport::unprivilegedUid(), 0), 0);
    EXPECT_EQ(services->status(), platform::kServiceRequiresApproval);
    mac.write(record,
              *ServiceRegistrationRecord{"orbelkan.Veldo.Helper", bundle.path(), kPlist, false}
                   .encodePropertyList());
    ASSERT_EQ(::chown(recordHost.c_str(), 0, 0), 0);
    EXPECT_EQ(services->status(), platform::kServiceRequiresApproval);

    // A record that can't be read: not found.
    mac.write(record, "garbage");
    EXPECT_EQ(services->status(), platform::kServiceNotFound);
    ASSERT_EQ(::unlink(recordHost.c_str()), 0);
    mac.symlink(record, "/Applications/Veldo.app/Contents/Info.plist");
    EXPECT_EQ(services->status(), platform::kServiceNotFound);

    // Unregistering removes the record; a second time there is nothing to remove.
    ASSERT_TRUE(services->unregisterService());
    EXPECT_EQ(services->status(), platform::kServiceNotRegistered);
    auto again = services->unregisterService();
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error(), SystemError::posix(ENOENT));
}

TEST(ServiceManager, LoginItemsOpenTheirSettingsPane)
{
    platform::testing::UrlRecorder urls;
    platform::daemonService(kPlist)->openSystemSettingsLoginItems();
    EXPECT_EQ(urls.urls(),
              std::vector<std::string>{
                  "x-apple.systempreferences:com.apple.LoginItems-Settings.extension"});
}
