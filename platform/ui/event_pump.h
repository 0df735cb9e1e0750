#pragma once
// The event pump that long operations (receive scans, transfers, waits) run between their
// steps. A pass serves timers, devices, painting and the window system, but holds back the
// user's input (clicks, keys, wheel, shortcuts) until the operation has returned to an event
// loop, where all of it is handed on at the next turn, in the order it came. Input that comes
// while older input waits goes behind it, also outside a pass: pointer moves (so a drag stays
// press, moves, release) and the window system's close request too. A window the user opens
// then runs its loop in the event loop, never inside the operation: a scan is never left
// suspended, its busy flag set, behind a window the user opened, and the poll timers and the
// logging go on while that window is open.
// Modal windows run loops of their own, marked with ModalLoop: input is served there again,
// also when the operation itself opened the window (a scan's own message box).

namespace ui {

// One pass of the pump.
void pump_events();

// True while a pass of the pump runs, also inside a window's loop opened during the pass: the
// code that pumped has not returned yet.
bool pumping();

// True while input waits to be handed on.
bool input_held();

// Marks the innermost event loop as a modal window's for as long as it lives.
class ModalLoop {
public:
    ModalLoop();
    ~ModalLoop();
    ModalLoop(const ModalLoop&) = delete;
    ModalLoop& operator=(const ModalLoop&) = delete;
};

} // namespace ui
