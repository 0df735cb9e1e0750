#include "platform/ui/event_pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QList>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWheelEvent>

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
        return true;
    default:
        return false;
    }
}

// A copy of `e` to hand on later. A pointer event shares its point with the pointing device,
// which moves on with the pointer: the copy gets a point of its own, where the event was.
std::unique_ptr<QEvent> copy_of(const QEvent* e) {
    if (auto* m = dynamic_cast<const QMouseEvent*>(e))
        return std::make_unique<QMouseEvent>(m->type(), m->position(), m->scenePosition(),
                                             m->globalPosition(), m->button(), m->buttons(), m->modifiers(),
                                             m->pointingDevice());
    if (auto* w = dynamic_cast<const QWheelEvent*>(e))
        return std::make_unique<QWheelEvent>(w->position(), w->globalPosition(), w->pixelDelta(),
                                             w->angleDelta(), w->buttons(), w->modifiers(), w->phase(),
                                             w->inverted(), w->source(), w->pointingDevice());
    return std::unique_ptr<QEvent>(e->clone());
}

// Input that arrives during a pass, from the window system or sent by code, is taken out of
// the pass where it first arrives (the window, or the widget it was sent to) and handed on in
// its order once the pass's caller is back in an event loop. (Leaving it in the window
// system's queue is no way: the queue is looked at again only when new events come.)
class InputHold : public QObject {
public:
    InputHold() {
        timer_.setSingleShot(true);
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { hand_on(); });
    }

    bool eventFilter(QObject* to, QEvent* e) override {
        if (e == handing_on_ || !in_pump() || !acts(e->type())) return false;
        held_.push_back({QPointer<QObject>(to), copy_of(e)});
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
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    loops.removeLast();
}

ModalLoop::ModalLoop() {
    loops.append(Loop::modal);
}

ModalLoop::~ModalLoop() {
    loops.removeLast();
}

} // namespace ui
