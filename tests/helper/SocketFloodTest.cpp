// Floods through the genuine client. From one account that is no administrator: 5,000 idle
// connections, then 32 connections that each announce a 16 MiB frame, send all of it but its last
// byte and stall; throughout, the daemon stays small (resident memory under 64 MiB, fewer than
// 100 threads) and serves an administrator's moves. From eight such accounts at once, both ways:
// an administrator's moves of 200 KB are answered every time. And two requests of 16 MiB of an
// administrator at once: afterwards the daemon is small again. Prints its figures; labelled long.
#include <algorithm>
#include <atomic>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "common/HelperFrame.h"
#include "common/HelperReplyEnvelope.h"
#include "common/HelperRequestEnvelope.h"
#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperProtocol.h"
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

// Moves of an administrator through the genuine client: one file and `missing` files that aren't
// there (so that 150 of them make a frame of more than one piece, 420 one of over 200 KB) into
// the administrator's Trash; true when the file was moved and the rest answered missing.
class AdministratorMoves
{
public:
    AdministratorMoves(const veldo::testsupport::FakeMac& mac, const InstalledHelper& helper,
                       const veldo::testsupport::TestUser& admin, platform::MacPath home)
        : m_mac(mac), m_helper(helper), m_admin(admin), m_home(std::move(home))
    {
    }

    bool operator()(int missing)
    {
        common::VeldoHelperMoveRequest request;
        for (int at = 0; at <= missing; ++at) {
            const std::string name = "r" + std::to_string(m_round) + "-" + std::to_string(at) +
                                     "-" + std::string(200, 'n');
            const std::string source = "/Library/Caches/flood/" + name;
            if (at == 0)
                m_mac.write(platform::MacPath(source), "x");
            request.items.push_back({source, m_home.path() + "/.Trash/" + name});
        }
        const std::string envelope =
            *common::HelperRequestEnvelope{common::HelperMethod::moveToTrash, *request.encodeJSON()}
                 .encodeJSON();
        lastBytes = envelope.size();
        // Larger than an argument may be: the client reads it from a file.
        const std::string file = m_mac.root() + "/request-" + std::to_string(m_round++) + ".json";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << envelope;
        ::chmod(file.c_str(), 0644);
        auto run = testsupport::spawnClient(m_mac, m_helper.client(), {"call-file", file},
                                            ClientUser{m_admin.uid(), m_admin.gid()});
        const std::string line = run.line(60s).value_or("");
        fs::remove(file);
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
    }

    std::size_t lastBytes = 0; // the size of the latest request envelope

private:
    const veldo::testsupport::FakeMac& m_mac;
    const InstalledHelper& m_helper;
    const veldo::testsupport::TestUser& m_admin;
    platform::MacPath m_home;
    int m_round = 0;
};

// Room for the flooding clients' connections, which they inherit; put back when it goes.
class RoomForConnections
{
public:
    RoomForConnections()
    {
        EXPECT_EQ(::getrlimit(RLIMIT_NOFILE, &m_saved), 0);
        rlimit files = m_saved;
        files.rlim_cur = files.rlim_max = std::max<rlim_t>(files.rlim_max, 16384);
        EXPECT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0);
    }
    RoomForConnections(const RoomForConnections&) = delete;
    RoomForConnections& operator=(const RoomForConnections&) = delete;
    ~RoomForConnections() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }

private:
    rlimit m_saved{};
};

// The most the daemon holds while it lives, sampled every 20 ms.
class Sampler
{
public:
    explicit Sampler(pid_t pid)
        : m_thread([this, pid](const std::stop_token& stop) {
              while (!stop.stop_requested()) {
                  const Figures now = measure(pid);
                  const std::lock_guard guard(m_lock);
                  m_most.residentKiB = std::max(m_most.residentKiB, now.residentKiB);
                  m_most.peakKiB = std::max(m_most.peakKiB, now.peakKiB);
                  m_most.threads = std::max(m_most.threads, now.threads);
                  m_most.descriptors = std::max(m_most.descriptors, now.descriptors);
                  std::this_thread::sleep_for(20ms);
              }
          })
    {
    }
    Figures most()
    {
        const std::lock_guard guard(m_lock);
        return m_most;
    }

private:
    std::mutex m_lock;
    Figures m_most;
    std::jthread m_thread;
};

TEST(SocketFlood, IdleConnectionsAndStalledFramesLeaveTheDaemonSmallAndServing)
{
    auto admin = veldo::testsupport::TestUser::make(/*admin=*/true);
    auto plain = veldo::testsupport::TestUser::make();
    if (!admin || !plain)
        GTEST_SKIP() << "clients are test users: run as root";
    const RoomForConnections room;

    veldo::testsupport::FakeMac mac;
    const platform::MacPath home = admin->homeIn(mac);
    plain->homeIn(mac);
    InstalledHelper helper(mac, {});
    helper.start();

    AdministratorMoves adminMoves(mac, helper, *admin, home);

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
}

