// The reset and read of the selected scale's totals, and the confirm-and-run commands around
// the configuration transfers and the default-value tables. No control of the screen calls
// them. Those that address the selected scale do nothing while no scale is selected.
#include "core/core_state.h"
#include "core/text_split.h"
#include "core/waits.h"
#include "links/command_frames.h"
#include "links/link_type.h"
#include "links/links_state.h"
#include "platform/db/adodb.h"
#include "platform/ui/message_box.h"
#include "screen/config_transfers.h"
#include "screen/form1.h"

namespace {

bool confirmed(const QString& text, const QString& title) {
    return ui::MsgBox(text, ui::vbYesNo, title) == ui::vbYes;
}

void default_record_check(const QString& table) {
    adodb::Connection conn;
    adodb::Recordset rs;
    if (!transfers::open_table(conn, rs, table)) return;
    rs.MoveLast();
    if (rs.RecordCount() == 0) {
        ui::MsgBox(QStringLiteral("No default record exists. One must be saved first"), ui::vbOKOnly);
    } else {
        rs.MoveFirst();
        rs.Update();
    }
    rs.Close();
    conn.Close();
}

void default_record_save(const QString& table) {
    adodb::Connection conn;
    adodb::Recordset rs;
    if (!transfers::open_table(conn, rs, table)) return;
    transfers::store_single_record(rs, QStringLiteral("default record"));
    rs.Close();
    conn.Close();
}

const QString kSaveDefaults =
    QStringLiteral("This action will save the values on the screen to the database. Proceed?");

} // namespace

void form1::reset_scale_totals() {
    if (selected_slot() < 0) return;
    if (!confirmed("This action will reset the totals in scale\r  " + Combo1->currentText() +
                       "\r\r Select YES to reset totals, or NO to cancel",
                   "Reset Scale Totals"))
        return;
    const LinkType t = link_type();
    if (t == LinkType::USB485) {
        ui::DoEvents();
        transfers::set_long_timeouts();
        ui::DoEvents();
        if (transfers::network_address_ok(links.cur_scale_addr))
            frames::send(frames::reset_totals_request(t, links.cur_scale_addr));
        ui::DoEvents();
    } else if (t == LinkType::RS232) {
        ui::DoEvents();
        frames::send(frames::reset_totals_request(t, links.cur_scale_addr));
        ui::DoEvents();
        ui::DoEvents();
    } else {
        ui::DoEvents();
    }
    for (int i = 0; i < 6; ++i)
        busy_wait();
    ui::DoEvents();
    read_group_totals();
    ui::DoEvents();
    net_stat_put();
    ui::DoEvents();
}

void form1::read_group_totals() {
    const LinkType t = link_type();
    const int32_t addr = links.cur_scale_addr;
    stop_polling_for_transfer();

    bool got = false;
    if (t == LinkType::USB485) {
        transfers::set_long_timeouts();
        ui::DoEvents();
        QByteArray reply;
        if (transfers::network_address_ok(addr)) {
            frames::send(frames::totals_request(t, addr));
            if (transfers::collect_adapter_reply(&reply) && static_cast<uint8_t>(reply.at(0)) >= 128) {
                links.rx_buf[0] = reply.mid(1);
                got = true;
            }
        }
    } else if (t == LinkType::RS232) {
        ui::DoEvents();
        frames::send(frames::totals_request(t, addr));
        ui::DoEvents();
        links.rx_buf[0].clear();
        if (transfers::collect_serial_reply(2.0)) {
            links.rx_buf[0] = trim_blanks(QString::fromLatin1(links.rx_buf[0])).toLatin1();
            got = true;
        } else {
            ui::Beep();
            ui::MsgBox(transfers::no_response_text(), ui::vbOKOnly);
            ui::DoEvents();
            // The read restores the screen as its other exits do.
        }
    }
    if (got) {
        ui::DoEvents();
        QString text = QString::fromLatin1(links.rx_buf[0]);
        parse_tab_fields(text);
        totals_caption = "Group Totals - " + Combo1->currentText();
    }
    // The reply (or what came of it on a time-out) is the read's, no reading for the next scan.
    if (t == LinkType::USB485 || t == LinkType::RS232) links.rx_buf[0].clear();

    ui::SetMousePointer(ui::vbDefault);
    ui::DoEvents();
    net_stat_put();
    ui::DoEvents();
}

