// The one mapping from Mac paths to host paths.
#include "platform/MacRoot.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>
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
    // Hooks run without hookMutex held (a hook takes the locks of the values it resets, and
    // makers of those values register hooks); unregistering waits, on hookEnded, for a run of
    // that hook in progress on another thread.
    struct Hook
    {
        std::function<void()> run;
        std::vector<std::thread::id> runners; // threads running it now
    };
    std::mutex hookMutex;
    std::condition_variable hookEnded;
    std::map<std::uint64_t, std::shared_ptr<Hook>> hooks;
    std::uint64_t nextHook = 1;
    // Serializes changes of root, so hooks run in order of the changes. No hook or maker takes it.
    std::mutex changeMutex;

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
    s.hooks.emplace(id, std::make_shared<RootState::Hook>(RootState::Hook{std::move(hook), {}}));
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
    std::unique_lock lock(s.hookMutex);
    auto it = s.hooks.find(m_id);
    if (it == s.hooks.end())
        return;
    const std::shared_ptr<RootState::Hook> hook = it->second;
    s.hooks.erase(it);
    // A hook may unregister itself while it runs: wait only for runs on other threads.
    const auto self = std::this_thread::get_id();
    s.hookEnded.wait(lock, [&] {
        return std::all_of(hook->runners.begin(), hook->runners.end(),
                           [&](std::thread::id t) { return t == self; });
    });
}

namespace testing {

void setMacRoot(std::string hostFolder)
{
    RootState& s = state();
    std::lock_guard change(s.changeMutex);
    {
        std::unique_lock lock(s.mutex);
        s.root = normalizedRoot(std::move(hostFolder));
    }
    std::vector<std::uint64_t> ids;
    {
        std::lock_guard lock(s.hookMutex);
        for (const auto& [id, hook] : s.hooks)
            ids.push_back(id);
    }
    const auto self = std::this_thread::get_id();
    for (std::uint64_t id : ids) {
        std::shared_ptr<RootState::Hook> hook;
        {
            // A hook run earlier may have unregistered this one.
            std::lock_guard lock(s.hookMutex);
            auto it = s.hooks.find(id);
            if (it == s.hooks.end())
                continue;
            hook = it->second;
            hook->runners.push_back(self);
        }
        hook->run();
        {
            std::lock_guard lock(s.hookMutex);
            hook->runners.erase(std::find(hook->runners.begin(), hook->runners.end(), self));
        }
        s.hookEnded.notify_all();
    }
}

} // namespace testing

} // namespace veldo::platform
