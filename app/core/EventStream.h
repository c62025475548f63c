// EventStream: an unbounded, thread-safe stream of values from one producer side to one
// consumer, that either side can end.
//
// The producer yields values and finishes; the consumer takes them in order with next(), which
// blocks until a value comes, the stream ends (none), or the stop token is triggered (none).
// cancel() is the consumer dropping the stream: it ends it and runs the termination handler
// once, as finishing by the producer does not.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>

namespace veldo::core {

template <typename T>
class EventStream
{
public:
    // Adds a value; ignored once the stream has ended.
    void yield(T value)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_ended)
                return;
            m_values.push_back(std::move(value));
        }
        m_cv.notify_all();
    }

    // Ends the stream from the producer's side; values already yielded can still be taken.
    void finish()
    {
        {
            std::lock_guard lock(m_mutex);
            m_ended = true;
        }
        m_cv.notify_all();
    }

    // Ends the stream from the consumer's side and runs the termination handler once.
    void cancel()
    {
        std::function<void()> handler;
        {
            std::lock_guard lock(m_mutex);
            m_ended = true;
            m_values.clear();
            handler = std::move(m_onTermination);
            m_onTermination = nullptr;
        }
        m_cv.notify_all();
        if (handler)
            handler();
    }

    void setOnTermination(std::function<void()> handler)
    {
        std::lock_guard lock(m_mutex);
        m_onTermination = std::move(handler);
    }

    // The next value; none when the stream has ended and is drained, or `stop` was requested.
    std::optional<T> next(std::stop_token stop = {})
    {
        // Taking the lock before notifying means the reader is either still before its check
        // of the token or already asleep, so the wake-up can't fall in between. Registered
        // before the reader locks: a callback that runs at once must be able to take the lock.
        std::stop_callback wake(stop, [this] {
            {
                std::lock_guard lock(m_mutex);
            }
            m_cv.notify_all();
        });
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [&] { return !m_values.empty() || m_ended || stop.stop_requested(); });
        return popLocked();
    }

    // The next value within `timeout`; none when none came.
    std::optional<T> nextFor(std::chrono::steady_clock::duration timeout)
    {
        std::unique_lock lock(m_mutex);
        m_cv.wait_for(lock, timeout, [&] { return !m_values.empty() || m_ended; });
        return popLocked();
    }

    bool ended() const
    {
        std::lock_guard lock(m_mutex);
        return m_ended && m_values.empty();
    }

private:
    std::optional<T> popLocked()
    {
        if (m_values.empty())
            return std::nullopt;
        T value = std::move(m_values.front());
        m_values.pop_front();
        return value;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<T> m_values;
    bool m_ended = false;
    std::function<void()> m_onTermination;
};

} // namespace veldo::core