void form1::load_default_groups() {
    if (confirmed(
            "This action will load the default group configuration values that are stored in the database "
            "and display them on the screen. Proceed?",
            "Load Default Group Configuration"))
        default_record_check("defaultgroups");
}

void form1::load_default_outputs() {
    if (confirmed(
            "This action will load the default output configuration values that are stored in the database "
            "and display them on the screen. Proceed?",
            "Load Default Output Configuration"))
        default_record_check("defaultoutputs");
}

void form1::save_default_groups() {
    if (confirmed(kSaveDefaults, "Save Default Group Configuration")) default_record_save("defaultgroups");
}

void form1::save_default_outputs() {
    if (confirmed(kSaveDefaults, "Save Default Output Configuration")) default_record_save("defaultoutputs");
}

void form1::download_oc_from_scale() {
    const int slot = selected_slot();
    if (slot < 0) return;
    if (!confirmed("Download Output Configuration Setup from the scale indicator " + Combo1->currentText() +
                       " to the on-screen fields?",
                   "Download Output Configuration"))
        return;
    move_scale_to_ocscreen(links.scale_addr[slot]);
}

void form1::download_groups_from_scale() {
    if (selected_slot() < 0) return;
    if (!confirmed("Download group setup data from the scale indicator " + Combo1->currentText() +
                       " to the on-screen fields?",
                   "Download From Scale Indicator"))
        return;
    if (load_screen_from_scale(links.cur_scale_addr) == 1) ui::MsgBox("Operation was not successful");
}

void form1::load_groups_from_db() {
    const QString name = Combo1->currentText();
    if (!confirmed("Load the stored group configuration for " + name + " from the database?",
                   "Load from Database"))
        return;
    const int16_t result = load_screen_from_db(name);
    if (result == 1)
        ui::MsgBox("There are no group configuration records saved in the database.");
    else if (result == 2)
        ui::MsgBox("Can not find a group configuration record for scale ID# " + transfers::record_key(name) +
                   " in the database.");
}

void form1::save_groups_to_db() {
    const QString name = Combo1->currentText();
    if (!confirmed("Save the on-screen values to the database record for " + name + "?", "Save to Database"))
        return;
    if (save_screen_to_db(name) == 1) ui::MsgBox("Operation not Successful");
}

void form1::upload_groups_to_scale() {
    if (selected_slot() < 0) return;
    if (!confirmed("This action will upload the displayed group \rsetup to scale: " + Combo1->currentText() +
                       "\r\r Select YES to continue, or NO to cancel",
                   "Upload Group Setup to Scale"))
        return;
    if (save_screen_to_scale(links.cur_scale_addr) == 1) ui::MsgBox("Operation was not successful");
}

void form1::upload_groups_to_all() {
    if (!confirmed("This will upload the displayed group setup data to all scales currently connected to the "
                   "network. Continue?",
                   "Upload to All Scales"))
        return;
    const int n = std::min<int>(Combo1->count(), kScaleSlots);
    for (int i = 0; i < n; ++i)
        save_screen_to_scale(links.scale_addr[i]);
    ui::SetMousePointer(ui::vbDefault);
}

void form1::upload_oc_to_scale() {
    const int slot = selected_slot();
    if (slot < 0) return;
    if (!confirmed("This action will upload the displayed output \rconfiguration to scale: " +
                       Combo1->currentText() + "\r\r Select YES to continue, or NO to cancel",
                   "Upload Output Configuration to Scale"))
        return;
    ui::SetMousePointer(ui::vbHourglass);
    upload_oc(links.scale_addr[slot]);
    ui::SetMousePointer(ui::vbDefault);
}

void form1::upload_oc_to_all() {
    if (!confirmed(
            "This action will upload the displayed output \rconfiguration to all scales on the network.\r\r "
            "Select YES to continue, or NO to cancel",
            "Upload Output Configuration to All Scales"))
        return;
    ui::SetMousePointer(ui::vbHourglass);
    const int n = std::min<int>(Combo1->count(), kScaleSlots);
    for (int i = 0; i < n; ++i)
        upload_oc(links.scale_addr[i]);
    ui::SetMousePointer(ui::vbDefault);
}
