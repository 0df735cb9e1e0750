#include "links/command_frames.h"

#include "core/core_state.h"
#include "links/ftdi_adapter.h"
#include "links/link_devices.h"
#include "links/link_type.h"
#include "platform/ftdi/ftdi.h"
#include "platform/log/log.h"

namespace frames {

namespace {

bool is_single(LinkType t) {
    return t == LinkType::RS232 || t == LinkType::USB;
}

QByteArray one(char c) {
    return QByteArray(1, c);
}

// A, 0x11 (or 0x12), c as three writes or as one.
Writes net_frame(int addr, char second, char c, bool one_write) {
    char a = 0;
    if (!address_byte(addr, &a)) return {};
    if (one_write) return {QByteArray() + a + second + c};
    return {one(a), one(second), one(c)};
}

// A request of the configuration group: "*c" in one write on "RS232", one write A 0x11 c on
// "USB485", nothing elsewhere.
Writes config_request(LinkType t, int addr, char c) {
    if (t == LinkType::RS232) return {QByteArray() + cmd_prefix + c};
    if (t == LinkType::USB485) return net_frame(addr, net_cmd_byte, c, true);
    return {};
}

Writes block_head(LinkType t, int addr, char letter) {
    if (t == LinkType::RS232) return {update_prefix + letter};
    if (t == LinkType::USB485) return net_frame(addr, net_update_byte, letter, false);
    return {};
}

} // namespace

char key_char(int code) {
    if (code >= 0 && code <= 9) return static_cast<char>('0' + code);
    if (code == 10) return '.';
    if (code == 11) return 'E';
    return 0;
}

bool address_byte(int addr, char* out) {
    if (addr < 0 || addr > 255) return false;
    *out = static_cast<char>(static_cast<uint8_t>(addr));
    return true;
}

Writes poll(LinkType t, int addr, bool frame, PollSource source) {
    if (t == LinkType::RS232) return {one(cmd_prefix), one(frame ? 'F' : 'P')};
    if (t == LinkType::USB) return {one(cmd_prefix), one(frame && source == PollSource::single ? 'F' : '1')};
    if (t == LinkType::RS485) return net_frame(addr, net_cmd_byte, frame ? 'F' : '1', false);
    if (t == LinkType::USB485)
        return net_frame(addr, net_cmd_byte, frame ? 'F' : '1', source == PollSource::cycle);
    return {};
}

Writes poll_request(LinkType t, int addr, PollSource source) {
    return poll(t, addr, false, source);
}

Writes frame_poll_request(LinkType t, int addr, PollSource source) {
    return poll(t, addr, true, source);
}

Writes ethernet_poll_request(LinkType t, int addr) {
    if (t != LinkType::Ethernet) return {};
    return net_frame(addr, net_cmd_byte, 'K', true);
}

Writes keypad_key_frame(LinkType t, int addr, int key_code) {
    const char key = key_char(key_code);
    if (!key) return {};
    if (is_single(t)) return {one(cmd_prefix), one(key)};
    if (t == LinkType::RS485 || t == LinkType::USB485) return net_frame(addr, net_cmd_byte, key, false);
    return {};
}

Writes output_config_read(LinkType t, int addr) {
    return config_request(t, addr, 'J');
}
Writes group_setup_read(LinkType t, int addr) {
    return config_request(t, addr, 'G');
}
Writes totals_request(LinkType t, int addr) {
    return config_request(t, addr, 'T');
}
Writes reset_totals_request(LinkType t, int addr) {
    return config_request(t, addr, 'R');
}
Writes write_finish_command(LinkType t, int addr) {
    return config_request(t, addr, 'S');
}

Writes output_config_block(LinkType t, int addr, char letter) {
    if (letter < 'A' || letter > 'H') return {};
    return block_head(t, addr, letter);
}

Writes group_setup_block(LinkType t, int addr, char letter) {
    const bool digit = letter >= '0' && letter <= '9';
    if (!digit && !(letter == 'I' && t == LinkType::USB485)) return {};
    return block_head(t, addr, letter);
}

void send(const Writes& writes) {
    const LinkType t = link_type();
    if (!writes.isEmpty()) qCDebug(lcLinks).noquote() << "frame to" << core.comm_type << wlog::writes(writes);
    for (const QByteArray& w : writes) {
        if (t == LinkType::RS232 || t == LinkType::RS485)
            MSComm1().Output(w);
        else if (t == LinkType::USB || t == LinkType::USB485)
            usb_write(w);
        else if (t == LinkType::Ethernet) {
            if (Winsock1().State() == net::Winsock::sckConnected)
                Winsock1().SendData(w);
            else
                qCDebug(lcLinks) << "Ethernet frame not sent: the socket is not connected";
        }
    }
}

void send_ftdi(uint32_t handle, const Writes& writes) {
    if (!writes.isEmpty())
        qCDebug(lcLinks).noquote() << "frame to FTDI handle" << handle << wlog::writes(writes);
    for (const QByteArray& w : writes) {
        uint32_t done = 0;
        wlog::ft_ok(ftdi::FT_Write(handle, w, &done), "FT_Write");
    }
}

} // namespace frames
