// veldo-helper-faulty: the helper daemon with its fault points live (VELDO_HELPER_FAULT) and an
// idle time in seconds from VELDO_HELPER_IDLE_TIMEOUT, for the tests only. VELDO_HELPER_PIDFD=off
// pins clients as a kernel without SO_PEERPIDFD and SO_PASSPIDFD would.
#include <cstdlib>
#include <string_view>

#include "helper/DaemonMain.h"

int main()
{
    veldo::helper::DaemonSettings settings;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): before any thread
    if (const char* idle = std::getenv("VELDO_HELPER_IDLE_TIMEOUT")) {
        char* end = nullptr;
        const double seconds = std::strtod(idle, &end);
        if (end != idle && *end == '\0' && seconds > 0)
            settings.idleTimeout = veldo::helper::HelperListener::Seconds(seconds);
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): before any thread
    if (const char* pidfd = std::getenv("VELDO_HELPER_PIDFD");
        pidfd && std::string_view(pidfd) == "off")
        settings.usePidfdOptions = false;
    veldo::helper::daemonMain(settings);
}
