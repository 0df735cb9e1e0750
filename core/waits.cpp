#include "core/waits.h"

#include <algorithm>
#include <cmath>

#include "platform/clock/clock.h"
#include "platform/ui/message_box.h"

namespace {
constexpr double kLastSafeSecond = 86398.0;
constexpr double kAfterMidnight = 80000.0;
// No wait of the program is meant to be long; a delay setting that is not a number, negative or
// absurdly large must not freeze the screen.
constexpr double kLongestWait = 60.0;

double bounded(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return 0;
    return std::min(seconds, kLongestWait);
}
} // namespace

double wait_start(double seconds) {
    seconds = bounded(seconds);
    const double wall = wclock::Timer();
    if (wall + seconds > kLastSafeSecond) {
        // Waits for the day to turn, but never longer than midnight was away when the wait began,
        // whatever the wall clock does meanwhile.
        const double until_midnight = wclock::kSecondsPerDay - wall;
        const double begun = wclock::Monotonic();
        while (wclock::Timer() > kAfterMidnight && wclock::Monotonic() - begun < until_midnight)
            wclock::pause_slice();
    }
    return wclock::Monotonic();
}

bool wait_passed(double start, double seconds) {
    return wclock::Monotonic() - start >= bounded(seconds);
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
