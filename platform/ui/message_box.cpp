#include "platform/ui/message_box.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QWidget>

namespace ui {

namespace {

class RealUi : public UiBackend {
public:
    int msg_box(const QString& text, int buttons, const QString& caption) override {
        QMessageBox box(QApplication::activeWindow());
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
        switch (box.exec()) {
        case QMessageBox::Yes:
            return vbYes;
        case QMessageBox::No:
            return vbNo;
        case QMessageBox::Cancel:
            return vbCancel;
        default:
            return vbOK;
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
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace ui
