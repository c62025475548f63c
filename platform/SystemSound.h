// SystemSound: the short sounds the app plays when a removal ends.
//
// Linux: a sound name of the Mac ("Glass", "Funk") stands for a sound of the freedesktop sound
// theme ("complete", "dialog-warning"), read from the host's theme folder, not from the Mac root.
// The player (paplay) is started detached, like the URL opener: the shell that starts it exits
// at once and is reaped, so no zombie is left and the call never waits for the sound. A name
// without a stand-in, a missing theme file or a missing player plays nothing. Tests replace the
// player with a recorder.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veldo::platform::SystemSound {

// The freedesktop theme's sound for a Mac sound name; none for a name without one.
std::optional<std::string_view> freedesktopName(std::string_view name);

// The host file that plays for a Mac sound name: the theme's ".oga" file in the host's stereo
// folder of the freedesktop theme. None when the name has no stand-in.
std::optional<std::string> hostSoundFile(std::string_view name);

// Plays the named sound without waiting for it. Thread-safe.
void play(std::string_view name);

namespace testing {

// While one exists, play records each name here instead of playing it. One at a time.
class SoundRecorder
{
public:
    SoundRecorder();
    ~SoundRecorder();
    SoundRecorder(const SoundRecorder&) = delete;
    SoundRecorder& operator=(const SoundRecorder&) = delete;

    std::vector<std::string> names() const;
};

} // namespace testing

} // namespace veldo::platform::SystemSound
