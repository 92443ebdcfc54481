// The millisecond tick and sleeping, behind one replaceable clock so that tests can drive the
// run's throttling and waiting without real time passing.
#pragma once

#include <cstdint>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, wrapping at 2^32 like GetTickCount.
    virtual std::uint32_t TickCount() = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The monotonic system clock.
Clock& SystemClock();

// The clock that GetTickCount and Sleep use: the system clock unless a test installed another.
// Install before worker threads start and restore (with nullptr) after they end.
void SetActiveClock(Clock* clock);

std::uint32_t GetTickCount();
void Sleep(std::uint32_t milliseconds);

} // namespace platform
