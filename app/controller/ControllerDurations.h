// ControllerDurations: the waits of the controller's operations, injectable for tests.
#pragma once

#include <chrono>

namespace veldo::controller {

struct ControllerDurations
{
    // How long a removal waits for the apps it asked to quit, and how often it looks.
    static constexpr std::chrono::milliseconds kQuitWaitTimeout{3000};
    static constexpr std::chrono::milliseconds kQuitWaitInterval{250};

    std::chrono::milliseconds quitWaitTimeout = kQuitWaitTimeout;
    std::chrono::milliseconds quitWaitInterval = kQuitWaitInterval;

    // The app list's refresh after a library change, and its re-checks while a removal runs.
    static constexpr std::chrono::milliseconds kAppsRefreshDelay{400};
    static constexpr std::chrono::milliseconds kAppsRefreshRecheck{250};
    // The library watcher's debounce, and how long a Trash notice searches for other copies.
    static constexpr std::chrono::milliseconds kLibraryDebounce{1000};
    static constexpr std::chrono::milliseconds kCopySearchTimeout{3000};

    std::chrono::milliseconds appsRefreshDelay = kAppsRefreshDelay;
    std::chrono::milliseconds appsRefreshRecheck = kAppsRefreshRecheck;
    std::chrono::milliseconds libraryDebounce = kLibraryDebounce;
    std::chrono::milliseconds copySearchTimeout = kCopySearchTimeout;

    // How often opening apps looks whether the app scan it waits for has ended.
    static constexpr std::chrono::milliseconds kOpenAppsPollInterval{50};
    std::chrono::milliseconds openAppsPollInterval = kOpenAppsPollInterval;
};

} // namespace veldo::controller
