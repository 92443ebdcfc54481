// The system's millisecond tick and the local time of day, behind one small interface so that
// code whose behaviour depends on elapsed time or on the date can be driven by a fake in tests.
#pragma once

#include <cstdint>

namespace platform {

// A broken-down local time with milliseconds, fields as people read them (month 1..12).
struct LogTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

class LogClock {
public:
    virtual ~LogClock() = default;
    // Milliseconds since the system started, wrapping at 2^32 like a 32-bit tick counter.
    [[nodiscard]] virtual std::uint32_t TickMs() const = 0;
    // The current local time.
    [[nodiscard]] virtual LogTime Now() const = 0;
};

// The real clock: CLOCK_BOOTTIME for the tick (it keeps counting while the machine sleeps, as
// a tick since start-up should) and the realtime clock in the local time zone.
const LogClock& SystemLogClock();

} // namespace platform
