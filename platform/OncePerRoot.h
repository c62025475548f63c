// OncePerRoot: a value computed once, on first use, for the current Mac root.
//
// Values that a process computes once (tool search paths, shared settings, the standard
// defaults) depend on the Mac root. An OncePerRoot forgets its value whenever the root changes
// (through the reset hooks of MacRoot), so the next use computes it afresh for the new root.
// Construct it as a function-local static: it registers its reset hook in the constructor and
// must outlive every change of root.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/MacRoot.h"

namespace veldo::platform {

template <typename T>
class OncePerRoot
{
public:
    explicit OncePerRoot(std::function<T()> make)
        : m_make(std::move(make)), m_hook(addMacRootResetHook([this] { reset(); }))
    {
    }
    OncePerRoot(const OncePerRoot&) = delete;
    OncePerRoot& operator=(const OncePerRoot&) = delete;

    // The value, computed by the maker on first use. Thread-safe: concurrent first callers
    // wait while one of them computes it. The maker must not use this same value.
    T get()
    {
        std::lock_guard lock(m_mutex);
        if (!m_value)
            m_value.emplace(m_make());
        return *m_value;
    }

    // Forgets the value (run by the reset hook).
    void reset()
    {
        std::optional<T> old;
        {
            std::lock_guard lock(m_mutex);
            old.swap(m_value);
        }
        // The old value is released outside the lock.
    }

private:
    std::mutex m_mutex;
    std::function<T()> m_make;
    std::optional<T> m_value;
    MacRootResetHook m_hook; // last: unregistered before the value goes
};

} // namespace veldo::platform
