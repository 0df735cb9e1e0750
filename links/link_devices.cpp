#include "links/link_devices.h"

#include "links/link_setup.h"

#include <memory>

namespace {
std::unique_ptr<serial::MSComm> comm;
std::unique_ptr<net::Winsock> sock;
int port_2000 = 2000;
} // namespace

serial::MSComm& MSComm1() {
    if (!comm) comm = std::make_unique<serial::MSComm>();
    return *comm;
}

net::Winsock& Winsock1() {
    if (!sock) {
        sock = std::make_unique<net::Winsock>();
        QObject::connect(sock.get(), &net::Winsock::DataArrival, sock.get(), &Winsock1_DataArrival);
    }
    return *sock;
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
