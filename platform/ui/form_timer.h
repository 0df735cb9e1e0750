#pragma once
// A form timer: fires `Timer` every `Interval` milliseconds while it is enabled.
// - An Interval of 0 stops the timer without changing Enabled; a later non-zero Interval
//   starts it again if it is still enabled.
// - Setting the Interval, or enabling a disabled timer, starts the count anew.
// Control arrays are plain arrays of FormTimer, each told its index.
#include <QObject>
#include <QTimer>

namespace ui {

class FormTimer : public QObject {
    Q_OBJECT
public:
    explicit FormTimer(QObject* parent = nullptr, int index = 0);

    bool Enabled() const { return enabled_; }
    void setEnabled(bool on);
    int Interval() const { return interval_; }
    void setInterval(int ms);
    int Index() const { return index_; }
    void setIndex(int index) { index_ = index; }
    // True while ticks are being produced (enabled with a non-zero interval).
    bool running() const { return timer_.isActive(); }
    // Delivers one tick at once, as if the interval had just run out (for tests and callers
    // that drive the timers by hand).
    void fire() { emit Timer(index_); }

signals:
    void Timer(int index);

private:
    void restart();

    QTimer timer_;
    bool enabled_ = true;
    int interval_ = 0;
    int index_ = 0;
};

} // namespace ui
