// The event stream's reader: woken by values, by the end of the stream and by a stop request.
#include "app/core/EventStream.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

using veldo::core::EventStream;
using namespace std::chrono_literals;

TEST(EventStream, AStopRequestAlwaysWakesTheReader)
{
    // The request races the reader's own check of the token, round after round; a wake-up lost
    // in between leaves the reader asleep for good.
    EventStream<int> stream;
    std::atomic<int> started = -1; // the round the reader may begin
    std::atomic<int> finished = -1;
    std::atomic<bool> quit = false;
    std::atomic<std::stop_source*> current = nullptr;
    std::thread reader([&] {
        for (int round = 0;; ++round) {
            while (started.load(std::memory_order_acquire) < round) {
                if (quit)
                    return;
            }
            (void)stream.next(current.load()->get_token());
            finished.store(round, std::memory_order_release);
        }
    });

    const auto end = std::chrono::steady_clock::now() + 1s;
    std::unique_ptr<std::stop_source> source;
    int round = 0;
    bool lost = false;
    for (; !lost && std::chrono::steady_clock::now() < end; ++round) {
        source = std::make_unique<std::stop_source>();
        current = source.get();
        started.store(round, std::memory_order_release);
        for (int spin = 0; spin < round % 64; ++spin)
            std::atomic_signal_fence(std::memory_order_seq_cst);
        source->request_stop();
        const auto deadline = std::chrono::steady_clock::now() + 1s;
        while (finished.load(std::memory_order_acquire) < round && !lost)
            lost = std::chrono::steady_clock::now() > deadline;
    }
    quit = true;
    if (lost)
        stream.yield(0); // let the sleeping reader go
    reader.join();
    EXPECT_FALSE(lost) << "the reader slept through the stop request of round " << round - 1;
}
