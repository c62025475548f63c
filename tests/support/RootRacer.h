// RootRacer: a thread that keeps swapping a folder of a fake Mac with a symbolic link to a canary
// folder outside the Mac, to try calls by Mac path against a folder that is a folder when it is
// looked at and a link out of the root when it is used.
//
// The canary is a host folder beside the root (root + "-canary"); the test fills it before
// start(). The swap is one renameat2(RENAME_EXCHANGE) of the folder and a link whose target is
// the canary's absolute host path, so the Mac path always names one or the other. The destructor
// stops the thread, puts the real folder back in place and removes the canary.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <thread>

#include "platform/MacPath.h"
#include "tests/support/FakeMac.h"

namespace veldo::testsupport {

class RootRacer
{
public:
    RootRacer(const FakeMac& mac, const platform::MacPath& folder);
    ~RootRacer();
    RootRacer(const RootRacer&) = delete;
    RootRacer& operator=(const RootRacer&) = delete;

    // The canary's host folder (made by the constructor, empty).
    const std::string& canary() const { return m_canary; }
    // Writes a file at `relative` inside the canary, making its folders (0755); fails the test
    // on error.
    void writeCanary(const std::string& relative, std::string_view bytes) const;

    // Notes what the canary holds and starts swapping.
    void start();
    // Stops swapping and leaves the real folder in place.
    void stop();
    // How many entries (at any depth) appeared in the canary since start() or the previous call;
    // they are removed again.
    std::size_t takeNewCanaryEntries();
    // Swaps made so far.
    std::uint64_t swaps() const { return m_swaps.load(); }

private:
    std::set<std::string> canaryEntries() const;

    std::string m_folder;
    std::string m_link;
    std::string m_canary;
    std::set<std::string> m_known;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_swaps{0};
    std::thread m_thread;
};

} // namespace veldo::testsupport
