#pragma once
// Access to the FTDI USB adapter: open, write, close, modem status.

// Closes every adapter handle the links hold open. Safe to call at any time,
// also when nothing is open.
void usb_close_all();
