#pragma once
// Message boxes, beep, mouse pointer and the event pump, behind one switchable backend so that
// tests can record what the user would have seen and script the answers.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace ui {

// Button sets and answers, numbered as the program's message boxes number them.
enum MsgButtons {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64
};
enum MsgAnswer { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

// Mouse pointer values.
enum Pointer { vbDefault = 0, vbHourglass = 11 };

class UiBackend {
public:
    virtual ~UiBackend() = default;
    virtual int msg_box(const QString& text, int buttons, const QString& caption) = 0;
    virtual void beep() = 0;
    virtual void set_pointer(int pointer) = 0;
};

// What the user would have seen, for tests. Answers are taken from `answers` in order; when none
// is left the box answers OK (or Yes for a Yes/No box).
class UiRecorder : public UiBackend {
public:
    struct Box {
        QString text;
        int buttons;
        QString caption;
    };
    QList<Box> boxes;
    QList<int> answers;
    QList<int> pointers;
    int beeps = 0;
    // Called inside each message box, as a modal box would let the test act while it is open.
    std::function<void(const Box&)> on_box;

    int msg_box(const QString& text, int buttons, const QString& caption) override;
    void beep() override { ++beeps; }
    void set_pointer(int pointer) override { pointers.append(pointer); }
    QStringList texts() const;
};

// Installs a backend for the calls below; nullptr returns to the real one.
void set_backend(UiBackend* backend);
UiBackend* backend();

// A modal message box; an empty caption shows the program's title.
int MsgBox(const QString& text, int buttons = vbOKOnly, const QString& caption = QString());
void Beep();
void SetMousePointer(int pointer);
int MousePointer();
// One pass of the event pump; the user's input waits for the loop the caller returns to
// (event_pump.h).
void DoEvents();

} // namespace ui
