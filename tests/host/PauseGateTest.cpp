#include "host/Host.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

// Runs gate.wait(stop) on a thread; true when it returned within `ms`.
bool returnsWithin(PauseGate& gate, std::atomic<bool>* stop, int ms, const std::function<void()>& meanwhile = {}) {
    std::atomic<bool> done{false};
    std::thread t([&] {
        gate.wait(stop);
        done = true;
    });
    std::this_thread::sleep_for(50ms);
    if (meanwhile)
        meanwhile();
    for (int i = 0; i < ms / 10 && !done; ++i)
        std::this_thread::sleep_for(10ms);
    bool result = done;
    gate.release();  // never leave the thread hanging
    t.join();
    return result;
}

} // namespace

TEST(PauseGate, PausesNestResumeWithoutPauseDoesNothingAndStopGetsThrough) {
    {
        PauseGate g;
        g.resume();  // no pause: nothing to undo, and no credit for a later pause
        g.pause();
        EXPECT_FALSE(returnsWithin(g, nullptr, 100));
    }
    {
        PauseGate g;
        g.pause();
        g.pause();
        EXPECT_FALSE(returnsWithin(g, nullptr, 100, [&] { g.resume(); }));
    }
    {
        PauseGate g;
        g.pause();
        g.pause();
        EXPECT_TRUE(returnsWithin(g, nullptr, 1000, [&] {
            g.resume();
            g.resume();
        }));
    }
    {
        PauseGate g;
        g.pause();
        g.pause();
        EXPECT_TRUE(returnsWithin(g, nullptr, 1000, [&] { g.resumeAll(); }));
        EXPECT_FALSE(g.paused());
    }
    {
        PauseGate g;
        std::atomic<bool> stop{false};
        g.pause();
        EXPECT_TRUE(returnsWithin(g, &stop, 1000, [&] {
            stop = true;
            g.wake();
        }));
    }
}
