// StreamReader: one thread that reads an event stream to its end and hands each value on.
//
// The thread takes the values in order with EventStream::next and calls `deliver` with each, on
// the reading thread (the controller's deliver posts to the GUI thread and returns). It ends when
// the stream ends or stop() is called. stop() (also run by the destructor) asks the thread to
// stop, waits for it, then ends the stream, so `deliver` is never called once stop() returned.
// Confined to the thread that made it, except for `deliver`, which runs on the reading thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

#include "app/core/EventStream.h"

namespace veldo::controller {

template <typename T>
class StreamReader
{
public:
    StreamReader(std::shared_ptr<core::EventStream<T>> stream, std::function<void(T)> deliver)
        : m_stream(std::move(stream))
    {
        m_thread =
            std::jthread([stream = m_stream, deliver = std::move(deliver)](std::stop_token stop) {
                while (!stop.stop_requested()) {
                    std::optional<T> value = stream->next(stop);
                    if (!value)
                        return;
                    deliver(std::move(*value));
                }
            });
    }
    ~StreamReader() { stop(); }
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

    // Stops the thread, waits for it and ends the stream. Idempotent.
    void stop()
    {
        if (m_thread.joinable()) {
            m_thread.request_stop();
            m_thread.join();
        }
        m_stream->cancel();
    }

private:
    std::shared_ptr<core::EventStream<T>> m_stream;
    std::jthread m_thread;
};

} // namespace veldo::controller
