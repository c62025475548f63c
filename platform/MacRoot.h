// MacRoot: maps Mac paths onto the host folder that holds the Mac (empty on a Mac itself).
//
// A process has one root at a time. It is read once from the environment variable
// VELDO_MAC_ROOT (nothing else reads that variable) or set by tests through
// testing::setMacRoot, which also runs every registered reset hook so that values computed once
// per process (search paths, caches, shared settings) are computed again for the new root.
// All functions are thread-safe; changing the root while other threads work is a test-only act.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/MacPath.h"

namespace veldo::platform {

// The host folder holding the Mac, without a trailing slash; "" means the identity mapping.
std::string macRoot();

// host = root + macPath. A relative Mac path is taken as relative to "/".
std::string hostPath(const MacPath& macPath);

// The Mac path of a host path inside the root; none when the host path lies outside it.
std::optional<MacPath> macPathForHost(std::string_view hostPath);

// A registered reset hook; destroying it unregisters the hook (waiting for a run in progress),
// so an object whose hook uses it can never be called after it is gone. Move-only.
class MacRootResetHook
{
public:
    MacRootResetHook() = default;
    explicit MacRootResetHook(std::uint64_t id) : m_id(id) {}
    MacRootResetHook(MacRootResetHook&& other) noexcept : m_id(std::exchange(other.m_id, 0)) {}
    MacRootResetHook& operator=(MacRootResetHook&& other) noexcept;
    MacRootResetHook(const MacRootResetHook&) = delete;
    MacRootResetHook& operator=(const MacRootResetHook&) = delete;
    ~MacRootResetHook();

private:
    std::uint64_t m_id = 0;
};

// Registers a function run after every change of root (for values computed once per process),
// for as long as the returned handle lives. Keep the handle beside the state the hook touches.
[[nodiscard]] MacRootResetHook addMacRootResetHook(std::function<void()> hook);

namespace testing {
// Sets the root (an absolute host folder, or "" for the identity) and runs the reset hooks.
void setMacRoot(std::string hostFolder);
} // namespace testing

} // namespace veldo::platform
