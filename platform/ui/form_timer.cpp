#include "platform/ui/form_timer.h"

namespace ui {

FormTimer::FormTimer(QObject* parent, int index) : QObject(parent), index_(index) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { emit Timer(index_); });
}

void FormTimer::setEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    restart();
}

void FormTimer::setInterval(int ms) {
    interval_ = ms < 0 ? 0 : ms;
    restart();
}

void FormTimer::restart() {
    timer_.stop();
    if (enabled_ && interval_ > 0) timer_.start(interval_);
}

} // namespace ui
