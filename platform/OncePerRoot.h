// OncePerRoot: a value computed once, on first use, for the current Mac root.
//
// Values that a process computes once (tool search paths, shared settings, the standard
// defaults) depend on the Mac root. An OncePerRoot forgets its value whenever the root changes
// (through the reset hooks of MacRoot), so the next use computes it afresh for the new root.
// Construct it as a function-local static: it registers its reset hook in the constructor and
// must outlive every change of root.
//
// The maker runs without any lock held, so it may take its time (run a child process) and may
// use other OncePerRoot values or register reset hooks, while a change of root proceeds.
#pragma once

#include <condition_variable>
#include <cstdint>
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
    // wait while one of them computes it. A value made while the root changed is handed to
    // its own caller but not kept: the next caller makes it afresh. The maker must not use
    // this same value.
    T get()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_value || !m_making; });
        if (m_value)
            return *m_value;
        m_making = true;
        const std::uint64_t generation = m_generation;
        lock.unlock();

        struct MakingEnds
        {
            OncePerRoot& self;
            ~MakingEnds()
            {
                {
                    std::lock_guard inner(self.m_mutex);
                    self.m_making = false;
                }
                self.m_changed.notify_all();
            }
        };
        std::optional<T> made;
        {
            MakingEnds ends{*this}; // also when the maker throws
            made.emplace(m_make());
            std::lock_guard inner(m_mutex);
            if (generation == m_generation && !m_value)
                m_value = made;
        }
        return std::move(*made);
    }

    // Forgets the value (run by the reset hook).
    void reset()
    {
        std::optional<T> old;
        {
            std::lock_guard lock(m_mutex);
            ++m_generation;
            old.swap(m_value);
        }
        // The old value is released outside the lock.
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_making = false;
    std::uint64_t m_generation = 0;
    std::function<T()> m_make;
    std::optional<T> m_value;
    MacRootResetHook m_hook; // last: unregistered before the value goes
};

} // namespace veldo::platform
