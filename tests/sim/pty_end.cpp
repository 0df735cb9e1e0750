#include "tests/sim/pty_end.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

PtyEnd::PtyEnd(std::shared_ptr<Responder> responder, QObject* parent)
    : QObject(parent), responder_(std::move(responder)) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0) return;
    char name[128] = {};
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        master_ = -1;
        return;
    }
    path_ = QString::fromLocal8Bit(name);
    // Raw on both sides, so no byte is echoed or translated; the slave stays open here so the
    // terminal lives while the program opens and closes its end.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    for (int fd : {master_, slave_}) {
        termios t{};
        if (fd >= 0 && tcgetattr(fd, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
        }
    }
    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PtyEnd::pump);
    timer_ = new QTimer(this);
    timer_->setInterval(2);
    connect(timer_, &QTimer::timeout, this, &PtyEnd::pump);
    responder_->on_reply = [this] { timer_->start(); };
}

PtyEnd::~PtyEnd() {
    if (responder_) responder_->on_reply = nullptr;
    hang_up();
}

int PtyEnd::pump() {
    if (master_ < 0) return 0;
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        responder_->receive(QByteArray(buf, static_cast<qsizetype>(n)));
    }
    const QByteArray out = responder_->take();
    qsizetype at = 0;
    while (at < out.size()) {
        const ssize_t n = ::write(master_, out.constData() + at, static_cast<size_t>(out.size() - at));
        if (n <= 0) break;
        at += n;
    }
    if (!responder_->pending()) timer_->stop();
    return static_cast<int>(at);
}

void PtyEnd::hang_up() {
    if (notifier_) {
        notifier_->setEnabled(false);
        delete notifier_;
        notifier_ = nullptr;
    }
    if (timer_) timer_->stop();
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
}

bool PtyEnd::hang_up_line() {
    if (slave_ < 0) return false;
    return ::ioctl(slave_, TIOCVHANGUP) == 0;
}

} // namespace sim
