#include "platform/clock/clock.h"

#include <QThread>
#include <chrono>
#include <cmath>

namespace wclock {

namespace {
bool fake = false;
double fake_seconds = 0;
double fake_monotonic = 0;
double fake_step = 0.001;
QDate fake_date;
std::function<void()> slice_hook;

void normalise() {
    while (fake_seconds >= kSecondsPerDay) {
        fake_seconds -= kSecondsPerDay;
        fake_date = fake_date.addDays(1);
    }
    while (fake_seconds < 0) {
        fake_seconds += kSecondsPerDay;
        fake_date = fake_date.addDays(-1);
    }
}
} // namespace

float Timer() {
    if (fake) return static_cast<float>(fake_seconds);
    const QTime t = QTime::currentTime();
    return static_cast<float>(t.msecsSinceStartOfDay() / 1000.0);
}

QDateTime Now() {
    if (fake)
        return QDateTime(
            fake_date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(std::floor(fake_seconds * 1000.0))));
    return QDateTime::currentDateTime();
}

double Monotonic() {
    if (fake) return fake_monotonic;
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void pause_slice() {
    if (fake) {
        advance(fake_step);
        if (slice_hook) slice_hook();
        return;
    }
    QThread::usleep(1000);
}

void use_fake(double seconds, double step, QDate date) {
    fake = true;
    fake_seconds = seconds;
    fake_monotonic = 0;
    fake_step = step;
    fake_date = date;
    normalise();
}

void use_real() {
    fake = false;
    slice_hook = nullptr;
}
bool is_fake() {
    return fake;
}

void set_slice_hook(std::function<void()> hook) {
    slice_hook = std::move(hook);
}

void set(double seconds) {
    fake_seconds = seconds;
    normalise();
}

void advance(double seconds) {
    fake_seconds += seconds;
    if (seconds > 0) fake_monotonic += seconds;
    normalise();
}

void step_wall(double seconds) {
    fake_seconds += seconds;
    normalise();
}

} // namespace wclock
