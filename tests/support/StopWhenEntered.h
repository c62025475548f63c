// StopWhenEntered: requests a stop as soon as a walk has entered a folder, so that tests stop a
// long call in the middle of its work rather than at a guessed moment.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

namespace veldo::testsupport {

class StopWhenEntered
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Watches, on a thread of its own, for a descriptor of this process open on `hostFolder` or
    // anything inside it (as /proc/self/fd shows them); then requests a stop through `source`.
    StopWhenEntered(std::stop_source& source, std::string hostFolder);
    ~StopWhenEntered();
    StopWhenEntered(const StopWhenEntered&) = delete;
    StopWhenEntered& operator=(const StopWhenEntered&) = delete;

    // Ends the watch; when the stop was requested, or none when the folder was never entered.
    std::optional<TimePoint> requestedAt();

private:
    std::atomic<bool> m_done{false};
    std::optional<TimePoint> m_requestedAt;
    std::thread m_thread;
};

} // namespace veldo::testsupport
