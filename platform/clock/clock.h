#pragma once
// The seconds-since-midnight clock that every delay and time-out of the program reads, and the
// current date and time used for stored readings. Tests switch to a fake that moves only when
// told to, or by a fixed step at each slice of a wait, so waits take no real time.
#include <QDateTime>
#include <functional>

namespace wclock {

constexpr double kSecondsPerDay = 86400.0;

// Seconds since midnight, with a fractional part, as a single-precision value.
float Timer();
// The current date and time of day.
QDateTime Now();

// One small slice of a busy wait: about a millisecond of sleep on the real clock, so that waits
// never hold a processor core; on the fake clock it advances the fake by its step instead.
void pause_slice();

// Fake clock control.
void use_fake(double seconds_since_midnight, double step_per_slice = 0.001, QDate date = QDate(2026, 1, 1));
void use_real();
bool is_fake();
void set(double seconds_since_midnight); // wraps past midnight to the next day
void advance(double seconds);
// Called at every slice of a wait on the fake clock, after it advanced (for example to let a
// simulated device answer in the middle of a wait). An empty function removes it.
void set_slice_hook(std::function<void()> hook);

} // namespace wclock
