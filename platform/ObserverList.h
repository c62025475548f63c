// ObserverList: callbacks registered by observers of one object, called on each notification.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace veldo::platform {

// Thread-safe: add, remove and notify may run on any thread. notify calls the callbacks on the
// calling thread, outside the list's lock, in the order they were added; a callback may add or
// remove observers (the change applies from the next notification on).
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
        m_entries.emplace_back(id, std::move(callback));
        return id;
    }

    // Removing an unknown id does nothing.
    void remove(Id id)
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_entries, [id](const auto& e) { return e.first == id; });
    }

    void notify(Args... args) const
    {
        std::vector<std::pair<Id, Callback>> entries;
        {
            std::lock_guard lock(m_mutex);
            entries = m_entries;
        }
        for (const auto& entry : entries)
            entry.second(args...);
    }

private:
    mutable std::mutex m_mutex;
    Id m_lastId = 0;
    std::vector<std::pair<Id, Callback>> m_entries;
};

} // namespace veldo::platform
