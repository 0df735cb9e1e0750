// Receive scans of the scale screen: one per link. Each reads a reply into rx_buf(0), has it cut
// by the reply parser, stores the reading of its slot, shows it and logs it into datacol as the
// collection boxes ask.
#include <algorithm>

#include "collect/collected_reading.h"
#include "collect/excel_interface.h"
#include "collect/slave_windows.h"
#include "core/waits.h"
#include "links/link_devices.h"
#include "links/links_state.h"
#include "links/reply_parser.h"
#include "platform/clock/clock.h"
#include "platform/db/data_control.h"
#include "platform/ftdi/ftdi.h"
#include "platform/log/log.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"

namespace {

using replies::kReplyWait;

QString text_of(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

// Once the polled scale's reply is taken, what stands behind it in rx_buf(0) is dropped.
void drop_after_reply(const char* link_name) {
    if (!links.rx_buf[0].isEmpty())
        qCDebug(lcLinks).noquote() << link_name
                                   << "text after the polled reply dropped:" << wlog::bytes(links.rx_buf[0]);
    links.rx_buf[0].clear();
}

// The first filled slot with this network address, or -1.
int slot_of_address(int address) {
    for (int i = 0; i < filled_slots(); ++i)
        if (links.scale_addr[static_cast<size_t>(i)] == address) return i;
    return -1;
}

// Appends one collected reading through the grid's data control, lets events run and moves the
// grid to its last record. Returns the record's ID, -1 when it could not be stored. A database
// that refuses records (locked, read-only, broken) is told once per run of failures, with its
// reason; every reading is offered to it again, so storing resumes as soon as it accepts.
// Readings refused meanwhile are not kept for later.
int64_t log_reading(adodb::DataControl* data2, const QString& scale_id, const QByteArray& reading) {
    QString error;
    const int64_t id = add_collected_reading(data2, scale_id, text_of(reading), &error);
    if (id >= 0) {
        links.store_failing = false;
    } else if (!links.store_failing) {
        links.store_failing = true;
        ui::MsgBox(QStringLiteral("A reading of scale %1 could not be stored in the collected readings:\n%2\n"
                                  "Readings are still shown but are not stored while this lasts, nor later. "
                                  "Storing resumes by itself as soon as the database accepts readings again.")
                       .arg(scale_id, error),
                   ui::vbOKOnly | ui::vbExclamation);
    }
    ui::DoEvents();
    if (data2 && data2->Recordset()->IsOpen()) data2->Recordset()->MoveLast();
    return id;
}

// Everything queued on an FTDI handle, in reads of at most one read buffer. The buffer keeps
// the last read at its start and what earlier reads left behind it. `failed` is set when a read
// fails (the device is gone).
QByteArray read_queued(ftdi::FT_HANDLE handle, uint32_t queued, replies::ReadBuffer& buffer, bool* failed) {
    QByteArray got;
    *failed = false;
    while (queued > 0) {
        const uint32_t want = std::min<uint32_t>(queued, replies::kReadBufferSize);
        uint32_t done = 0;
        if (!wlog::ft_ok(ftdi::FT_Read(handle, buffer.data(), want, &done), "FT_Read")) {
            *failed = true;
            break;
        }
        if (done == 0) break; // nothing after all
        done = std::min(done, want);
        got.append(buffer.data(), done);
        queued -= std::min(done, queued);
    }
    return got;
}

} // namespace

void form1::rs232_inputscan() {
    ui::DoEvents();
    serial::MSComm& port = MSComm1();
    // A line without its CR waits in rx_buf(0) for the next call.
    if (port.InBufferCount() > 0)
        replies::gather_reply_text(links.rx_buf[0], links.rx_overlong, port.Input(), replies::Link::rs232,
                                   "RS232");
    // Each complete line is taken in order, as if it had come alone. A line leaves rx_buf(0)
    // before it is logged, so a scan that runs while the logging lets events run goes on with
    // the lines behind it.
    QByteArray line;
    bool taken = false;
    while (replies::take_line(links.rx_buf[0], line)) {
        taken = true;
        const replies::Reply r = replies::parse_reply(replies::Link::rs232, line);
        qCDebug(lcLinks).noquote() << "RS232 reply taken into slot 0" << wlog::bytes(line);
        if (r.group_seen) txt_groupnum->setText(text_of(r.group_text));
        links.scale_reading[0] = r.reading;
        Screen->setText(text_of(r.reading));
        // Group lines are collected whether or not "Enabled" is ticked.
        if (r.group_seen) log_reading(data2, links.scale_name[0], r.reading);
    }
    if (taken) ui::DoEvents();
}

void form1::rs485_inputscan() {
    serial::MSComm& port = MSComm1();
    const int polled = filled_slot_address(links.poll_index);
    QByteArray raw;
    const double start = wait_start(kReplyWait);
    for (;;) {
        if (wait_passed(start, kReplyWait)) {
            // A reply that did not reach its CR is dropped, never joined to what comes next.
            if (!links.rx_buf[0].isEmpty())
                qCDebug(lcLinks).noquote() << "RS485 time-out: no reply end within" << kReplyWait
                                           << "s, dropped" << wlog::bytes(links.rx_buf[0]);
            links.rx_buf[0].clear();
            return;
        }
        ui::DoEvents();
        if (port.InBufferCount() > 0)
            replies::gather_reply_text(links.rx_buf[0], links.rx_overlong, port.Input(), replies::Link::rs485,
                                       "RS485");
        if (replies::take_reply_of(links.rx_buf[0], polled, raw, "RS485")) break;
        wclock::pause_slice();
    }
    drop_after_reply("RS485");
    const replies::Reply r = replies::parse_reply(replies::Link::rs485, raw);
    const int i = slot_of_address(r.address);
    if (!r.accepted || i < 0) return;
    const auto slot = static_cast<size_t>(i);
    qCDebug(lcLinks).noquote() << "RS485 reply from" << r.address << "taken into slot" << i
                               << wlog::bytes(raw);
    links.scale_reading[slot] = r.reading;
    ui::DoEvents();
    if (i == links.cur_scale) Screen->setText(text_of(links.scale_reading[slot]));
    netlist_set_row(i, links.scale_name[slot], text_of(links.scale_reading[slot]));
    if (Check1->isChecked())
        log_reading(data2, QString::number(links.scale_addr[slot]), links.scale_reading[slot]);
    ui::DoEvents();
}

void form1::USB_inputscan() {
    ui::DoEvents();
    const int i = links.poll_index;
    if (i < 0 || i >= filled_slots()) return;
    const auto slot = static_cast<size_t>(i);
    const auto handle = static_cast<ftdi::FT_HANDLE>(links.scale_addr[slot]);
    if (handle == 0) return; // the slot's device was lost
    uint32_t queued = 0;
    if (!wlog::ft_ok(ftdi::FT_GetQueueStatus(handle, &queued), "FT_GetQueueStatus")) {
        ftdi_device_lost(i);
        return;
    }
    if (queued == 0) return;
    replies::ReadBuffer buffer;
    buffer.fill(' ');
    bool failed = false;
    const QByteArray read = read_queued(handle, queued, buffer, &failed);
    links.rx_buf[0].clear();
    if (failed) {
        ftdi_device_lost(i);
        return;
    }
    if (read.isEmpty()) return;
    // Every read is one reading, with or without its CR.
    const replies::Reply r = replies::parse_reply(replies::Link::usb, read);
    if (r.reading.size() > replies::kLongestReadingLine) {
        qCDebug(lcLinks).noquote() << "USB read longer than any reading dropped, slot" << i
                                   << wlog::bytes(read);
        return;
    }
    qCDebug(lcLinks).noquote() << "USB reply taken into slot" << i << wlog::bytes(read);
    links.scale_reading[slot] = r.reading;
    if (i == links.cur_scale) Screen->setText(text_of(links.scale_reading[slot]));
    netlist_set_row(i, links.scale_name[slot], text_of(links.scale_reading[slot]));
    if (Check1->isChecked()) log_reading(data2, links.scale_name[slot], links.scale_reading[slot]);
    ui::DoEvents();
}

void form1::USB485_inputscan() {
    ui::DoEvents();
    if (links.scan_stop) return;
    links.rx_buf[0].clear();
    links.rx_overlong = false;
    const int polled = filled_slot_address(links.poll_index);
    QByteArray raw;
    replies::ReadBuffer buffer{}; // code 0 where no read of this call has written
    const double start = wait_start(kReplyWait);
    for (;;) {
        if (wait_passed(start, kReplyWait)) {
            links.usb485_timeouts += 1;
            qCDebug(lcLinks).noquote()
                << QStringLiteral("USB485 time-out: no reply end within %1 s (time-out %2), dropped")
                       .arg(kReplyWait)
                       .arg(links.usb485_timeouts)
                << wlog::bytes(links.rx_buf[0]);
            wlog::ft_ok(ftdi::FT_Purge(links.usb_handle, ftdi::FT_PURGE_RX | ftdi::FT_PURGE_TX), "FT_Purge");
            return;
        }
        ui::DoEvents();
        uint32_t queued = 0;
        const ftdi::FT_STATUS status = ftdi::FT_GetQueueStatus(links.usb_handle, &queued);
        if (links.scan_stop) return;
        if (status != ftdi::FT_OK && links.usb_handle != 0) {
            wlog::ft_ok(status, "FT_GetQueueStatus");
            ftdi_device_lost(-1);
            return;
        }
        if (queued == 0) {
            wclock::pause_slice();
            continue;
        }
        bool failed = false;
        const QByteArray got = read_queued(links.usb_handle, queued, buffer, &failed);
        if (failed) {
            ftdi_device_lost(-1);
            return;
        }
        replies::gather_reply_text(links.rx_buf[0], links.rx_overlong, got, replies::Link::usb485, "USB485");
        if (replies::take_reply_of(links.rx_buf[0], polled, raw, "USB485")) break;
    }
    drop_after_reply("USB485");
    const replies::Reply r = replies::parse_reply(replies::Link::usb485, raw);
    const int i = slot_of_address(r.address);
    if (!r.accepted || i < 0) return;
    if (r.group_seen) txt_groupnum->setText(text_of(r.group_text));
    const auto slot = static_cast<size_t>(i);
    qCDebug(lcLinks).noquote() << "USB485 reply from" << r.address << "taken into slot" << i
                               << wlog::bytes(raw);
    links.scale_reading[slot] = r.reading;
    ui::DoEvents();
    if (i == links.cur_scale) Screen->setText(text_of(links.scale_reading[slot]));
    if (i <= 9 && slave_open[slot] == 1) slave_show_reading(i, text_of(links.scale_reading[slot]));
    netlist_set_row(i, links.scale_name[slot], text_of(links.scale_reading[slot]));

    const QString scale_id = QString::number(links.scale_addr[slot]);
    if (Check1->isChecked() && r.group_seen) log_reading(data2, scale_id, links.scale_reading[slot]);

    if (chk_SaveOnPrint->isChecked() || r.printed) {
        int64_t last_id = log_reading(data2, scale_id, replies::last_chars(links.scale_reading[slot], 6));
        // The block follows the reply: where text stood in front of the reply in the last
        // read, the slots are counted from the reply's own start.
        const qsizetype at = QByteArray::fromRawData(buffer.data(), replies::kReadBufferSize).indexOf(raw);
        for (const replies::Record& rec : replies::record_block(buffer, at > 0 ? static_cast<int>(at) : 0)) {
            const int64_t id = log_reading(data2, QString::number(rec.address), rec.reading);
            if (id >= 0) last_id = id;
        }
        if (chk_Excel->isChecked() && last_id >= 0) {
            excel_set_row_for_record(last_id);
            excel_log_reading(static_cast<int16_t>(Combo1->currentIndex()));
        }
    }
    ui::DoEvents();
}
