#pragma once
// Every request the program sends to a scale, built for each communication type as the list of
// writes that go out back to back (each element is one output assignment, one FT_Write or one
// socket send), and sent only through the functions below.
//
// Single-scale links ("RS232", "USB") frame a command as "*" + command character and a
// parameter block as "!U" + block letter; network links ("RS485", "USB485", "Ethernet") as the
// address byte, 0x11 (0x12 for a block) and the character. The address byte is the NetID
// itself; an address that does not fit in one byte gives no frame at all, so it can never reach
// another scale.
#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

#include "links/link_type.h"

namespace frames {

constexpr char cmd_prefix = '*';
inline const QByteArray update_prefix = QByteArrayLiteral("!U");
constexpr char net_cmd_byte = 0x11;
constexpr char net_update_byte = 0x12;
constexpr char reply_end = 0x0D;

using Writes = QList<QByteArray>;

// Who sends a poll: the network poll cycle (Timer1) or the single-scale poll (Timer4). On
// "USB485" the cycle sends its frame in one write, the single-scale poll in three; on "USB" the
// cycle always sends "1", also with "Frame" ticked.
enum class PollSource { cycle, single };

// The command character of keypad key code 0..11 ("0".."9", ".", "E"); 0 for any other code.
char key_char(int code);

// The address byte of a network frame; false when addr does not fit in one byte (0..255).
bool address_byte(int addr, char* out);

Writes poll_request(LinkType link, int addr, PollSource source);
Writes frame_poll_request(LinkType link, int addr, PollSource source);
// Poll or frame poll as the "Frame" box says.
Writes poll(LinkType link, int addr, bool frame, PollSource source);
// Only "Ethernet": one write A 0x11 "K".
Writes ethernet_poll_request(LinkType link, int addr);
Writes keypad_key_frame(LinkType link, int addr, int key_code);
Writes output_config_read(LinkType link, int addr);
Writes group_setup_read(LinkType link, int addr);
Writes totals_request(LinkType link, int addr);
Writes reset_totals_request(LinkType link, int addr);
Writes write_finish_command(LinkType link, int addr);
// Head of a parameter block: "!U" + letter in one write on "RS232"; A, 0x12, letter as three
// writes on "USB485". The block's data follow as the configuration transfer writes them.
// Output-configuration blocks are "A".."H"; group-setup blocks "1", "0", "9", "2".."8" on
// "RS232" and "1", "0", "I", "9", "2".."8" on "USB485".
Writes output_config_block(LinkType link, int addr, char letter);
Writes group_setup_block(LinkType link, int addr, char letter);

// Sends the writes over the link in force (link_type()): the serial control on "RS232" and
// "RS485", usb_write on "USB" and "USB485" (to the adapter, or the selected scale's handle),
// the socket on "Ethernet" (only while connected).
void send(const Writes& writes);
// Sends the writes with FT_Write straight to one FTDI handle, as the poll cycle does.
void send_ftdi(uint32_t handle, const Writes& writes);

} // namespace frames
