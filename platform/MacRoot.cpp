// The one mapping from Mac paths to host paths.
#include "platform/MacRoot.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <vector>

namespace veldo::platform {

namespace {

std::string normalizedRoot(std::string root)
{
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    if (root == "/")
        root.clear();
    return root;
}

struct RootState
{
    std::shared_mutex mutex;
    std::string root;
    // Held while hooks run, so unregistering waits for a run in progress; recursive so that a
    // hook may register or unregister hooks itself.
    std::recursive_mutex hookMutex;
    std::map<std::uint64_t, std::function<void()>> hooks;
    std::uint64_t nextHook = 1;

    RootState()
    {
        // Read once, before any other thread can ask; setenv is never called by us.
        if (const char* env = std::getenv("VELDO_MAC_ROOT")) // NOLINT(concurrency-mt-unsafe)
            root = normalizedRoot(env);
    }
};

RootState& state()
{
    static RootState s;
    return s;
}

} // namespace

std::string macRoot()
{
    RootState& s = state();
    std::shared_lock lock(s.mutex);
    return s.root;
}

std::string hostPath(const MacPath& macPath)
{
    std::string result = macRoot();
    if (!macPath.isAbsolute())
        result.push_back('/');
    result.append(macPath.path());
    return result;
}

std::optional<MacPath> macPathForHost(std::string_view host)
{
    const std::string root = macRoot();
    if (root.empty())
        return MacPath(std::string(host));
    if (host.size() < root.size() || host.substr(0, root.size()) != root)
        return std::nullopt;
    std::string_view rest = host.substr(root.size());
    if (rest.empty())
        return MacPath("/");
    if (rest.front() != '/')
        return std::nullopt;
    return MacPath(std::string(rest));
}

MacRootResetHook addMacRootResetHook(std::function<void()> hook)
{
    RootState& s = state();
    std::lock_guard lock(s.hookMutex);
    const std::uint64_t id = s.nextHook++;
    s.hooks.emplace(id, std::move(hook));
    return MacRootResetHook(id);
}

MacRootResetHook& MacRootResetHook::operator=(MacRootResetHook&& other) noexcept
{
    if (this != &other) {
        MacRootResetHook old(std::exchange(m_id, std::exchange(other.m_id, 0)));
    }
    return *this;
}

MacRootResetHook::~MacRootResetHook()
{
    if (m_id == 0)
        return;
    RootState& s = state();
    std::lock_guard lock(s.hookMutex);
    s.hooks.erase(m_id);
}

namespace testing {

void setMacRoot(std::string hostFolder)
{
    RootState& s = state();
    {
        std::unique_lock lock(s.mutex);
        s.root = normalizedRoot(std::move(hostFolder));
    }
    std::lock_guard lock(s.hookMutex);
    std::vector<std::uint64_t> ids;
    for (const auto& [id, hook] : s.hooks)
        ids.push_back(id);
    for (std::uint64_t id : ids) {
        // A hook run earlier may have unregistered this one.
        auto it = s.hooks.find(id);
        if (it == s.hooks.end())
            continue;
        auto hook = it->second;
        hook();
    }
}

} // namespace testing

} // namespace veldo::platform
