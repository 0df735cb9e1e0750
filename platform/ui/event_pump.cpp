#include "platform/ui/event_pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QList>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <memory>

namespace ui {

namespace {

// The loops entered through this layer, the innermost last.
enum class Loop { pump, modal };
QList<Loop> loops;

bool in_pump() {
    return !loops.isEmpty() && loops.last() == Loop::pump;
}

// Input that makes something happen; pointer moves, hovering and the question whether a key
// is a shortcut (ShortcutOverride) pass, they change nothing.
bool acts(QEvent::Type t) {
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// The window system keeps the user's input queued while a pass runs (the pass excludes it).
// Input that reaches a widget some other way during a pass (sent or posted by code) is held
// here the same way, and handed on in its order once the pass's caller is back in a loop.
class InputHold : public QObject {
public:
    InputHold() {
        timer_.setSingleShot(true);
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { hand_on(); });
    }

    bool eventFilter(QObject* to, QEvent* e) override {
        if (e == handing_on_ || !in_pump() || !acts(e->type())) return false;
        held_.push_back({QPointer<QObject>(to), std::unique_ptr<QEvent>(e->clone())});
        timer_.start();
        return true;
    }

private:
    struct Held {
        QPointer<QObject> to;
        std::unique_ptr<QEvent> event;
    };

    // One held event per turn of the loop, as the window system hands them on: one that opens
    // a modal window leaves the rest to that window's loop.
    void hand_on() {
        if (in_pump()) {
            timer_.start();
            return;
        }
        if (held_.empty()) return;
        Held next = std::move(held_.front());
        held_.pop_front();
        if (!held_.empty()) timer_.start();
        if (!next.to) return;
        QEvent* const outer = handing_on_;
        handing_on_ = next.event.get();
        QCoreApplication::sendEvent(next.to, next.event.get());
        handing_on_ = outer;
    }

    std::deque<Held> held_;
    QTimer timer_;
    QEvent* handing_on_ = nullptr;
};

void install_hold() {
    static InputHold* hold = nullptr;
    if (hold || !qApp) return;
    hold = new InputHold;
    hold->setParent(qApp);
    qApp->installEventFilter(hold);
}

} // namespace

void pump_events() {
    install_hold();
    loops.append(Loop::pump);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    loops.removeLast();
}

ModalLoop::ModalLoop() {
    loops.append(Loop::modal);
}

ModalLoop::~ModalLoop() {
    loops.removeLast();
}

} // namespace ui
