// The serial queue's worker thread.
#include "platform/SerialQueue.h"

#include <condition_variable>
#include <future>
#include <map>
#include <mutex>

namespace veldo::platform {

struct SerialQueue::Core
{
    struct Key
    {
        std::chrono::steady_clock::time_point due;
        WorkId id;
        bool operator<(const Key& o) const { return due != o.due ? due < o.due : id < o.id; }
    };

    std::mutex mutex;
    std::condition_variable cv;
    std::map<Key, std::function<void()>> work;
    WorkId nextId = 1;
    bool stopping = false;

    void run()
    {
        std::unique_lock lock(mutex);
        while (!stopping) {
            if (work.empty()) {
                cv.wait(lock);
                continue;
            }
            auto first = work.begin();
            if (first->first.due > std::chrono::steady_clock::now()) {
                cv.wait_until(lock, first->first.due);
                continue;
            }
            auto item = std::move(first->second);
            work.erase(first);
            lock.unlock();
            item();
            item = nullptr; // release captures before taking the lock again
            lock.lock();
        }
        work.clear();
    }
};

SerialQueue::SerialQueue(std::string label)
    : m_label(std::move(label)), m_core(std::make_shared<Core>())
{
    m_thread = std::thread([core = m_core] { core->run(); });
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(m_core->mutex);
        m_core->stopping = true;
    }
    m_core->cv.notify_all();
    if (isCurrent())
        m_thread.detach(); // the thread holds the core and ends after the current work
    else
        m_thread.join();
}

SerialQueue::WorkId SerialQueue::async(std::function<void()> work)
{
    return asyncAfter(std::chrono::steady_clock::duration::zero(), std::move(work));
}

SerialQueue::WorkId SerialQueue::asyncAfter(std::chrono::steady_clock::duration delay,
                                            std::function<void()> work)
{
    if (delay < std::chrono::steady_clock::duration::zero())
        delay = std::chrono::steady_clock::duration::zero();
    WorkId id;
    {
        std::lock_guard lock(m_core->mutex);
        id = m_core->nextId++;
        m_core->work.emplace(Core::Key{std::chrono::steady_clock::now() + delay, id},
                             std::move(work));
    }
    m_core->cv.notify_all();
    return id;
}

void SerialQueue::cancel(WorkId id)
{
    std::function<void()> dropped;
    {
        std::lock_guard lock(m_core->mutex);
        for (auto it = m_core->work.begin(); it != m_core->work.end(); ++it) {
            if (it->first.id == id) {
                dropped = std::move(it->second);
                m_core->work.erase(it);
                break;
            }
        }
    }
}

void SerialQueue::sync(const std::function<void()>& work)
{
    if (isCurrent()) {
        work();
        return;
    }
    std::promise<void> done;
    auto future = done.get_future();
    async([&] {
        work();
        done.set_value();
    });
    future.wait();
}

bool SerialQueue::isCurrent() const
{
    return std::this_thread::get_id() == m_thread.get_id();
}

} // namespace veldo::platform
