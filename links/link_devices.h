#pragma once
// The link controls of the scale screen: the one serial control and the one TCP socket that the
// link set-ups, the receive scans, the poll timers and the keypad all share. They are made on
// first use and live for the run; the screen closes them when it unloads.
#include "platform/serial/mscomm.h"
#include "platform/socket/winsock.h"

#include <QString>
#include <functional>

serial::MSComm& MSComm1();
net::Winsock& Winsock1();

// The TCP port of the Ethernet link (2000). Tests point it at their loopback server.
int ethernet_port();
void set_ethernet_port(int port);

// Who is told when a link device goes away while open, or the Ethernet connection is refused or
// lost (the scale screen): the text names the device and gives the system's reason (what to do
// next is the screen's to say). Each loss is reported once: the device is closed at the first
// failure and reports nothing more.
using LinkLostHandler = std::function<void(const QString& message)>;
void set_link_lost_handler(LinkLostHandler handler);
void report_link_lost(const QString& message);
// The Ethernet connection failed: refused or not made (was_connected false), or lost.
void report_socket_failed(bool was_connected, const QString& reason);

// Closes the serial port and the socket, as the unloading of the scale screen does when its
// controls go away.
void close_link_devices();
// Closes and drops both controls, for tests; the next use makes new ones.
void reset_link_devices();
