// LinkedStopSource: a stop source of its own that also stops when a parent token does.
//
// A task whose cancel must reach its work (a superseded scan whose result could never be used)
// hands the work this source's token: a cancel of the task, or the controller's shutdown (the
// parent), stops it. Thread-safe like std::stop_source: the token may be read and the stop
// requested on any thread. Destroying the source unlinks it from the parent, waiting for a
// forwarding that runs on another thread at that moment.
#pragma once

#include <stop_token>

namespace veldo::controller {

class LinkedStopSource
{
public:
    explicit LinkedStopSource(std::stop_token parent);
    LinkedStopSource(const LinkedStopSource&) = delete;
    LinkedStopSource& operator=(const LinkedStopSource&) = delete;

    std::stop_token token() const { return m_source.get_token(); }
    bool stopRequested() const { return m_source.stop_requested(); }
    // Stops this source only; the parent is not touched.
    void requestStop() { m_source.request_stop(); }

private:
    struct Forward
    {
        std::stop_source target;
        void operator()() const noexcept { std::stop_source(target).request_stop(); }
    };

    std::stop_source m_source;
    std::stop_callback<Forward> m_link;
};

} // namespace veldo::controller
