// HelperMac: a fake Mac whose privileged helper passes the helper test, served by the fake helper
// daemon, with the stand-in osascript installed; for the tests of the administrator path.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "app/core/CleanupSettings.h"
#include "app/removal/PrivilegedHelperStatus.h"
#include "common/HelperEndpoint.h"
#include "common/HelperReplyEnvelope.h"
#include "common/HelperVersionReply.h"
#include "common/RemovalSafety.h"
#include "common/VeldoHelperItemResult.h"
#include "common/VeldoHelperReply.h"
#include "platform/MainBundle.h"
#include "platform/PlistValue.h"
#include "platform/UserDefaults.h"
#include "tests/support/FakeHelper.h"
#include "tests/support/FakeMac.h"
#include "tests/support/MacPathLiteral.h"
#include "tests/support/StandInOsascript.h"

#define SKIP_UNLESS_FAKE_HELPER_AND_ROOT()                                                         \
    do {                                                                                           \
        std::string reason;                                                                        \
        if (!veldo::testsupport::FakeHelper::canRun(reason))                                       \
            GTEST_SKIP() << reason;                                                                \
        if (::geteuid() != 0)                                                                      \
            GTEST_SKIP() << "the stand-in osascript runs scripts only as root";                    \
    } while (false)

namespace veldo::testsupport {

using common::HelperReplyEnvelope;
using common::VeldoHelperItemResult;
using common::VeldoHelperReply;
using common::RemovalSafety::Context;
using platform::MacPath;
using platform::PlistValue;
using namespace literals;

// A fake Mac whose helper passes the helper test (setting on, registered, same build), with the
// fake helper serving it and the stand-in osascript installed.
struct HelperMac
{
    FakeMac mac;
    StandInOsascript osascript{mac};
    FakeHelper helper{(prepare(mac), mac)};

    static void prepare(const FakeMac& mac)
    {
        mac.makeApp(veldo::platform::mainBundleURL(),
                    PlistValue(PlistValue::Dictionary{{"CFBundleIdentifier", "orbelkan.Veldo"},
                                                      {"CFBundleVersion", "1.2"}}));
        mac.write(veldo::platform::mainBundleURL().appendingPathComponent(
                      std::string(veldo::common::kHelperLaunchDaemonPlist)),
                  "<plist/>");
        EXPECT_TRUE(veldo::removal::helperDaemonService()->registerService());
        (void)veldo::platform::UserDefaults::standard()->setBool(
            veldo::core::CleanupSettings::kUsePrivilegedHelperKey, true);
    }

    HelperMac()
    {
        auto version = veldo::common::HelperVersionReply{3, "1.2"}.encodeJSON();
        helper.setReply("version", *version);
    }

    void reply(const std::vector<VeldoHelperItemResult>& results,
               std::string_view method = "moveToTrash") const
    {
        helper.setReply(
            method,
            *HelperReplyEnvelope::withData(*VeldoHelperReply{results}.encodeJSON()).encodeJSON());
    }

    std::size_t moveRequests() const
    {
        std::size_t n = 0;
        for (const auto& line : helper.requests())
            n += line.starts_with("moveToTrash ") ? 1 : 0;
        return n;
    }

    // How many items each request of `method` ("moveToTrash" or "restore") carried, in order.
    std::vector<std::size_t> itemsPerRequest(const std::string& method) const
    {
        const std::string key = method == "restore" ? "\"trashPath\":" : "\"source\":";
        std::vector<std::size_t> sizes;
        for (const auto& line : helper.requests()) {
            if (!line.starts_with(method + " "))
                continue;
            std::size_t n = 0;
            for (auto at = line.find(key); at != std::string::npos; at = line.find(key, at + 1))
                ++n;
            sizes.push_back(n);
        }
        return sizes;
    }

    Context context() const
    {
        return Context{mac.home(), {"/Applications/Veldo.app"_mac}, {}, false};
    }
    MacPath trash(const std::string& name) const
    {
        return mac.home().appendingPathComponent(".Trash").appendingPathComponent(name);
    }
};

inline VeldoHelperItemResult result(const MacPath& path, VeldoHelperItemResult::Outcome outcome)
{
    VeldoHelperItemResult r;
    r.path = path.path();
    r.outcome = outcome;
    return r;
}

} // namespace veldo::testsupport
