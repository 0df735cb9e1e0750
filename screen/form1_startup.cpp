// Start-up and shutdown of the scale screen: the one-time set-up of the link, the data
// controls, the scale records and the scale list, and the orderly shutdown.
#include "links/link_type.h"
#include "screen/form1.h"

#include "collect/slave_windows.h"
#include "core/core_state.h"
#include "core/syscfg.h"
#include "links/command_frames.h"
#include "links/ftdi_adapter.h"
#include "links/link_devices.h"
#include "links/link_setup.h"
#include "links/links_state.h"
#include "links/rf_modem.h"
#include "platform/db/adodb.h"
#include "platform/db/data_control.h"
#include "platform/ftdi/ftdi.h"
#include "platform/log/log.h"
#include "platform/ui/message_box.h"
#include "platform/ui/twips.h"

#include <QFont>
#include <QTimer>
#include <algorithm>
#include <initializer_list>

namespace {

const QString kScaleCfgSource = QStringLiteral("select * from scalecfg");
const QString kDatacolSource = QStringLiteral("select ID,ScaleID,Reading,Date,Time from datacol");

// The decimal text of a number as a user types it: "0.33", "1", "0.5"; no exponent.
QString plain_decimal(double v) {
    QString s = QString::number(v, 'f', 6);
    while (s.contains(u'.') && (s.endsWith(u'0') || s.endsWith(u'.')))
        s.chop(1);
    return s;
}

// The line rate of a record's baud field; a field that is empty or holds no usable rate gives
// the rate of every scale link, 9600.
uint32_t baud_of(const QVariant& field) {
    bool ok = false;
    const double v = adodb::to_double(field, &ok);
    if (!ok || v < 1 || v > 4000000) return 9600;
    return static_cast<uint32_t>(v + 0.5);
}

} // namespace

bool form1::setup_still_current(int generation) const {
    return Loaded() && generation == load_generation_;
}

bool form1::setup_pump(int generation) {
    ui::DoEvents();
    return setup_still_current(generation);
}

void form1::Form_Load() {
    ++load_generation_;
    links.scan_stop = false;
    links.poll_ms_in_force = 0;
    link_down = false;
}

void form1::Form_Activate() {
    // 1. Only a re-activation of a screen already set up (or being set up for this load).
    if (core.scale_screen_active) return;
    if (setting_up_ && setup_generation_ == load_generation_) return;
    // A screen unloaded and shown again while an earlier set-up waits in the event pump gets a
    // set-up of its own; the earlier one then finds its load gone and stops.
    const bool outer = setting_up_;
    const int outer_generation = setup_generation_;
    setting_up_ = true;
    setup_generation_ = load_generation_;
    setup_screen();
    setting_up_ = outer;
    setup_generation_ = outer_generation;
    // The "Activate Remote Screen" that ran this set-up does not try a link it found down again.
    just_set_up_ = true;
    QTimer::singleShot(0, this, [this] { just_set_up_ = false; });
}

void form1::setup_screen() {
    // The event pump runs between the steps; a set-up whose screen was unloaded (or unloaded
    // and shown again) meanwhile stops where it is.
    const int gen = load_generation_;

    // 2. Fresh settings, then the guard.
    load_syscfg();
    formactivate();
    if (!setup_still_current(gen)) return;
    core.scale_screen_active = true;

    // 3. Panels and window.
    netwindow->setGeometry(ui::px(0), ui::px(4500), ui::px(12645), ui::px(3015));
    netwindow->setVisible(false);
    datawindow->setGeometry(ui::px(0), ui::px(4500), ui::px(12540), ui::px(3015));
    datawindow->setVisible(false);
    setFormGeometryTwips(330, 270, 12540, 5905);

    // 4. The large display.
    if (core.small_fonts) {
        QFont f(QStringLiteral("Arial"), 48, QFont::Bold);
        Screen->setFont(f);
        Screen->setGeometry(ui::px(1320), ui::px(1020), ui::px(3495), ui::px(1035));
    } else {
        Screen->setFont(ui::condensed_font(QStringLiteral("Swiss911 XCm BT"), 72, true));
        Screen->setGeometry(ui::px(1320), ui::px(840), ui::px(3495), ui::px(1575));
    }
    Screen->restartSize();

    // 5. Guards and the first view.
    if (!setup_pump(gen)) return;
    links.key_pending = false;
    links.key_code = 0;
    links.poll_busy = false;
    links.network_mode = false;
    links.scan_busy = false;
    select_option(opt_none);
    if (!setup_still_current(gen)) return;

    // 6. The link.
    if (!setup_link()) {
        Hide();
        Unload();
        return;
    }
    if (!setup_still_current(gen)) return;

    // 7. The data controls.
    data1->setConnectionString(core.conn_str);
    data1->setRecordSource(kScaleCfgSource);
    data2->setConnectionString(core.conn_str_a);
    data2->setRecordSource(kDatacolSource);
    data2->Refresh();

    // 8. No scale: only the RF step is left.
    if (filled_slots() > 0) {
        // 9 to 12. Each slot's record.
        if (!setup_pump(gen)) return;
        for (int i = 0; i < filled_slots(); ++i) {
            if (!match_slot(i, gen)) return;
        }

        // 13. The scale list, the sort order, the poll time and the network list.
        {
            const QSignalBlocker block(Combo1);
            Combo1->clear();
        }
        if (!setup_pump(gen)) return;
        {
            const QSignalBlocker block(Combo1);
            for (int i = 0; i < filled_slots(); ++i)
                Combo1->addItem(links.scale_name[i].trimmed());
            Combo1->setCurrentIndex(-1);
        }
        select_option(opt_ID);
        if (!setup_pump(gen) || !setup_pump(gen)) return;
        Combo1->setCurrentIndex(0);
        if (!setup_still_current(gen)) return;
        links.cur_scale = 0;
        txt_polltime->setText(plain_decimal(core.net_poll_time));
        fillgrid();
        if (!setup_still_current(gen)) return;

        // 14. The network poll cycle starts only with the network mode.
        if (link_type() == LinkType::USB485 || link_type() == LinkType::RS485 ||
            link_type() == LinkType::USB) {
            for (ui::FormTimer* t : Timer1)
                t->setEnabled(false);
            if (!setup_pump(gen)) return;
        }

        // 15. Operating mode and view.
        if (link_type() == LinkType::RS232) {
            select_option(opt_single);
        } else if (link_type() == LinkType::USB485 || link_type() == LinkType::Ethernet) {
            select_option(opt_network);
            if (!setup_still_current(gen)) return;
            select_option(opt_netscan);
        }
        if (!setup_still_current(gen)) return;
        slavesload();
        if (!setup_pump(gen)) return;
    }

    // 16. The RF modem's channel.
    if (core.rf_net) rf_set_channel();
}

