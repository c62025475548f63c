// veldo-helper-faulty: the helper daemon with its fault points live (VELDO_HELPER_FAULT), an idle
// time in seconds from VELDO_HELPER_IDLE_TIMEOUT, the time a request frame may take, in seconds,
// from VELDO_HELPER_FRAME_TIMEOUT and the window its repeated lines are counted in, in seconds,
// from VELDO_HELPER_LINES_WINDOW, for the tests only. VELDO_HELPER_PIDFD=off pins clients as a
// kernel without SO_PEERPIDFD and SO_PASSPIDFD would.
#include <cstdlib>
#include <optional>
#include <string_view>

#include "helper/DaemonMain.h"

namespace {

// A positive number of seconds from the environment variable `name`.
std::optional<veldo::helper::HelperListener::Seconds> secondsFrom(const char* name)
{
    const char* text = std::getenv(name); // NOLINT(concurrency-mt-unsafe): before any thread
    if (!text)
        return std::nullopt;
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds > 0))
        return std::nullopt;
    return veldo::helper::HelperListener::Seconds(seconds);
}

} // namespace

int main()
{
    veldo::helper::DaemonSettings settings;
    if (const auto idle = secondsFrom("VELDO_HELPER_IDLE_TIMEOUT"))
        settings.idleTimeout = *idle;
    if (const auto frame = secondsFrom("VELDO_HELPER_FRAME_TIMEOUT"))
        settings.limits.wholeFrame = *frame;
    if (const auto window = secondsFrom("VELDO_HELPER_LINES_WINDOW"))
        settings.limits.repeatedLines = *window;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): before any thread
    if (const char* pidfd = std::getenv("VELDO_HELPER_PIDFD");
        pidfd && std::string_view(pidfd) == "off")
        settings.usePidfdOptions = false;
    veldo::helper::daemonMain(settings);
}