TEST(SocketFlood, AccountsThatAreNoAdministratorsNeverKeepAnAdministratorWaiting)
{
    auto admin = veldo::testsupport::TestUser::make(/*admin=*/true);
    std::vector<veldo::testsupport::TestUser> others;
    for (int i = 0; i < 8; ++i)
        if (auto other = veldo::testsupport::TestUser::make())
            others.push_back(std::move(*other));
    if (!admin || others.size() < 8)
        GTEST_SKIP() << "clients are test users: run as root";
    const RoomForConnections room;
    veldo::testsupport::FakeMac mac;
    const platform::MacPath home = admin->homeIn(mac);
    // The stalled frames stay stalled for the whole test.
    InstalledHelper::Options options;
    options.environment = {"VELDO_HELPER_FRAME_TIMEOUT=60"};
    InstalledHelper helper(mac, options);
    helper.start();
    AdministratorMoves adminMoves(mac, helper, *admin, home);
    ASSERT_TRUE(adminMoves(0)) << helper.log();

    // Each account: 16 idle connections, and 16 that announce 16 MiB and stall before the end.
    Sampler sampler(helper.pid());
    std::vector<testsupport::ClientRun> floods;
    for (const auto& other : others)
        for (const char* length : {"0", "16777216"})
            floods.push_back(testsupport::spawnClient(mac, helper.client(), {"flood", "16", length},
                                                      ClientUser{other.uid(), other.gid()}));
    long held = 0;
    for (auto& flood : floods) {
        const std::string ready = flood.line(120s).value_or("");
        ASSERT_TRUE(ready.starts_with("ready ")) << ready << helper.log();
        held += std::stol(ready.substr(6));
    }
    constexpr int kRounds = 5;
    int answered = 0;
    std::chrono::steady_clock::duration slowest{};
    for (int round = 0; round < kRounds; ++round) {
        const auto started = std::chrono::steady_clock::now();
        if (adminMoves(420))
            ++answered;
        slowest = std::max(slowest, std::chrono::steady_clock::now() - started);
    }
    EXPECT_GE(adminMoves.lastBytes, 200'000u);
    EXPECT_EQ(answered, kRounds) << helper.log();
    const Figures most = sampler.most();
    std::cout << "8 accounts that are no administrators, each with 16 idle connections and 16 "
              << "stalled 16 MiB frames (" << held << " connections made): " << answered << " of "
              << kRounds << " administrator moves of " << adminMoves.lastBytes
              << " bytes answered, the slowest in "
              << std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count()
              << " ms; daemon at most " << most.residentKiB / 1024.0 << " MiB resident, "
              << most.threads << " threads, " << most.descriptors << " descriptors\n";
    if (!kSanitized) {
        EXPECT_LT(most.peakKiB, 64 * 1024);
    }
    for (auto& flood : floods)
        flood.send("\n");
    for (auto& flood : floods)
        EXPECT_EQ(flood.wait(), 0);
}

TEST(SocketFlood, LargeRequestsGiveTheirMemoryBackOnceAnswered)
{
    // Two administrators: each one's share of the frame budget holds one such request.
    auto first = veldo::testsupport::TestUser::make(/*admin=*/true);
    auto second = veldo::testsupport::TestUser::make(/*admin=*/true);
    if (!first || !second)
        GTEST_SKIP() << "the clients are test users: run as root";
    veldo::testsupport::FakeMac mac;
    first->homeIn(mac);
    second->homeIn(mac);
    InstalledHelper helper(mac, {});
    helper.start();

    // A move of 5,001 items with long names, just under the largest frame: read and decoded whole,
    // then refused as too large.
    common::VeldoHelperMoveRequest request;
    const std::string name(1560, 'n');
    for (int at = 0; at <= 5000; ++at)
        request.items.push_back(
            {"/Library/Caches/" + std::to_string(at) + name, "/Users/Shared/.Trash/" + name});
    const std::string envelope =
        *common::HelperRequestEnvelope{common::HelperMethod::moveToTrash, *request.encodeJSON()}
             .encodeJSON();
    ASSERT_GT(envelope.size(), std::size_t{15} << 20);
    ASSERT_LE(envelope.size(), common::kMaxHelperFramePayload);
    const std::string file = mac.root() + "/large.json";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << envelope;
    ::chmod(file.c_str(), 0644);
    const std::string unreadable =
        "reply " +
        *common::HelperReplyEnvelope::withError(std::string(common::kHelperErrorUnreadableRequest))
             .encodeJSON();

    const Figures before = measure(helper.pid());
    // Under a sanitizer (no figures) one round shows the answers.
    for (int round = 0; round < (kSanitized ? 1 : 2); ++round) {
        SCOPED_TRACE(round);
        Sampler sampler(helper.pid());
        // Two at once.
        std::vector<testsupport::ClientRun> calls;
        for (const auto* admin : {&*first, &*second})
            calls.push_back(testsupport::spawnClient(mac, helper.client(), {"call-file", file},
                                                     ClientUser{admin->uid(), admin->gid()}));
        for (auto& call : calls)
            EXPECT_EQ(call.line(60s).value_or(""), unreadable) << helper.log();
        std::this_thread::sleep_for(300ms); // the memory goes back once the replies are out
        const Figures rest = measure(helper.pid());
        const Figures most = sampler.most();
        std::cout << "two requests of " << envelope.size() << " bytes at once: daemon at most "
                  << most.residentKiB / 1024.0 << " MiB resident (from "
                  << before.residentKiB / 1024.0 << " MiB), at rest afterwards "
                  << rest.residentKiB / 1024.0 << " MiB\n";
        if (!kSanitized) {
            EXPECT_LT(rest.residentKiB, 64 * 1024);
        }
    }
}

} // namespace
} // namespace veldo::helper
