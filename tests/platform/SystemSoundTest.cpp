// The completion sounds: the freedesktop stand-ins of the Mac's names, a player started
// detached and reaped, nothing when there is no player, and the recorder.
#include "platform/SystemSound.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace SystemSound = veldo::platform::SystemSound;

namespace {

// A folder with a stand-in paplay that writes its argument to "played", made PATH for the test.
class StandInPlayer
{
public:
    explicit StandInPlayer(bool withPlayer)
        : m_folder(std::filesystem::temp_directory_path() /
                   ("veldo-sound-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(m_folder);
        if (withPlayer) {
            const auto player = m_folder / "paplay";
            std::ofstream(player) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << played().string()
                                  << ".tmp'\n/bin/mv '" << played().string() << ".tmp' '"
                                  << played().string() << "'\n";
            std::filesystem::permissions(player, std::filesystem::perms::owner_all);
        }
        const char* path = std::getenv("PATH");
        m_previousPath = path ? path : "";
        ::setenv("PATH", m_folder.c_str(), 1); // NOLINT(concurrency-mt-unsafe)
    }
    ~StandInPlayer()
    {
        ::setenv("PATH", m_previousPath.c_str(), 1); // NOLINT(concurrency-mt-unsafe)
        std::filesystem::remove_all(m_folder);
    }
    std::filesystem::path played() const { return m_folder / "played"; }

private:
    std::filesystem::path m_folder;
    std::string m_previousPath;
};

bool noChildLeft()
{
    int status = 0;
    return ::waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

} // namespace

TEST(SystemSound, MacNamesStandForFreedesktopSounds)
{
    EXPECT_EQ(SystemSound::freedesktopName("Glass"), "complete");
    EXPECT_EQ(SystemSound::freedesktopName("Funk"), "dialog-warning");
    EXPECT_EQ(SystemSound::freedesktopName("Basso"), std::nullopt);
    EXPECT_EQ(SystemSound::freedesktopName("glass"), std::nullopt);
    EXPECT_EQ(SystemSound::hostSoundFile("Funk"),
              "/usr/share/sounds/freedesktop/stereo/dialog-warning.oga");
    EXPECT_EQ(SystemSound::hostSoundFile("Basso"), std::nullopt);
}

TEST(SystemSound, ThePlayerStartsDetachedAndLeavesNoChild)
{
    const auto file = SystemSound::hostSoundFile("Glass");
    struct stat status = {};
    if (::stat(file->c_str(), &status) != 0)
        GTEST_SKIP() << "the freedesktop sound theme is not installed";
    StandInPlayer player(true);
    SystemSound::play("Glass");
    EXPECT_TRUE(noChildLeft());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!std::filesystem::exists(player.played()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(player.played());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), *file);
}

TEST(SystemSound, NoPlayerOrNoSoundPlaysNothing)
{
    StandInPlayer none(false);
    SystemSound::play("Funk");
    EXPECT_TRUE(noChildLeft());
    StandInPlayer player(true);
    SystemSound::play("Basso");
    EXPECT_TRUE(noChildLeft());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(std::filesystem::exists(player.played()));
}

TEST(SystemSound, TheRecorderTakesTheNamesInstead)
{
    StandInPlayer player(true);
    {
        SystemSound::testing::SoundRecorder recorder;
        SystemSound::play("Glass");
        SystemSound::play("Funk");
        EXPECT_EQ(recorder.names(), (std::vector<std::string>{"Glass", "Funk"}));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(std::filesystem::exists(player.played()));
}
