// The helper daemon through its real socket: a version round trip (a connection per call, as the
// app makes them), move batches of 1,000 and 5,000 single files into the caller's Trash (the
// ledger appends a change after every item), and 500 root-owned folders of 20 files each moved into
// the Trash and put back, each against `mv` of a tree of the same shape in the same run (the ratio
// counters); and the 5,000 files one cleanup hands the helper, moved and put back. Runs as root: it
// installs the daemon and this program in a test app bundle of a temporary Mac, makes a throw-away
// administrator account, starts the daemon on a socket it binds, and runs the timed part as that
// account from the bundle (only the app's executable may call the daemon); that part prints the
// figures.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "BenchMac.h"
#include "TimingSupport.h"
#include "base/UniqueFd.h"
#include "common/HelperEndpoint.h"
#include "common/HelperFrame.h"
#include "common/HelperReplyEnvelope.h"
#include "common/HelperRequestEnvelope.h"
#include "common/VeldoHelperMoveRequest.h"
#include "common/VeldoHelperProtocol.h"
#include "common/VeldoHelperReply.h"
#include "common/VeldoHelperRestoreRequest.h"

extern char** environ; // NOLINT(readability-identifier-naming): the C library's name

namespace {

using namespace veldo;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The folder bench's trees: kFolders folders of kFilesPerFolder files, the helper's root-owned
// in /Library, the one `mv` moves the account's own in its home.
constexpr int kFolders = 500;
constexpr int kFilesPerFolder = 20;
constexpr std::string_view kHelperTree = "/Library/Application Support/Veldo Bench";
constexpr std::string_view kMvTree = "/Mv Bench";

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// ---- The timed part, run as the administrator from the bundle.

base::UniqueFd connectToHelper()
{
    const std::string folder = std::string(std::getenv("VELDO_MAC_ROOT")) + // NOLINT
                               std::string(common::kHelperSocketFolder);
    const base::UniqueFd folderFd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const auto address = common::socketAddressIn(folderFd.get(), common::kHelperSocketName);
    base::UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!address ||
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0)
        return {};
    return socket;
}

std::optional<std::string> exchange(const std::string& envelope)
{
    const base::UniqueFd socket = connectToHelper();
    if (!socket || !common::writeFrame(socket.get(), envelope))
        return std::nullopt;
    auto reply = common::readFrame(socket.get(),
                                   std::chrono::steady_clock::now() + std::chrono::seconds(900));
    if (!reply || !*reply)
        return std::nullopt;
    return std::move(**reply);
}

// A reply envelope's text as the helper's reply record, with every item done.
bool allDone(const std::optional<std::string>& text, std::size_t count)
{
    const auto envelope = text ? common::HelperReplyEnvelope::decodeJSON(*text)
                               : Result<common::HelperReplyEnvelope>(Error{});
    const auto reply = envelope && envelope->data
                           ? common::VeldoHelperReply::decodeJSON(*envelope->data)
                           : Result<common::VeldoHelperReply>(Error{});
    return reply && reply->results.size() == count &&
           std::all_of(reply->results.begin(), reply->results.end(), [](const auto& result) {
               return result.outcome == common::VeldoHelperItemResult::Outcome::done;
           });
}