bool form1::setup_link() {
    if (link_type() == LinkType::USB || link_type() == LinkType::USB485) {
        if (links.usb_handle == 0) usb_open();
        if (links.usb_fail == 1) return false;
        if (link_type() == LinkType::USB) {
            usb_enumerate();
            Timer2->setEnabled(false);
            Timer3->setEnabled(false);
        } else {
            Timer2->setEnabled(false);
            Timer3->setEnabled(false);
            usb485_init();
        }
    } else if (link_type() == LinkType::RS232) {
        rs232_init();
        for (QWidget* w : std::initializer_list<QWidget*>{Command11, btn_saveslave, btn_slavesload,
                                                          btn_closeallslaves, Frame5})
            w->setEnabled(false);
    } else if (link_type() == LinkType::RS485) {
        Timer2->setEnabled(false);
        Timer3->setEnabled(false);
        rs485_com_init();
    } else if (link_type() == LinkType::Ethernet) {
        ethernet_connect();
        // The link is up once connected; until then nothing polls, and what starts polling
        // connects again.
        if (filled_slots() > 0 && !ethernet_wait_connected()) link_went_down();
    }
    return true;
}

bool form1::set_link_up_again() {
    const int gen = load_generation_;
    // The set-up opens every "USB" scale's device again: those still open are closed first.
    close_scale_devices();
    if (!setup_link() || !setup_still_current(gen) || filled_slots() <= 0) return false;
    // The Ethernet link not connected: the socket has told why.
    if (link_type() == LinkType::Ethernet && Winsock1().State() != net::Winsock::sckConnected) return false;
    if (!setup_pump(gen)) return false;
    for (int i = 0; i < filled_slots(); ++i) {
        if (!match_slot(i, gen)) return false;
    }
    // The scale list again, as the start-up fills it, with the scale that was selected.
    const int keep = Combo1->currentIndex();
    {
        const QSignalBlocker block(Combo1);
        Combo1->clear();
        for (int i = 0; i < filled_slots(); ++i)
            Combo1->addItem(links.scale_name[i].trimmed());
        Combo1->setCurrentIndex(-1);
    }
    const int selected = keep >= 0 && keep < filled_slots() ? keep : 0;
    Combo1->setCurrentIndex(selected);
    if (!setup_still_current(gen)) return false;
    links.cur_scale = static_cast<int16_t>(selected);
    fillgrid();
    return setup_still_current(gen);
}

void form1::close_scale_devices() {
    // The scale devices opened by the "USB" start-up; the adapter handle stays open for the run.
    if (link_type() != LinkType::USB) return;
    for (int i = 0; i < filled_slots(); ++i) {
        const auto handle = static_cast<ftdi::FT_HANDLE>(links.scale_addr[i]);
        if (handle != 0 && handle != links.usb_handle) wlog::ft_ok(ftdi::FT_Close(handle), "FT_Close");
        links.scale_addr[i] = 0;
    }
}

