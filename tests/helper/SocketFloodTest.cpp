// A flood through the genuine client from one account that is no administrator: 5,000 idle
// connections, then 32 connections that each announce a 16 MiB frame, send all of it but its last
// byte and stall. Throughout, the daemon stays small (resident memory under 64 MiB, fewer than
// 100 threads) and serves an administrator's moves. Prints its figures; labelled long.
#include <algorithm>
#include <atomic>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include "common/HelperFrame.h"
#include "common/HelperReplyEnvelope.h"
#include "common/HelperRequestEnvelope.h"
#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperReply.h"
#include "tests/helper/InstalledHelper.h"
#include "tests/support/FakeMac.h"
#include "tests/support/TestUsers.h"

namespace veldo::helper {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::ClientUser;
using testsupport::InstalledHelper;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true; // shadow memory makes the daemon's resident memory no measure
#else
constexpr bool kSanitized = false;
#endif

struct Figures
{
    long residentKiB = 0;
    long peakKiB = 0;
    long threads = 0;
    long descriptors = 0;
};

Figures measure(pid_t pid)
{
    Figures figures;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        std::istringstream fields(line);
        std::string key;
        long value = 0;
        fields >> key >> value;
        if (key == "VmRSS:")
            figures.residentKiB = value;
        else if (key == "VmHWM:")
            figures.peakKiB = value;
        else if (key == "Threads:")
            figures.threads = value;
    }
    for ([[maybe_unused]] const auto& entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        ++figures.descriptors;
    return figures;
}

TEST(SocketFlood, IdleConnectionsAndStalledFramesLeaveTheDaemonSmallAndServing)
{
    auto admin = veldo::testsupport::TestUser::make(/*admin=*/true);
    auto plain = veldo::testsupport::TestUser::make();
    if (!admin || !plain)
        GTEST_SKIP() << "clients are test users: run as root";
    // The flooding client inherits room for its connections.
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    const rlimit saved = files;
    files.rlim_cur = files.rlim_max = std::max<rlim_t>(files.rlim_max, 16384);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0);

    veldo::testsupport::FakeMac mac;
    const platform::MacPath home = admin->homeIn(mac);
    plain->homeIn(mac);
    InstalledHelper helper(mac, {});
    helper.start();

    // A move of one file and `missing` files that aren't there (so that 150 of them make a
    // frame of more than one piece) into the administrator's Trash; true when the file was moved
    // and the rest answered missing.
    int round = 0;
    const auto adminMoves = [&](int missing) {
        common::VeldoHelperMoveRequest request;
        for (int at = 0; at <= missing; ++at) {
            const std::string name = "r" + std::to_string(round) + "-" + std::to_string(at) + "-" +
                                     std::string(200, 'n');
            const std::string source = "/Library/Caches/flood/" + name;
            if (at == 0)
                mac.write(platform::MacPath(source), "x");
            request.items.push_back({source, home.path() + "/.Trash/" + name});
        }
        ++round;
        const std::string envelope =
            *common::HelperRequestEnvelope{common::HelperMethod::moveToTrash, *request.encodeJSON()}
                 .encodeJSON();
        auto run = testsupport::spawnClient(mac, helper.client(), {"call", envelope},
                                            ClientUser{admin->uid(), admin->gid()});
        const std::string line = run.line(60s).value_or("");
        if (!line.starts_with("reply "))
            return false;
        const auto replied = common::HelperReplyEnvelope::decodeJSON(line.substr(6));
        const auto reply = replied && replied->data
                               ? common::VeldoHelperReply::decodeJSON(*replied->data)
                               : Result<common::VeldoHelperReply>(Error{});
        using Outcome = common::VeldoHelperItemResult::Outcome;
        if (!reply || reply->results.size() != request.items.size())
            return false;
        for (std::size_t at = 0; at < reply->results.size(); ++at)
            if (reply->results[at].outcome != (at == 0 ? Outcome::done : Outcome::missing))
                return false;
        return true;
    };

    const auto version =
        *common::HelperRequestEnvelope{common::HelperMethod::version, {}}.encodeJSON();
    auto first = testsupport::spawnClient(mac, helper.client(), {"call", version},
                                          ClientUser{admin->uid(), admin->gid()});
    ASSERT_TRUE(first.line().value_or("").starts_with("reply ")) << helper.log();
    const Figures rest = measure(helper.pid());
    std::cout << "daemon at rest: " << rest.residentKiB / 1024.0 << " MiB resident, "
              << rest.threads << " threads, " << rest.descriptors << " descriptors\n";

    struct Phase
    {
        const char* label;
        const char* count;
        const char* length;
        int missing;
    };
    for (const Phase& phase : {Phase{"5,000 idle connections", "5000", "0", 0},
                               Phase{"32 stalled 16 MiB frames", "32", "16777216", 150}}) {
        SCOPED_TRACE(phase.label);
        // The most the daemon held at any one time of the phase, sampled every 20 ms.
        Figures most;
        std::atomic<bool> sampling = true;
        std::jthread sampler([&] {
            while (sampling) {
                const Figures now = measure(helper.pid());
                most.residentKiB = std::max(most.residentKiB, now.residentKiB);
                most.peakKiB = std::max(most.peakKiB, now.peakKiB);
                most.threads = std::max(most.threads, now.threads);
                most.descriptors = std::max(most.descriptors, now.descriptors);
                std::this_thread::sleep_for(20ms);
            }
        });
        auto flood =
            testsupport::spawnClient(mac, helper.client(), {"flood", phase.count, phase.length},
                                     ClientUser{plain->uid(), plain->gid()});
        const std::string ready = flood.line(120s).value_or("");
        ASSERT_TRUE(ready.starts_with("ready ")) << ready << helper.log();
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(adminMoves(phase.missing)) << helper.log();
        const auto served = std::chrono::steady_clock::now() - started;
        // Still within the frames' time: the stalled senders are held, not yet closed.
        EXPECT_LT(served, 8s);
        const Figures held = measure(helper.pid());
        sampling = false;
        sampler.join();
        std::cout << phase.label << " (client: " << ready.substr(6)
                  << " connections and body bytes sent): at most " << most.residentKiB / 1024.0
                  << " MiB resident (peak " << most.peakKiB / 1024.0 << " MiB), " << most.threads
                  << " threads, " << most.descriptors << " descriptors; after the administrator's "
                  << "move of " << phase.missing + 1 << " item(s) in "
                  << std::chrono::duration_cast<std::chrono::milliseconds>(served).count()
                  << " ms: " << held.residentKiB / 1024.0 << " MiB, " << held.threads
                  << " threads\n";
        if (!kSanitized) {
            EXPECT_LT(most.peakKiB, 64 * 1024);
        }
        EXPECT_LT(most.threads, 100);
        flood.send("\n");
        EXPECT_EQ(flood.wait(), 0);
    }
    EXPECT_TRUE(helper.logShows("connections open, the most one account may have")) << helper.log();
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

} // namespace
} // namespace veldo::helper
