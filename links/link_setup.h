#pragma once
// Link set-ups: each empties the per-scale table, opens its link and fills one slot per scale
// (address, serial number, name, state 12345), telling the user in a message box what failed.
#include <QByteArray>
#include <QString>
#include <functional>

// Empties slots 0 to 9 of every column (slot 10 keeps its content) and sets cur_scale,
// cur_scale_addr and scale_count to 0.
void clear_scale_tables();

// "RS232": one scale on the serial port comm_port.
void rs232_init();
// "RS485": the network on the serial port; the scale list comes from sccfg.mdb in the
// program's folder.
void rs485_com_init();
// "USB": one slot per FTDI device, with its serial number and description.
void usb_enumerate();
// "USB485": opens the FTDI adapter; the scale list comes from zqdata.mdb (conn_str).
void usb485_init();
// "Ethernet": connects the socket to the configured host, port 2000; the scale list as for
// "USB485".
void ethernet_connect();
// The Ethernet link counts as up once its connection stands. Waits for it at most
// kEthernetConnectWait seconds, events running; true once connected. A connection refused is
// reported by the socket; one still not made in that time is closed and reported as such.
inline constexpr double kEthernetConnectWait = 3.0;
bool ethernet_wait_connected();

// Data that arrive over the Ethernet link are taken and parsed by ethernet_link().parseweight.
void Winsock1_DataArrival(int bytes_total);

// The scale list query of the network links.
inline constexpr char kNetworkScaleQuery[] =
    "select * from [ScaleCFG] where [sctype]='RS485' and [active]=true Order by [NetID]";

// The Ethernet set-up with the reply parser of that link; the screen sets the hooks.
class Ethernet {
public:
    void ethernet_connect();
    // Gathers the text into rx_buf(0) (replies::gather_reply_text: a reply runs from its own
    // address byte to its own CR) and takes each complete reply of the polled scale in it (the
    // selected one, cur_scale), cut at CR / LF, as that slot's reading; complete lines
    // under any other address are dropped. A reply not yet complete stays for the next data,
    // until another address byte comes in front of its CR, or the next data come more than the
    // reply wait later.
    void parseweight(const QByteArray& text);

    std::function<void(int slot)> show_reading;   // the selected slot's reading changed
    std::function<void(int slot)> reading_stored; // any slot's reading changed
    std::function<void(int slot)> data_collect;   // a slot with collection on got a reading

private:
    double last_arrival_ = 0; // monotonic time of the last data
};

// The one Ethernet link of the run, which Winsock1_DataArrival feeds.
Ethernet& ethernet_link();