bool form1::match_slot(int i, int gen) {
    adodb::Recordset* rs = data1->Recordset();

    // 10. Find the slot's record, or add a default one.
    data1->Refresh();
    if (rs->RecordCount() == 0) {
        adddefrec(i);
        data1->Refresh();
    }
    if (!setup_pump(gen)) return false;
    rs->MoveFirst();
    if (!setup_pump(gen)) return false;
    if (link_type() == LinkType::RS485)
        rs->Find(QStringLiteral("netid=") + QString::number(links.scale_addr[i]));
    else
        rs->Find(QStringLiteral("serialno='") + links.scale_serial[i].trimmed() + QStringLiteral("'"));
    if (rs->IsEOF()) {
        adddefrec(i);
        rs->MoveLast();
    }

    // 11. Copy the record's values; an empty field gives 0 or False.
    const auto recid = [rs] {
        bool ok = false;
        const double v = adodb::to_double(rs->Value(QStringLiteral("ID")), &ok);
        return ok ? static_cast<int32_t>(v) : 0;
    };
    const auto active = [rs] {
        bool ok = false;
        const int16_t v = rs->Int16(QStringLiteral("active"), &ok);
        return ok && v != 0;
    };
    const auto polltime = [rs] {
        bool ok = false;
        const double v = adodb::to_double(rs->Value(QStringLiteral("polltime")), &ok);
        return ok ? v : 0.0;
    };

    if (link_type() == LinkType::RS232) {
        if (i == 0) {
            links.scale_recid[0] = recid();
            links.scale_active[0] = true;
        }
    } else if (link_type() == LinkType::USB) {
        links.scale_recid[i] = recid();
        links.scale_active[i] = active();
        links.scale_poll_time[i] = polltime();
        ftdi::FT_HANDLE handle = 0;
        if (links.scale_dev_index[i] == 0 && links.usb_handle != 0) {
            // Device 0 is already open as the adapter, and a device takes one handle at a
            // time: the slot uses that handle.
            handle = links.usb_handle;
        } else if (!wlog::ft_ok(ftdi::FT_Open(links.scale_dev_index[i], &handle), "FT_Open") || handle == 0) {
            ui::MsgBox(QStringLiteral("Open Failed"));
            return false;
        }
        links.scale_addr[i] = static_cast<int32_t>(handle);
        usb_configure(handle, baud_of(rs->Value(QStringLiteral("baud"))), 1000);
    } else if (link_type() == LinkType::RS485 || link_type() == LinkType::USB485 ||
               link_type() == LinkType::Ethernet) {
        links.scale_recid[i] = recid();
        links.scale_active[i] = active();
        links.scale_poll_time[i] = polltime();
    }

    // The Ethernet link's first request, to the slot's own address, once connected.
    if (link_type() == LinkType::Ethernet && Winsock1().State() == net::Winsock::sckConnected) {
        Timer2->setEnabled(false);
        Timer3->setEnabled(false);
        frames::send(frames::ethernet_poll_request(link_type(), links.scale_addr[i]));
    }
    return setup_still_current(gen);
}

void form1::adddefrec(int i) {
    if (i < 0 || i >= kScaleSlots) return;
    adodb::Recordset* rs = data1->Recordset();
    if (!rs->IsOpen()) return;
    if (rs->RecordCount() != 0) {
        rs->MoveFirst();
        ui::DoEvents();
        rs->Find(QStringLiteral("serialno='") + links.scale_serial[i].trimmed() + QStringLiteral("'"));
        if (!rs->IsEOF()) return;
    }
    // A failing database step leaves no half-written record and does not stop the set-up.
    rs->AddNew();
    rs->SetValue(QStringLiteral("Description"), links.scale_name[i].trimmed());
    rs->SetValue(QStringLiteral("SerialNo"), links.scale_serial[i].trimmed());
    rs->SetValue(QStringLiteral("Active"), true);
    rs->SetValue(QStringLiteral("polltime"), 0.5);
    rs->SetValue(QStringLiteral("baud"), QStringLiteral("9600"));
    rs->SetValue(QStringLiteral("SCTYPE"), core.comm_type);
    if (!rs->Update()) {
        qCWarning(lcDb).noquote() << "the record of scale" << links.scale_serial[i].trimmed()
                                  << "was not added to the scale table:" << rs->error();
        rs->CancelUpdate();
    }
    ui::DoEvents();
    rs->MoveLast();
}

void form1::Command1_Click() {
    ui::DoEvents();
    for (ui::FormTimer* t : Timer1) {
        t->setInterval(0);
        t->setEnabled(false);
    }
    ui::DoEvents();
    for (ui::FormTimer* t : {Timer2, Timer3, Timer4}) {
        t->setInterval(0);
        t->setEnabled(false);
    }
    ui::DoEvents();
    core.scale_screen_active = false;
    ui::DoEvents();
    Unload();
}

void form1::Form_Unload(int& cancel) {
    (void)cancel;
    for (ui::FormTimer* t : Timer1)
        t->setEnabled(false);
    for (ui::FormTimer* t : {Timer2, Timer3, Timer4})
        t->setEnabled(false);

    // The scale devices are closed before the table that holds their handles is cleared.
    close_scale_devices();
    clear_scale_tables();
    core.scale_screen_active = false;

    for (int k = 0; k < 10; ++k) {
        if (slave_open[k] == 1) {
            slave_open[k] = 0;
            slave_unload(k);
        }
    }
    halttimers();
    // The serial port, the socket and the data controls' connections go with the screen, as
    // its controls would.
    close_link_devices();
    release_data_controls();
    links.scan_stop = true;
}
