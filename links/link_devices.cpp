#include "links/link_devices.h"

#include "links/link_setup.h"

#include <memory>

namespace {
std::unique_ptr<serial::MSComm> comm;
std::unique_ptr<net::Winsock> sock;
int port_2000 = 2000;
LinkLostHandler lost_handler;
} // namespace

void set_link_lost_handler(LinkLostHandler handler) {
    lost_handler = std::move(handler);
}

void report_link_lost(const QString& message) {
    if (lost_handler) lost_handler(message);
}

serial::MSComm& MSComm1() {
    if (!comm) {
        comm = std::make_unique<serial::MSComm>();
        serial::MSComm* port = comm.get();
        QObject::connect(port, &serial::MSComm::Lost, port, [port] {
            report_link_lost(QStringLiteral("The scale on COM%1 (%2) can no longer be reached: %3.")
                                 .arg(port->CommPort())
                                 .arg(serial::MSComm::device_path(port->CommPort()), port->error()));
        });
    }
    return *comm;
}

net::Winsock& Winsock1() {
    if (!sock) {
        sock = std::make_unique<net::Winsock>();
        net::Winsock* s = sock.get();
        QObject::connect(s, &net::Winsock::DataArrival, s, &Winsock1_DataArrival);
        QObject::connect(s, &net::Winsock::Failed, s, &report_socket_failed);
    }
    return *sock;
}

void report_socket_failed(bool was_connected, const QString& reason) {
    const net::Winsock& s = Winsock1();
    const QString where = QStringLiteral("%1, port %2").arg(s.RemoteHost()).arg(s.RemotePort());
    report_link_lost(
        was_connected ? QStringLiteral("The connection to the scales at %1 was lost: %2.").arg(where, reason)
                      : QStringLiteral("The scales at %1 could not be connected: %2.").arg(where, reason));
}

int ethernet_port() {
    return port_2000;
}
void set_ethernet_port(int port) {
    port_2000 = port;
}

void close_link_devices() {
    if (comm) comm->setPortOpen(false);
    if (sock) sock->Close();
}

void reset_link_devices() {
    close_link_devices();
    comm.reset();
    sock.reset();
    port_2000 = 2000;
}
