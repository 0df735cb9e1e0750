#pragma once
// A scale on a pseudo-terminal: the program opens the device path like a serial port, the
// responder answers on the other end. Bytes move when the event loop runs, or at once with
// pump() (tests call it from the fake clock's slice hook).
#include "tests/sim/scale_responder.h"

#include <QObject>
#include <QString>
#include <memory>

class QSocketNotifier;
class QTimer;

namespace sim {

class PtyEnd : public QObject {
    Q_OBJECT
public:
    explicit PtyEnd(std::shared_ptr<Responder> responder, QObject* parent = nullptr);
    ~PtyEnd() override;

    bool ok() const { return master_ >= 0; }
    // The device path to give the program as its serial port.
    QString path() const { return path_; }
    Responder& responder() { return *responder_; }

    // Takes what the program wrote and sends what is due, without waiting. Returns the number
    // of bytes sent.
    int pump();
    // Closes the terminal: the device disappears under the program (its reads fail).
    void hang_up();
    // Hangs the line up, as a virtual or networked port whose far end went away: the program's
    // reads return end-of-file. False when the system refuses it.
    bool hang_up_line();

private:
    std::shared_ptr<Responder> responder_;
    int master_ = -1;
    int slave_ = -1;
    QString path_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace sim
