// ObserverList: callbacks registered by observers of one object, called on each notification.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace veldo::platform {

// Thread-safe: add, remove and notify may run on any thread. notify calls the callbacks on the
// calling thread, outside the list's lock, in the order they were added. An observer added
// during a notification hears from the next one on. remove takes effect at once: the callback
// is not called after remove returns, and remove waits for a call of it in progress on another
// thread (a callback may remove itself or others without waiting for itself). So a callback
// must not wait for a thread that may be removing it.
template <typename... Args>
class ObserverList
{
public:
    using Id = std::uint64_t;
    using Callback = std::function<void(Args...)>;

    Id add(Callback callback)
    {
        std::lock_guard lock(m_mutex);
        const Id id = ++m_lastId;
        m_entries.emplace(id, std::move(callback));
        return id;
    }

    // Removing an unknown id does nothing.
    void remove(Id id)
    {
        Callback removed;
        {
            std::unique_lock lock(m_mutex);
            auto it = m_entries.find(id);
            if (it == m_entries.end())
                return;
            removed = std::move(it->second);
            m_entries.erase(it);
            const auto self = std::this_thread::get_id();
            m_callEnded.wait(lock, [&] {
                return std::none_of(m_calls.begin(), m_calls.end(), [&](const Call& call) {
                    return call.id == id && call.thread != self;
                });
            });
        }
        // The callback's captures are released outside the lock.
    }

    void notify(Args... args) const
    {
        Id last = 0;
        {
            std::lock_guard lock(m_mutex);
            last = m_lastId;
        }
        const auto self = std::this_thread::get_id();
        // Each call looks the observer up afresh, so a removed observer gets no later call.
        for (Id after = 0;;) {
            Callback callback;
            {
                std::lock_guard lock(m_mutex);
                auto it = m_entries.upper_bound(after);
                if (it == m_entries.end() || it->first > last)
                    return;
                after = it->first;
                callback = it->second;
                m_calls.push_back({after, self});
            }
            struct CallEnds
            {
                const ObserverList& list;
                Id id;
                std::thread::id thread;
                ~CallEnds()
                {
                    {
                        std::lock_guard lock(list.m_mutex);
                        auto& calls = list.m_calls;
                        calls.erase(std::find_if(calls.begin(), calls.end(), [&](const Call& c) {
                            return c.id == id && c.thread == thread;
                        }));
                    }
                    list.m_callEnded.notify_all();
                }
            };
            CallEnds ends{*this, after, self};
            callback(args...);
            callback = nullptr; // its captures go before the call counts as ended
        }
    }

private:
    struct Call
    {
        Id id;
        std::thread::id thread;
    };

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_callEnded;
    mutable std::vector<Call> m_calls; // calls in progress
    Id m_lastId = 0;
    std::map<Id, Callback> m_entries;
};

} // namespace veldo::platform
