#include "platform/ui/modal.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include "platform/ui/event_pump.h"

namespace ui {

namespace {

QList<QPointer<QWidget>> stack;

bool is_input(QEvent::Type t) {
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// True when `o` belongs to `top`: a widget inside it or in a window it owns, or an action
// shown there.
bool belongs_to(QObject* o, QWidget* top) {
    if (auto* a = qobject_cast<QAction*>(o)) {
        for (QObject* w : a->associatedObjects())
            if (belongs_to(w, top)) return true;
        return false;
    }
    auto* w = qobject_cast<QWidget*>(o);
    if (!w) return true; // window-system objects hand their input on to the widgets
    for (; w; w = w->parentWidget())
        if (w == top) return true;
    return false;
}

QWidget* top_window() {
    while (!stack.isEmpty() && !stack.last())
        stack.removeLast();
    return stack.isEmpty() ? nullptr : stack.last().data();
}

// Brings the top modal window forward with the keyboard, restoring it when it was minimised.
void bring_forward(QWidget* top) {
    QWidget* w = top->window();
    if (w->isMinimized()) w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->raise();
    w->activateWindow();
}

// The active window is one that the top modal window holds back: the keyboard goes back to the
// top modal window. Run after the activation has settled, since the window manager may still
// be restoring the program's windows when it activates one.
void keyboard_to_top() {
    QWidget* top = top_window();
    if (!top || !top->isVisible()) return;
    QWidget* active = QApplication::activeWindow();
    if (active && (active == top->window() || belongs_to(active, top))) return;
    bring_forward(top);
}

class Blocker : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::WindowActivate) {
            QWidget* top = top_window();
            if (top && !belongs_to(o, top)) QTimer::singleShot(0, top, keyboard_to_top);
            return false;
        }
        if (!is_input(e->type())) return false;
        QWidget* top = top_window();
        if (!top || belongs_to(o, top)) return false;
        if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::NonClientAreaMouseButtonPress)
            bring_forward(top);
        return true;
    }
};

Blocker* blocker = nullptr;

} // namespace

Qt::WindowFlags dialog_flags() {
    return Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
           Qt::WindowCloseButtonHint;
}

ModalScope::ModalScope(QWidget* window) : window_(window) {
    if (!blocker && qApp) {
        blocker = new Blocker;
        blocker->setParent(qApp);
        qApp->installEventFilter(blocker);
    }
    stack.append(window_);
}

ModalScope::~ModalScope() {
    stack.removeOne(window_);
    top_window();
}

void exec_modal(QWidget* window, QEventLoop& loop) {
    ModalScope scope(window);
    ModalLoop mark;
    loop.exec();
}

QList<QWidget*> modal_windows() {
    QList<QWidget*> out;
    for (const QPointer<QWidget>& w : stack)
        if (w) out.append(w);
    return out;
}

} // namespace ui
