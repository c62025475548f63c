#include "helper/DaemonMain.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/HelperMoveLedger.h"
#include "common/HelperPathRules.h"
#include "helper/BuildFloor.h"
#include "helper/ClientRequirement.h"
#include "helper/DaemonBuild.h"
#include "helper/HelperLog.h"
#include "helper/HelperService.h"
#include "helper/InterruptedRecords.h"
#include "helper/SystemFolders.h"

namespace veldo::helper {

namespace {

HelperLog& mainLog()
{
    return HelperLog::category("main");
}

std::optional<long> environmentNumber(const char* name)
{
    const char* text = std::getenv(name); // NOLINT(concurrency-mt-unsafe): before any thread
    if (!text || !*text)
        return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0')
        return std::nullopt;
    return value;
}

} // namespace

std::optional<rlim_t> raisedDescriptorLimit(rlim_t soft, rlim_t hard)
{
    if (soft > 4095)
        return std::nullopt;
    return std::min<rlim_t>(hard, 4096);
}

base::UniqueFd inheritedListeningSocket()
{
    if (environmentNumber("LISTEN_PID") != ::getpid() || environmentNumber("LISTEN_FDS") != 1)
        return {};
    int value = 0;
    socklen_t size = sizeof value;
    if (::getsockopt(3, SOL_SOCKET, SO_DOMAIN, &value, &size) != 0 || value != AF_UNIX)
        return {};
    size = sizeof value;
    if (::getsockopt(3, SOL_SOCKET, SO_TYPE, &value, &size) != 0 || value != SOCK_STREAM)
        return {};
    size = sizeof value;
    if (::getsockopt(3, SOL_SOCKET, SO_ACCEPTCONN, &value, &size) != 0 || value != 1)
        return {};
    ::fcntl(3, F_SETFD, FD_CLOEXEC);
    return base::UniqueFd(3);
}

void handleTerminationSignal()
{
    mainLog().notice("SIGTERM; stopping after the current item");
    HelperService::shutdownFlag().set();
    HelperService::workLock().lock(); // never released
    HelperService::flushPendingReply(std::chrono::seconds(2));
    ::_exit(0);
}

void daemonMain(const DaemonSettings& settings)
{
    if (::getuid() != 0) {
        mainLog().error("Must be started by launchd as root");
        ::_exit(77);
    }

    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        if (const auto soft = raisedDescriptorLimit(limit.rlim_cur, limit.rlim_max)) {
            limit.rlim_cur = *soft;
            (void)::setrlimit(RLIMIT_NOFILE, &limit);
        }
    }
    ::umask(022);
    // Large blocks (a request frame, its text once decoded) are mapped on their own and unmapped
    // when freed, and free memory at the top of any heap goes back early, so that the daemon is
    // small again once a large request has gone (the listener trims the rest after one). Fixed
    // thresholds: glibc would otherwise raise them after the first large block was freed.
    // NOLINTBEGIN(concurrency-mt-unsafe): before any thread
    (void)::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    (void)::mallopt(M_TRIM_THRESHOLD, 1024 * 1024);
    // NOLINTEND(concurrency-mt-unsafe)

    // Before the first thread: every thread inherits the blocked SIGTERM, which the waiting
    // thread takes (a blocked signal is kept even while ignored).
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &terminate, nullptr);
    std::signal(SIGTERM, SIG_IGN);
    std::thread([terminate] {
        int signal = 0;
        while (sigwait(&terminate, &signal) != 0 || signal != SIGTERM) {
        }
        handleTerminationSignal();
    }).detach();

    const std::string standardised = common::stateDirectoryURL().standardized().path();
    const std::string stateDirectory = common::normalizePath(standardised).value_or(standardised);

    BuildFloorResult floor;
    if (!macSystemFoldersProtected()) {
        mainLog().error("Refusing to run: the Mac's system folders aren't protected");
    } else {
        floor = checkBuildFloor(daemonBuild(), stateDirectory);
        switch (floor.kind) {
        case BuildFloorResult::Kind::ok:
            // Before the listener exists, so no request runs beside it. Without its ledger the
            // journal stays whole for the next start (the load failure is logged).
            if (common::HelperMoveLedger* ledger = HelperService::moveLedger())
                (void)settleInterruptedRecords(*ledger, HelperService::helperProtectedBundles());
            break;
        case BuildFloorResult::Kind::unknown:
            mainLog().error("Refusing to run: the build floor couldn't be checked for build "
                            "%{public}s",
                            {daemonBuild()});
            break;
        case BuildFloorResult::Kind::older:
            mainLog().error("Refusing to run: build %{public}s is older than build %{public}s, "
                            "which already ran",
                            {daemonBuild(), floor.recorded});
            break;
        }
    }

    auto* listener =
        new HelperListener(floor.kind == BuildFloorResult::Kind::ok, installedClientRefusal,
                           settings.idleTimeout, {}, settings.usePidfdOptions,
                           settings.limits); // lives for the process
    if (base::UniqueFd socket = inheritedListeningSocket())
        listener->listen(std::move(socket));
    listener->queue().async([listener] { listener->armIdleTimer(); });
    mainLog().notice("Started, build %{public}s", {daemonBuild()});
    for (;;)
        ::pause();
}

} // namespace veldo::helper
