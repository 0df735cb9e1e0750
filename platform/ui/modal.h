#pragma once
// Modal windows of the program. While one is open, input (mouse, keys, shortcuts) to every
// other window of the program is held back; the modal window, the windows it owns (its
// popups and message boxes) keep working. Close requests are not held back: closing the shell
// still ends the program while a modal window runs its loop (the shell then ends the loops).
#include <QList>
#include <QPointer>
#include <QWidget>

class QEventLoop;

namespace ui {

// The window flags of the program's dialogs (message boxes, the about box): a dialog to the
// window manager, with a title and the close box and no minimise or maximise button.
Qt::WindowFlags dialog_flags();

// Makes `window` the top modal window for as long as it lives. While it is, another window of
// the program that becomes active (the user clicks it, or the program is restored after being
// minimised) hands the keyboard back to it.
class ModalScope {
public:
    explicit ModalScope(QWidget* window);
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    QPointer<QWidget> window_;
};

// Runs `loop` with `window` modal; returns when the loop quits or the program ends.
void exec_modal(QWidget* window, QEventLoop& loop);

// The open modal windows, the top one last.
QList<QWidget*> modal_windows();

} // namespace ui
