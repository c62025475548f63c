// OncePerRoot: a value computed once, on first use, for the current Mac root.
//
// Values that a process computes once (tool search paths, shared settings, the standard
// defaults) depend on the Mac root. An OncePerRoot forgets its value whenever the root changes
// (through the reset hooks of MacRoot), so the next use computes it afresh for the new root.
// Construct it as a function-local static: it registers its reset hook in the constructor and
// must outlive every change of root.
//
// The maker runs without any lock held, so it may take its time (run a child process) and may
// use other OncePerRoot values or register reset hooks, while a change of root proceeds. A maker
// may also take a stop token and give up (answer none) when a stop is requested: nothing is kept
// then, and the next caller makes the value afresh.
#pragma once

#include <cassert>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <utility>

#include "platform/MacRoot.h"

namespace veldo::platform {

template <typename T>
class OncePerRoot
{
public:
    // A maker that always ends with the value.
    explicit OncePerRoot(std::function<T()> make)
        : OncePerRoot(std::function<std::optional<T>(std::stop_token)>(
              [make = std::move(make)](const std::stop_token&) {
                  return std::optional<T>(make());
              }))
    {
    }
    // A maker that answers none only when a stop was requested through its token.
    explicit OncePerRoot(std::function<std::optional<T>(std::stop_token)> make)
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
        std::optional<T> value = get(std::stop_token());
        assert(value); // a maker gives up only when asked to stop
        return std::move(*value);
    }

    // get, giving up when a stop is requested through `stop`: none when it came while another
    // caller was making the value, or when this caller's maker gave up.
    std::optional<T> get(std::stop_token stop)
    {
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait(lock, stop, [this] { return m_value || !m_making; }))
            return std::nullopt;
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
            made = m_make(stop);
            std::lock_guard inner(m_mutex);
            if (made && generation == m_generation && !m_value)
                m_value = made;
        }
        return made;
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
    std::condition_variable_any m_changed;
    bool m_making = false;
    std::uint64_t m_generation = 0;
    std::function<std::optional<T>(std::stop_token)> m_make;
    std::optional<T> m_value;
    MacRootResetHook m_hook; // last: unregistered before the value goes
};

} // namespace veldo::platform
