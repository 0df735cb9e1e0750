#pragma once
// Busy waits. They spin in small sleeps, never serving events unless asked to. Every wait keeps
// the midnight rule: when its end would pass 86398 s on the seconds-since-midnight clock, it first
// waits until that clock reads 80000 s or less (midnight has passed) and starts again. Lengths are
// measured on the monotonic clock, so a wall-clock step (set back an hour, a time-server
// correction) never stretches a wait: the midnight part lasts at most the time that was left
// until midnight, and the wait itself at most its length plus one slice.
// A length that is not a number or is negative counts as 0, and no wait lasts over 60 s, so a
// bad delay setting can never freeze the program.

// A pause of 0.4 s between commands sent to a scale; serves no events.
void busy_wait();

// The start of a wait of `seconds`, with the midnight rule applied: returns the monotonic
// clock's reading from which the wait runs (after waiting out midnight when needed).
double wait_start(double seconds);
// True once `seconds` have passed on the monotonic clock since start.
bool wait_passed(double start, double seconds);
// Waits `seconds` from now (midnight rule included); with `pump_events` each slice also runs
// the event pump.
void wait_seconds(double seconds, bool pump_events = false);
