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

    // How often opening apps looks whether the app scan it waits for has ended.
    static constexpr std::chrono::milliseconds kOpenAppsPollInterval{50};
    std::chrono::milliseconds openAppsPollInterval = kOpenAppsPollInterval;
};

} // namespace veldo::controller
