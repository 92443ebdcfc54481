// The system clock behind platform::LogClock.
#include "platform/log_clock.h"

#include <ctime>

namespace platform {
namespace {

class SystemClockImpl final : public LogClock {
public:
    std::uint32_t TickMs() const override {
        timespec ts{};
        if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) {
            clock_gettime(CLOCK_MONOTONIC, &ts);
        }
        const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                        static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
        return static_cast<std::uint32_t>(ms);
    }

    LogTime Now() const override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        std::tm local{};
        const std::time_t seconds = ts.tv_sec;
        localtime_r(&seconds, &local);
        LogTime t;
        t.year = local.tm_year + 1900;
        t.month = local.tm_mon + 1;
        t.day = local.tm_mday;
        t.hour = local.tm_hour;
        t.minute = local.tm_min;
        t.second = local.tm_sec;
        t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
        return t;
    }
};

} // namespace

const LogClock& SystemLogClock() {
    static const SystemClockImpl clock;
    return clock;
}

} // namespace platform
