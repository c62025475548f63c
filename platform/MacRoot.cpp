// The one mapping from Mac paths to host paths.
#include "platform/MacRoot.h"

#include <cstdlib>
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
    std::vector<std::function<void()>> hooks;
    std::mutex hookMutex;

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

std::string hostPath(std::string_view macPath)
{
    std::string result = macRoot();
    if (macPath.empty() || macPath.front() != '/')
        result.push_back('/');
    result.append(macPath);
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

void addMacRootResetHook(std::function<void()> hook)
{
    RootState& s = state();
    std::lock_guard lock(s.hookMutex);
    s.hooks.push_back(std::move(hook));
}

namespace testing {

void setMacRoot(std::string hostFolder)
{
    RootState& s = state();
    {
        std::unique_lock lock(s.mutex);
        s.root = normalizedRoot(std::move(hostFolder));
    }
    std::vector<std::function<void()>> hooks;
    {
        std::lock_guard lock(s.hookMutex);
        hooks = s.hooks;
    }
    for (auto& hook : hooks)
        hook();
}

} // namespace testing

} // namespace veldo::platform