void BM_HelperVersionRoundTrip(benchmark::State& state)
{
    const std::string envelope =
        *common::HelperRequestEnvelope{common::HelperMethod::version, {}}.encodeJSON();
    for (auto _ : state) {
        if (!exchange(envelope)) {
            state.SkipWithError("the daemon didn't answer");
            return;
        }
    }
}
BENCHMARK(BM_HelperVersionRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_HelperMoveBatch(benchmark::State& state)
{
    const std::string root = std::getenv("VELDO_MAC_ROOT"); // NOLINT(concurrency-mt-unsafe)
    const std::string home = std::getenv("BENCH_HOME");     // NOLINT(concurrency-mt-unsafe)
    const auto count = static_cast<std::size_t>(state.range(0));
    int round = 0;
    double mvSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folder = home + "/Library/Caches/Bench/" + std::to_string(++round);
        fs::create_directories(root + folder);
        common::VeldoHelperMoveRequest request;
        for (std::size_t at = 0; at < count; ++at) {
            const std::string name = "r" + std::to_string(round) + "-" + std::to_string(at);
            std::ofstream(root + folder + "/" + name) << "x";
            request.items.push_back({folder + "/" + name, home + "/.Trash/" + name});
        }
        const std::string envelope =
            *common::HelperRequestEnvelope{common::HelperMethod::moveToTrash, *request.encodeJSON()}
                 .encodeJSON();
        state.ResumeTiming();
        const auto text = exchange(envelope);
        state.PauseTiming();
        const auto envelopeReply = text ? common::HelperReplyEnvelope::decodeJSON(*text)
                                        : Result<common::HelperReplyEnvelope>(Error{});
        const auto reply = envelopeReply && envelopeReply->data
                               ? common::VeldoHelperReply::decodeJSON(*envelopeReply->data)
                               : Result<common::VeldoHelperReply>(Error{});
        if (!reply || reply->results.size() != count ||
            std::any_of(reply->results.begin(), reply->results.end(), [](const auto& result) {
                return result.outcome != common::VeldoHelperItemResult::Outcome::done;
            })) {
            state.SkipWithError("the batch wasn't moved whole");
            return;
        }
        // The same number of the account's own files moved into the Trash with `mv`.
        const std::string mvFolder = folder + "-mv";
        fs::create_directories(root + mvFolder);
        std::vector<std::string> mvSources;
        for (std::size_t at = 0; at < count; ++at) {
            const std::string path =
                root + mvFolder + "/m" + std::to_string(round) + "-" + std::to_string(at);
            std::ofstream(path) << "x";
            mvSources.push_back(path);
        }
        const auto start = Clock::now();
        if (!bench::runMv(root + home + "/.Trash", mvSources)) {
            state.SkipWithError("mv failed");
            return;
        }
        mvSeconds += secondsSince(start);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    state.counters["mv_ms"] =
        benchmark::Counter(mvSeconds * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_HelperMoveBatch)
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The helper's share of one cleanup, as many single files as one cleanup hands it (one request):
// moved into the Trash and put back (iteration time: both).
void BM_HelperCleanupAndUndo(benchmark::State& state)
{
    const std::string root = std::getenv("VELDO_MAC_ROOT"); // NOLINT(concurrency-mt-unsafe)
    const std::string home = std::getenv("BENCH_HOME");     // NOLINT(concurrency-mt-unsafe)
    const auto count = static_cast<std::size_t>(state.range(0));
    int round = 0;
    double moveSeconds = 0;
    double restoreSeconds = 0;
    for (auto _ : state) {
        const std::string folder = home + "/Library/Caches/Cleanup/" + std::to_string(++round);
        fs::create_directories(root + folder);
        common::VeldoHelperMoveRequest move;
        common::VeldoHelperRestoreRequest restore;
        for (std::size_t at = 0; at < count; ++at) {
            const std::string name = "c" + std::to_string(round) + "-" + std::to_string(at);
            std::ofstream(root + folder + "/" + name) << "x";
            move.items.push_back({folder + "/" + name, home + "/.Trash/" + name});
            restore.items.push_back({home + "/.Trash/" + name, folder + "/" + name});
        }
        const std::string moveEnvelope =
            *common::HelperRequestEnvelope{common::HelperMethod::moveToTrash, *move.encodeJSON()}
                 .encodeJSON();
        const std::string restoreEnvelope =
            *common::HelperRequestEnvelope{common::HelperMethod::restore, *restore.encodeJSON()}
                 .encodeJSON();
        auto start = Clock::now();
        const auto moved = exchange(moveEnvelope);
        const double m = secondsSince(start);
        start = Clock::now();
        const auto back = exchange(restoreEnvelope);
        const double r = secondsSince(start);
        if (!allDone(moved, count) || !allDone(back, count)) {
            state.SkipWithError("the cleanup wasn't moved and put back whole");
            return;
        }
        state.SetIterationTime(m + r);
        moveSeconds += m;
        restoreSeconds += r;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    state.counters["move_ms"] =
        benchmark::Counter(moveSeconds * 1000, benchmark::Counter::kAvgIterations);
    state.counters["restore_ms"] =
        benchmark::Counter(restoreSeconds * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_HelperCleanupAndUndo)
    ->Arg(static_cast<std::int64_t>(common::kHelperRequestItemLimit))
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

// The install part's folders moved into the Trash through the helper and put back, then the
// account's own folders of the same shape moved there and back with `mv`; iteration time is
// the helper's move and put-back.
void BM_HelperFolders(benchmark::State& state)
{
    const std::string root = std::getenv("VELDO_MAC_ROOT"); // NOLINT(concurrency-mt-unsafe)
    const std::string home = std::getenv("BENCH_HOME");     // NOLINT(concurrency-mt-unsafe)
    common::VeldoHelperMoveRequest move;
    common::VeldoHelperRestoreRequest restore;
    std::vector<std::string> mvSources;
    std::vector<std::string> mvInTrash;
    for (int at = 0; at < kFolders; ++at) {
        const std::string name = "a" + std::to_string(at);
        const std::string original = std::string(kHelperTree) + "/" + name;
        move.items.push_back({original, home + "/.Trash/" + name});
        restore.items.push_back({home + "/.Trash/" + name, original});
        const std::string mvName = "m" + std::to_string(at);
        mvSources.push_back(root + home + std::string(kMvTree) + "/" + mvName);
        mvInTrash.push_back(root + home + "/.Trash/" + mvName);
    }
    const std::string moveEnvelope =
        *common::HelperRequestEnvelope{common::HelperMethod::moveToTrash, *move.encodeJSON()}
             .encodeJSON();
    const std::string restoreEnvelope =
        *common::HelperRequestEnvelope{common::HelperMethod::restore, *restore.encodeJSON()}
             .encodeJSON();
    double moveSeconds = 0;
    double restoreSeconds = 0;
    double mvSeconds = 0;
    double mvBackSeconds = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        const auto moved = exchange(moveEnvelope);
        const double m = secondsSince(start);
        start = Clock::now();
        const auto back = exchange(restoreEnvelope);
        const double r = secondsSince(start);
        if (!allDone(moved, move.items.size()) || !allDone(back, restore.items.size())) {
            state.SkipWithError("the folders weren't moved and put back whole");
            return;
        }
        start = Clock::now();
        const bool mvMoved = bench::runMv(root + home + "/.Trash", mvSources);
        const double mv = secondsSince(start);
        start = Clock::now();
        const bool mvBack = mvMoved && bench::runMv(root + home + std::string(kMvTree), mvInTrash);
        const double mvB = secondsSince(start);
        if (!mvBack) {
            state.SkipWithError("mv failed");
            return;
        }
        state.SetIterationTime(m + r);
        moveSeconds += m;
        restoreSeconds += r;
        mvSeconds += mv;
        mvBackSeconds += mvB;
    }
    const auto average = [](double seconds) {
        return benchmark::Counter(seconds * 1000, benchmark::Counter::kAvgIterations);
    };
    state.counters["move_ms"] = average(moveSeconds);
    state.counters["restore_ms"] = average(restoreSeconds);
    state.counters["mv_ms"] = average(mvSeconds);
    state.counters["mv_back_ms"] = average(mvBackSeconds);
    state.counters["move_ratio"] = mvSeconds > 0 ? moveSeconds / mvSeconds : 0;
    state.counters["restore_ratio"] = mvBackSeconds > 0 ? restoreSeconds / mvBackSeconds : 0;
}
BENCHMARK(BM_HelperFolders)->Iterations(3)->Unit(benchmark::kMillisecond)->UseManualTime();

// ---- The set-up, run as root.

bool run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0; // NOLINT(cert-env33-c)
}

void copyExecutable(const std::string& from, const std::string& to)
{
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    ::chown(to.c_str(), 0, 0);
    ::chmod(to.c_str(), 0755);
}

int install(int argc, char** argv)
{
    bench::BenchMac mac("helper-socket", {"/private/var/db", "/private/var/run", "/private/var/log",
                                          "/Library/LaunchDaemons"});
    const std::string root = mac.host(platform::MacPath("/"));
    ::chmod(root.c_str(), 0755);
    const std::string bundle = "/Applications/Veldo.app";
    fs::create_directories(root + bundle + "/Contents/MacOS");
    platform::PlistValue::Dictionary info;
    info.emplace("CFBundleIdentifier", "orbelkan.Veldo");
    info.emplace("CFBundleExecutable", "Veldo");
    info.emplace("CFBundleVersion", "2");
    mac.plist(platform::MacPath(bundle + "/Contents/Info.plist"),
              platform::PlistValue(std::move(info)));
    const std::string client = root + bundle + "/Contents/MacOS/Veldo";
    const std::string daemon = root + bundle + "/Contents/MacOS/orbelkan.Veldo.Helper";
    copyExecutable("/proc/self/exe", client);
    copyExecutable(VELDO_HELPER_PROGRAM, daemon);

    const std::string name = "vb" + std::to_string(::getpid());
    if (!run("groupadd -f admin") ||
        !run("useradd -M -d /nonexistent -s /usr/sbin/nologin -G admin " + name)) {
        std::cerr << "couldn't make the administrator account\n";
        return 1;
    }
    const passwd* account = ::getpwnam(name.c_str()); // NOLINT(concurrency-mt-unsafe)
    const uid_t uid = account ? account->pw_uid : 0;
    const gid_t gid = account ? account->pw_gid : 0;
    const std::string home = "/Users/" + name;
    for (const char* folder : {"", "/.Trash", "/Library", "/Library/Caches"}) {
        fs::create_directories(root + home + folder);
        ::chown((root + home + folder).c_str(), uid, gid);
    }
    ::chmod((root + home + "/.Trash").c_str(), 0700);
    // The folder bench's trees: the helper's root's, the one for `mv` the account's.
    for (int at = 0; at < kFolders; ++at) {
        const std::string helperFolder =
            root + std::string(kHelperTree) + "/a" + std::to_string(at);
        const std::string mvFolder = root + home + std::string(kMvTree) + "/m" + std::to_string(at);
        fs::create_directories(helperFolder);
        fs::create_directories(mvFolder);
        ::chown(mvFolder.c_str(), uid, gid);
        for (int f = 0; f < kFilesPerFolder; ++f) {
            const std::string file = "/f" + std::to_string(f);
            std::ofstream(helperFolder + file) << "helper bench";
            std::ofstream(mvFolder + file) << "helper bench";
            ::chown((mvFolder + file).c_str(), uid, gid);
        }
    }
    ::chown((root + home + std::string(kMvTree)).c_str(), uid, gid);

    const base::UniqueFd runFolder(
        ::open((root + "/private/var/run").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const auto address = common::socketAddressIn(runFolder.get(), common::kHelperSocketName);
    const base::UniqueFd listening(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1; // as the activator binds it: early clients carry their credentials too
    if (!address ||
        ::bind(listening.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) !=
            0 ||
        ::setsockopt(listening.get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0 ||
        ::listen(listening.get(), 64) != 0) {
        std::cerr << "couldn't bind the socket\n";
        run("userdel " + name);
        return 1;
    }
    ::chmod((root + std::string(common::kHelperSocketPath)).c_str(), 0666);

    const pid_t daemonPid = ::fork();
    if (daemonPid == 0) {
        const int log =
            ::open((root + "/daemon.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ::dup2(log, STDERR_FILENO);
        ::dup2(listening.get(), 3);
        const std::string listenPid = "LISTEN_PID=" + std::to_string(::getpid());
        const std::string macRoot = "VELDO_MAC_ROOT=" + root;
        const char* env[] = {listenPid.c_str(), "LISTEN_FDS=1", macRoot.c_str(), nullptr};
        ::execle(daemon.c_str(), daemon.c_str(), nullptr, env);
        ::_exit(127);
    }
    const pid_t clientPid = ::fork();
    if (clientPid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
            ::setresuid(uid, uid, uid) != 0)
            ::_exit(126);
        const std::string macRoot = "VELDO_MAC_ROOT=" + root;
        const std::string benchHome = "BENCH_HOME=" + home;
        const char* env[] = {macRoot.c_str(), benchHome.c_str(), nullptr};
        std::vector<const char*> args{client.c_str(), "--as-client"};
        for (int at = 1; at < argc; ++at)
            args.push_back(argv[at]);
        args.push_back(nullptr);
        ::execve(client.c_str(), const_cast<char**>(args.data()), const_cast<char**>(env));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(clientPid, &status, 0);
    ::kill(daemonPid, SIGTERM);
    ::waitpid(daemonPid, nullptr, 0);
    run("userdel " + name);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string_view(argv[1]) == "--as-client") {
        argv[1] = argv[0];
        --argc;
        ++argv;
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        return 0;
    }
    if (::geteuid() != 0) {
        std::cerr << "helper_socket_bench installs the helper daemon: run it as root\n";
        return 0;
    }
    return install(argc, argv);
}
