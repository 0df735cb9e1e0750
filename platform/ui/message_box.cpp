#include "platform/ui/message_box.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QMdiArea>
#include <QMessageBox>
#include <QWidget>

#include "platform/ui/event_pump.h"
#include "platform/ui/form.h"
#include "platform/ui/modal.h"

namespace ui {

namespace {

class RealUi : public UiBackend {
public:
    int msg_box(const QString& text, int buttons, const QString& caption) override {
        // Owned by the top modal window when one is open, else by the active window, else by
        // the shell: a box always stands over the program's windows and goes with them.
        const QList<QWidget*> modal = modal_windows();
        QWidget* owner = modal.isEmpty() ? QApplication::activeWindow() : modal.last()->window();
        if (!owner && mdi_area()) owner = mdi_area()->window();
        QMessageBox box(owner);
        // Held modal by the program's own modal scope below, not by the window system: that
        // would drop the shell's close request while the box is open.
        box.setWindowModality(Qt::NonModal);
        box.setWindowFlags(dialog_flags());
        box.setWindowTitle(caption);
        // Lines of a message are joined by carriage returns; the box breaks lines at line feeds.
        QString shown = text;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
        box.setText(shown);
        const int set = buttons & 7;
        if ((buttons & 0x70) == vbQuestion)
            box.setIcon(QMessageBox::Question);
        else if ((buttons & 0x70) == vbExclamation)
            box.setIcon(QMessageBox::Warning);
        else if ((buttons & 0x70) == vbInformation)
            box.setIcon(QMessageBox::Information);
        switch (set) {
        case vbOKCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case vbYesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        case vbYesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        }
        // The box runs modal in the program's own way, so that closing the shell still ends
        // the program while it is open. A box that ends without an answer (the program is
        // ending) gives the answer that changes nothing.
        QEventLoop loop;
        QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
        box.show();
        exec_modal(&box, loop);
        switch (box.clickedButton() ? box.standardButton(box.clickedButton()) : QMessageBox::NoButton) {
        case QMessageBox::Ok:
            return vbOK;
        case QMessageBox::Yes:
            return vbYes;
        case QMessageBox::No:
            return vbNo;
        case QMessageBox::Cancel:
            return vbCancel;
        default:
            return set == vbYesNo ? vbNo : set == vbOKOnly ? vbOK : vbCancel;
        }
    }
    void beep() override { QApplication::beep(); }
    void set_pointer(int pointer) override {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        if (pointer == vbHourglass) QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
};

RealUi real_ui;
UiBackend* current = nullptr;
int pointer_value = vbDefault;

} // namespace

int UiRecorder::msg_box(const QString& text, int buttons, const QString& caption) {
    boxes.append({text, buttons, caption});
    if (on_box) on_box(boxes.last());
    if (!answers.isEmpty()) return answers.takeFirst();
    const int set = buttons & 7;
    return (set == vbYesNo || set == vbYesNoCancel) ? vbYes : vbOK;
}

QStringList UiRecorder::texts() const {
    QStringList out;
    for (const Box& b : boxes)
        out.append(b.text);
    return out;
}

void set_backend(UiBackend* b) {
    current = b;
}
UiBackend* backend() {
    return current ? current : &real_ui;
}

int MsgBox(const QString& text, int buttons, const QString& caption) {
    return backend()->msg_box(text, buttons, caption.isEmpty() ? QStringLiteral("Weyvane") : caption);
}

void Beep() {
    backend()->beep();
}

void SetMousePointer(int pointer) {
    pointer_value = pointer;
    backend()->set_pointer(pointer);
}

int MousePointer() {
    return pointer_value;
}

void DoEvents() {
    pump_events();
}

} // namespace ui
