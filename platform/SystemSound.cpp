// Plays the freedesktop stand-ins of the Mac's sounds through paplay, detached, or records them.
#include "platform/SystemSound.h"

#include <array>
#include <mutex>
#include <utility>

#include <sys/stat.h>

#include "platform/DetachedShell.h"

namespace veldo::platform::SystemSound {

namespace {

constexpr std::string_view kThemeFolder = "/usr/share/sounds/freedesktop/stereo/";

constexpr std::array<std::pair<std::string_view, std::string_view>, 2> kStandIns{{
    {"Glass", "complete"},
    {"Funk", "dialog-warning"},
}};

// The shell starts paplay in the background and exits at once; the player is then nobody's
// child, so nothing waits for it and no zombie is left.
constexpr const char* kDetachScript =
    "command -v paplay >/dev/null 2>&1 || exit 127; paplay \"$1\" >/dev/null 2>&1 &";

struct Recording
{
    std::mutex mutex;
    std::optional<std::vector<std::string>> names;
};

Recording& recording()
{
    static Recording r;
    return r;
}

} // namespace

std::optional<std::string_view> freedesktopName(std::string_view name)
{
    for (const auto& [mac, theme] : kStandIns)
        if (mac == name)
            return theme;
    return std::nullopt;
}

std::optional<std::string> hostSoundFile(std::string_view name)
{
    const auto theme = freedesktopName(name);
    if (!theme)
        return std::nullopt;
    return std::string(kThemeFolder) + std::string(*theme) + ".oga";
}

void play(std::string_view name)
{
    {
        Recording& r = recording();
        std::lock_guard lock(r.mutex);
        if (r.names) {
            r.names->emplace_back(name);
            return;
        }
    }
    std::optional<std::string> file = hostSoundFile(name);
    struct stat status = {};
    if (!file || ::stat(file->c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return;

    (void)runDetachedShell(kDetachScript, "veldo-play-sound", *file);
}

namespace testing {

SoundRecorder::SoundRecorder()
{
    Recording& r = recording();
    std::lock_guard lock(r.mutex);
    r.names.emplace();
}

SoundRecorder::~SoundRecorder()
{
    Recording& r = recording();
    std::lock_guard lock(r.mutex);
    r.names.reset();
}

std::vector<std::string> SoundRecorder::names() const
{
    Recording& r = recording();
    std::lock_guard lock(r.mutex);
    return r.names.value_or(std::vector<std::string>{});
}

} // namespace testing

} // namespace veldo::platform::SystemSound
