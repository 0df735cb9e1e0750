#include "platform/ui/event_pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QList>
#include <QMouseEvent>
#include <QPointer>
#include <QPointingDevice>
#include <QTimer>
#include <QWheelEvent>

#include <deque>
#include <functional>
#include <memory>

namespace ui {

namespace {

// The loops entered through this layer, the innermost last.
enum class Loop { pump, modal };
QList<Loop> loops;

bool innermost_is_pump() {
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

// Pointer moves change nothing by themselves, but a drag is a press, the moves and a release:
// while a press or a release waits, the moves wait with it.
bool moves(QEvent::Type t) {
    return t == QEvent::MouseMove || t == QEvent::NonClientAreaMouseMove;
}

// The window system asking a top-level window to close (its close box).
bool close_request(const QObject* to, const QEvent* e) {
    return e->type() == QEvent::Close && to->isWindowType();
}

// How to make `e` again when it is handed on. A pointer event keeps its point in the pointing
// device, which moves it on with the pointer: a copy kept until later would be handed on where
// the pointer was by then, so the event is made anew, where it was, at the moment it goes out.
std::function<std::unique_ptr<QEvent>()> remake(const QEvent* e) {
    using Device = QPointer<QPointingDevice>;
    if (auto* m = dynamic_cast<const QMouseEvent*>(e))
        return [t = m->type(), pos = m->position(), scene = m->scenePosition(), global = m->globalPosition(),
                button = m->button(), buttons = m->buttons(), mods = m->modifiers(),
                dev = Device(const_cast<QPointingDevice*>(m->pointingDevice()))] {
            return std::make_unique<QMouseEvent>(t, pos, scene, global, button, buttons, mods,
                                                 dev ? dev.data() : QPointingDevice::primaryPointingDevice());
        };
    if (auto* w = dynamic_cast<const QWheelEvent*>(e))
        return [pos = w->position(), global = w->globalPosition(), pixels = w->pixelDelta(),
                angle = w->angleDelta(), buttons = w->buttons(), mods = w->modifiers(), phase = w->phase(),
                inverted = w->inverted(), source = w->source(),
                dev = Device(const_cast<QPointingDevice*>(w->pointingDevice()))] {
            return std::make_unique<QWheelEvent>(pos, global, pixels, angle, buttons, mods, phase, inverted,
                                                 source,
                                                 dev ? dev.data() : QPointingDevice::primaryPointingDevice());
        };
    std::shared_ptr<QEvent> copy(e->clone());
    return [copy] { return std::unique_ptr<QEvent>(copy->clone()); };
}

// Input that arrives during a pass, from the window system or sent by code, is taken out of
// the pass where it first arrives (the window, or the widget it was sent to) and handed on once
// the pass's caller is back in an event loop: all of it at the loop's next turn, in the order it
// came. Input that comes while older input waits goes behind it, pass or no pass, and so does a
// close request: nothing the user did is overtaken. (Leaving input in the window system's queue
// is no way: the queue is looked at again only when new events come.)
class InputHold : public QObject {
public:
    InputHold() {
        timer_.setSingleShot(true);
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { hand_on(); });
    }

    bool eventFilter(QObject* to, QEvent* e) override {
        const QEvent::Type t = e->type();
        if (!acts(t) && !moves(t) && !close_request(to, e)) return false;
        // What an event handed on sends on its way (the window to its widget) belongs to it.
        if (handing_on_ && loops.size() == handing_on_depth_) return false;
        // Nothing waits: input passes outside a pass, and pointer moves and closing pass always.
        if (held_.empty() && (!innermost_is_pump() || !acts(t))) return false;
        held_.push_back({QPointer<QObject>(to), remake(e)});
        timer_.start();
        return true;
    }

    bool holding() const { return !held_.empty(); }

private:
    struct Held {
        QPointer<QObject> to;
        std::function<std::unique_ptr<QEvent>()> make;
    };

    // Everything held, in order. An event that opens a window with a loop of its own (a modal
    // window) leaves the rest to that loop, which hands it on at its first turn, before that
    // window's own input; what the window blocks is then refused there, as it would have been
    // had it come while the window was open.
    void hand_on() {
        if (innermost_is_pump()) {
            timer_.start();
            return;
        }
        while (!held_.empty()) {
            Held next = std::move(held_.front());
            held_.pop_front();
            if (!next.to) continue;
            if (!held_.empty()) timer_.start();
            const bool outer = handing_on_;
            const qsizetype outer_depth = handing_on_depth_;
            handing_on_ = true;
            handing_on_depth_ = loops.size();
            const std::unique_ptr<QEvent> event = next.make();
            QCoreApplication::sendEvent(next.to, event.get());
            handing_on_ = outer;
            handing_on_depth_ = outer_depth;
        }
        timer_.stop();
    }

    std::deque<Held> held_;
    QTimer timer_;
    bool handing_on_ = false;
    qsizetype handing_on_depth_ = 0;
};

QPointer<InputHold> hold;

void install_hold() {
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

bool pumping() {
    return loops.contains(Loop::pump);
}

bool input_held() {
    return hold && hold->holding();
}

ModalLoop::ModalLoop() {
    loops.append(Loop::modal);
}

ModalLoop::~ModalLoop() {
    loops.removeLast();
}

} // namespace ui
