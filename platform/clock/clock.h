#pragma once
// The seconds-since-midnight clock (the time of day that the midnight rule of the waits reads),
// a monotonic clock that measures how long every wait lasts, and the current date and time used
// for stored readings. Tests switch to a fake that moves only when told to, or by a fixed step at
// each slice of a wait, so waits take no real time; the fake's wall clock can also be stepped on
// its own, as when the clock is set back or a time server corrects it.
#include <QDateTime>
#include <functional>

namespace wclock {

constexpr double kSecondsPerDay = 86400.0;

// Seconds since midnight, with a fractional part, as a single-precision value.
float Timer();
// The current date and time of day.
QDateTime Now();
// Seconds on a clock that only moves forward and is never set: the measure of every length waited.
double Monotonic();

// One small slice of a busy wait: about a millisecond of sleep on the real clock, so that waits
// never hold a processor core; on the fake clock it advances the fake by its step instead.
void pause_slice();

// Fake clock control.
void use_fake(double seconds_since_midnight, double step_per_slice = 0.001, QDate date = QDate(2026, 1, 1));
void use_real();
bool is_fake();
// Sets the wall clock (wrapping past midnight to the next day); time waited does not move.
void set(double seconds_since_midnight);
// Time passes: the wall clock and the monotonic clock move together.
void advance(double seconds);
// The wall clock is stepped (back when negative, into the previous day before midnight); the
// monotonic clock does not move.
void step_wall(double seconds);
// Called at every slice of a wait on the fake clock, after it advanced (for example to let a
// simulated device answer in the middle of a wait). An empty function removes it.
void set_slice_hook(std::function<void()> hook);

} // namespace wclock
