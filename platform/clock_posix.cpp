// POSIX implementation of platform/clock.h.
#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {
namespace {

class MonotonicClock final : public Clock {
public:
    std::uint32_t TickCount() override {
        auto since = std::chrono::steady_clock::now().time_since_epoch();
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
    }
    void Sleep(std::uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

std::atomic<Clock*> g_activeClock{nullptr};

} // namespace

Clock& SystemClock() {
    static MonotonicClock clock;
    return clock;
}

void SetActiveClock(Clock* clock) {
    g_activeClock.store(clock, std::memory_order_release);
}

static Clock& Active() {
    Clock* clock = g_activeClock.load(std::memory_order_acquire);
    return clock != nullptr ? *clock : SystemClock();
}

std::uint32_t GetTickCount() {
    return Active().TickCount();
}

void Sleep(std::uint32_t milliseconds) {
    Active().Sleep(milliseconds);
}

} // namespace platform
