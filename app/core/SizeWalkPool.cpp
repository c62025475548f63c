// The shared workers of the size walk.
#include "app/core/SizeWalkPool.h"

#include <algorithm>

namespace veldo::core {

SizeWalkPool::SizeWalkPool(unsigned workers) : m_owner(::getpid())
{
    m_threads.reserve(workers);
    for (unsigned i = 0; i < workers; ++i)
        m_threads.emplace_back([this] { work(); });
}

SizeWalkPool::~SizeWalkPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

SizeWalkPool& SizeWalkPool::shared()
{
    static SizeWalkPool pool([] {
        const unsigned processors = std::thread::hardware_concurrency();
        return std::clamp(processors > 1 ? processors - 1 : 1u, 1u, 15u);
    }());
    return pool;
}

void SizeWalkPool::offer(const std::shared_ptr<Source>& source)
{
    {
        std::lock_guard lock(m_mutex);
        ++m_offers;
        if (std::find(m_sources.begin(), m_sources.end(), source) == m_sources.end())
            m_sources.push_back(source);
    }
    m_wake.notify_one();
}

void SizeWalkPool::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_sources.empty(); });
        if (m_stopping)
            return;
        // Round-robin: the source goes to the back while its item runs.
        std::shared_ptr<Source> source = m_sources.front();
        m_sources.pop_front();
        m_sources.push_back(source);
        const std::uint64_t offersBefore = m_offers;
        lock.unlock();
        const bool ran = source->runOne();
        lock.lock();
        // An empty source leaves the list, unless something was offered meanwhile (perhaps an
        // item of this very source, whose offer found it still listed).
        if (!ran && m_offers == offersBefore) {
            auto listed = std::find(m_sources.begin(), m_sources.end(), source);
            if (listed != m_sources.end())
                m_sources.erase(listed);
        }
    }
}

} // namespace veldo::core
