#pragma once
// Puts all module-level state of the program back to its state at program start, for tests:
// the state of each layer (core, links and the link devices, collection, the slave windows'
// open flags, the Setup dialog's run-time values) and every platform seam a test may replace
// (message boxes, the spreadsheet and its plugin folder, FTDI devices, the seconds clock and its
// slice hook, the volume table, the time zone's now, the registry file, the database busy
// time-out, the previous-instance lock). The serial port and the socket are closed before the seams go.
//
// It leaves the forms alone (they live for the run: unload them first) and with them the
// wiring a form makes once when it is built (the link-lost handler, the slave windows' click,
// the Excel box, the Ethernet link's callbacks); also the D-Bus prefix a test program picks
// once for its own bus names.
void reset_module_state();
