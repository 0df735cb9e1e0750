#include "core/waits.h"

#include "platform/clock/clock.h"
#include "platform/ui/message_box.h"

namespace {
constexpr double kLastSafeSecond = 86398.0;
constexpr double kAfterMidnight = 80000.0;
} // namespace

double wait_start(double seconds) {
    double start = wclock::Timer();
    if (start + seconds > kLastSafeSecond) {
        while (wclock::Timer() > kAfterMidnight)
            wclock::pause_slice();
        start = wclock::Timer();
    }
    return start;
}

bool wait_passed(double start, double seconds) {
    return wclock::Timer() >= start + seconds;
}

void wait_seconds(double seconds, bool pump_events) {
    const double start = wait_start(seconds);
    while (!wait_passed(start, seconds)) {
        if (pump_events) ui::DoEvents();
        wclock::pause_slice();
    }
}

void busy_wait() {
    wait_seconds(0.4);
}
