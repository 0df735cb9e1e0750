#include "setup/Setup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>

#include "core/core_state.h"
#include "core/forms.h"
#include "core/getdatapath.h"
#include "core/syscfg.h"
#include "links/link_type.h"
#include "platform/db/adodb.h"
#include "platform/db/disk_fault.h"
#include "platform/timezone/timezone.h"
#include "platform/ui/message_box.h"
#include "platform/ui/twips.h"
#include "platform/volumes/volumes.h"
#include "setup/CDriveInfo.h"
#include "setup/SD_Setting.h"
#include "setup/setup_state.h"

SetupState setup_state;

void reset_setup_state() {
    setup_state = SetupState{};
}

Setup& setup_form() {
    static Setup* f = new Setup();
    return *f;
}

namespace {

const QString kTimeTip = QStringLiteral("Determines how often the RS485 network is scanned for new readings");

using ui::place;

QLabel* label(QWidget* parent, const QString& text, int left, int top, int width, int height = 255) {
    auto* l = place(new QLabel(text, parent), left, top, width, height);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

// An option button of a frame set or cleared by the program; the frame's buttons stay exclusive
// for the user.
void set_option(QRadioButton* b, bool on) {
    b->setAutoExclusive(false);
    b->setChecked(on);
    b->setAutoExclusive(true);
}

// A database failure as the user is told it: when the disk failed, with what cures it.
QString told(const QString& text, adodb::Fault fault) {
    return adodb::told_with_cure(text, fault, core.conn_str);
}

// The settings row: opened on a fresh connection, positioned on the first row. On a missing row
// (or a database that cannot be opened) false comes back, and with `tell` the user is told.
bool open_settings_row(adodb::Connection& conn, adodb::Recordset& rs, bool tell = true) {
    if (!conn.Open(core.conn_str)) {
        if (tell) ui::MsgBox(told(conn.error(), conn.fault()));
        return false;
    }
    if (!rs.Open(QStringLiteral("syscfg"), conn, adodb::adOpenDynamic, adodb::adLockPessimistic)) {
        if (tell) ui::MsgBox(told(rs.error(), rs.fault()));
        conn.Close();
        return false;
    }
    rs.MoveLast();
    if (rs.IsEOF() || rs.IsBOF()) {
        if (tell) ui::MsgBox(QStringLiteral("The configuration record is missing"), ui::vbOKOnly);
        rs.Close();
        conn.Close();
        return false;
    }
    rs.MoveFirst();
    return true;
}

} // namespace

Setup::Setup() : ui::Form(nullptr, true) {}

Setup::~Setup() = default;

void Setup::open() {
    Show();
    if (!Loaded()) return;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(frame())) {
        // A fixed tool window: no maximise, no minimise.
        const Qt::WindowFlags want = Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                     Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
        if (sub->windowFlags() != want) {
            sub->setWindowFlags(want);
            sub->show();
        }
        sub->adjustSize();
        sub->setFixedSize(sub->size());
    }
}

void Setup::build() {
    quiet_ = true;
    if (!built_) {
        built_ = true;
        build_controls();
    }
    reset_controls();
    quiet_ = false;
}

void Setup::build_controls() {
    setCaption(QStringLiteral("Setup"));
    // 7710 x 6930 twips with the frame; the client area is the rest.
    setFixedSize(ui::px(7590), ui::px(6480));

    Frame1 = place(new QGroupBox(QStringLiteral("Communications"), this), 120, 60, 3735, 4260);
    frm_commtype = place(new QGroupBox(QStringLiteral("Comm Type"), Frame1), 120, 240, 1695, 1140);
    opt_usb485 = place(new QRadioButton(QStringLiteral("USB-RS485"), frm_commtype), 120, 300, 1455, 255);
    opt_rs232 = place(new QRadioButton(QStringLiteral("RS232"), frm_commtype), 120, 600, 1455, 255);
    opt_ethernet = place(new QRadioButton(QStringLiteral("Ethernet"), frm_commtype), 120, 840, 1455, 255);
    opt_ethernet->hide();
    frm_commport = place(new QGroupBox(QStringLiteral("Comm Port"), Frame1), 1920, 240, 1695, 1140);
    opt_com1 = place(new QRadioButton(QStringLiteral("COM1"), frm_commport), 120, 300, 1335, 255);
    opt_com2 = place(new QRadioButton(QStringLiteral("COM2"), frm_commport), 120, 600, 1335, 255);
    Label4 = label(Frame1, QStringLiteral("Scale IP Address:"), 120, 1440, 1815);
    txt_IP_address = place(new QLineEdit(Frame1), 2040, 1440, 1575, 285);
    Label4->hide();
    txt_IP_address->hide();

    auto time_row = [&](int index, const QString& caption, int top) {
        lblLabels[index] = label(Frame1, caption, 120, top + 15, 1815);
        auto* box = place(new QLineEdit(Frame1), 2040, top, 1575, 285);
        box->setToolTip(kTimeTip);
        box->installEventFilter(this);
        return box;
    };
    txt_netpolltime = time_row(12, QStringLiteral("Net Poll Time:"), 1500);
    txt_netdeltime = time_row(2, QStringLiteral("Net Delay Time:"), 1860);
    txt_usberr = time_row(3, QStringLiteral("USB Error Reset:"), 2220);

    chk_RFnet = place(new QCheckBox(QStringLiteral("RF Network:"), Frame1), 120, 2640, 1455, 285);
    Label1 = label(Frame1, QStringLiteral("Channel:"), 1560, 2655, 840);
    cmbRfNetID = place(new QComboBox(Frame1), 2520, 2610, 1095, 315);
    chk_enbcol = place(new QCheckBox(QStringLiteral("Enable Data Collection At Startup:"), Frame1), 120, 3030,
                       3495, 285);
    chk_smallfonts =
        place(new QCheckBox(QStringLiteral("Small Display Fonts:"), Frame1), 120, 3390, 3495, 285);
    btn_datapath = place(new QPushButton(QStringLiteral("&Data Path"), Frame1), 120, 3780, 1455, 375);

    Frame2 = place(new QGroupBox(QStringLiteral("Scale Configurations"), this), 3960, 60, 3630, 4260);
    datPrimaryRS = new adodb::DataControl(this);
    auto field_row = [&](int index, const QString& caption, int top) {
        lblLabels[index] = label(Frame2, caption, 30, top + 15, 1710);
    };
    field_row(14, QStringLiteral("Type:"), 360);
    txtFields[5] = place(new QLineEdit(Frame2), 1800, 360, 1695, 285);
    field_row(13, QStringLiteral("Scale Network ID:"), 780);
    txtFields[4] = place(new QLineEdit(Frame2), 1800, 780, 1695, 285);
    field_row(0, QStringLiteral("Description:"), 1200);
    txtFields[0] = place(new QLineEdit(Frame2), 1800, 1200, 1695, 285);
    field_row(1, QStringLiteral("Scale Active:"), 1620);
    chkFields[1] = place(new QCheckBox(Frame2), 1800, 1620, 375, 285);
    const QString id_tip = QStringLiteral("Unique identification number to be used on RS485 networks");
    txtFields[5]->setToolTip(id_tip);
    txtFields[4]->setToolTip(id_tip);
    txtFields[0]->setToolTip(
        QStringLiteral("Description used to identify USB scales. Automatically assigned"));
    chkFields[1]->setToolTip(QStringLiteral("Activates or deactivates this scale"));
    for (int i : {0, 4, 5})
        txtFields[i]->installEventFilter(this);
    chkFields[1]->installEventFilter(this);

    Label2 = label(Frame2, QStringLiteral("Data Log Time:"), 120, 2040, 1575);
    Text1 = place(new QLineEdit(Frame2), 1800, 2040, 855, 285);
    Label3 = place(new QLabel(QStringLiteral("Seconds"), Frame2), 2760, 2055, 735, 255);
    Chk_TimerDataLog =
        place(new QCheckBox(QStringLiteral("Data Log Timer Enabled"), Frame2), 360, 2400, 2895, 285);
    for (QWidget* w : std::initializer_list<QWidget*>{Label2, Text1, Label3, Chk_TimerDataLog})
        w->hide();

    const QStringList nav = {QStringLiteral("First"), QStringLiteral("Prev"), QStringLiteral("Next"),
                             QStringLiteral("Last")};
    for (int i = 0; i < 4; ++i) {
        Command1[i] = place(new QPushButton(nav[i], Frame2), 120 + i * 855, 2880, 810, 375);
        connect(Command1[i], &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
    }
    Command2 = place(new QPushButton(QStringLiteral("Add Scale"), Frame2), 120, 3480, 1635, 375);
    Command3 = place(new QPushButton(QStringLiteral("Delete Scale"), Frame2), 1860, 3480, 1635, 375);

    SD_Mem_Op = place(new QGroupBox(QStringLiteral("SD Memory Options"), this), 120, 4380, 7470, 1500);
    lbl_Time_Zone = label(SD_Mem_Op, QStringLiteral("Default System Time Zone:"), 0, 315, 2460);
    txt_Default_Time_Zone = place(new QLineEdit(SD_Mem_Op), 2520, 300, 2835, 285);
    lbl_Default_SD_Drive = label(SD_Mem_Op, QStringLiteral("Default SD Drive :"), 0, 735, 2460);
    txt_Default_SD_Drive = place(new QLineEdit(SD_Mem_Op), 2520, 720, 2835, 285);
    txt_Default_Time_Zone->setEnabled(false);
    txt_Default_SD_Drive->setEnabled(false);
    cmd_Setup = place(new QPushButton(QStringLiteral("Drive Setup"), SD_Mem_Op), 5520, 270, 1815, 345);
    Read_Dat_File = place(new QPushButton(QStringLiteral("Read Dat File"), SD_Mem_Op), 5520, 675, 1815, 345);
    Erase_Dat_File =
        place(new QPushButton(QStringLiteral("Erase Dat File"), SD_Mem_Op), 5520, 1080, 1815, 345);
    chk_erase_after_read =
        place(new QCheckBox(QStringLiteral("Erase After Read"), SD_Mem_Op), 2400, 1110, 2895, 285);

    OK = place(new QPushButton(QStringLiteral("OK"), this), 4680, 6000, 1335, 375);
    Cancel = place(new QPushButton(QStringLiteral("Cancel"), this), 6120, 6000, 1335, 375);

    connect(opt_usb485, &QRadioButton::toggled, this, [this](bool on) {
        if (on) opt_usb485_Click();
    });
    connect(opt_rs232, &QRadioButton::toggled, this, [this](bool on) {
        if (on) opt_rs232_Click();
    });
    connect(opt_ethernet, &QRadioButton::toggled, this, [this](bool on) {
        if (on) opt_ethernet_Click();
    });
    connect(opt_com1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) opt_com_Click();
    });
    connect(opt_com2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) opt_com_Click();
    });
    for (QCheckBox* c : {chk_RFnet, chk_enbcol, chk_smallfonts})
        connect(c, &QCheckBox::stateChanged, this, &Setup::chk_Click);
    connect(cmbRfNetID, &QComboBox::currentIndexChanged, this, &Setup::cmbRfNetID_Click);
    connect(txt_usberr, &QLineEdit::textChanged, this, &Setup::txt_usberr_Change);
    connect(btn_datapath, &QPushButton::clicked, this, &Setup::btn_datapath_Click);
    connect(cmd_Setup, &QPushButton::clicked, this, &Setup::cmd_Setup_Click);
    connect(Read_Dat_File, &QPushButton::clicked, this, &Setup::Read_Dat_File_Click);
    connect(Erase_Dat_File, &QPushButton::clicked, this, &Setup::Erase_Dat_File_Click);
    connect(OK, &QPushButton::clicked, this, &Setup::OK_Click);
    connect(Cancel, &QPushButton::clicked, this, &Setup::Cancel_Click);
    // No default button: Enter in a box of the editor must not close the dialog.
    setDialogButtons(nullptr, Cancel);
    connect(Command2, &QPushButton::clicked, this, &Setup::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Setup::Command3_Click);
}

void Setup::reset_controls() {
    record_shown_ = false;
    for (QRadioButton* b : {opt_usb485, opt_rs232, opt_ethernet, opt_com1, opt_com2})
        set_option(b, false);
    for (QLineEdit* t : {txt_netpolltime, txt_netdeltime, txt_usberr, txt_IP_address, txtFields[0],
                         txtFields[4], txtFields[5], Text1})
        t->clear();
    for (QCheckBox* c : {chk_RFnet, chk_enbcol, chk_smallfonts, chkFields[1], Chk_TimerDataLog})
        c->setChecked(false);
    chk_erase_after_read->setChecked(true);
    cmbRfNetID->clear();
    txt_Default_Time_Zone->setText(QStringLiteral("<Null Time Zone>"));
    txt_Default_SD_Drive->setText(QStringLiteral("<No SD Drive>"));
    for (QWidget* w : findChildren<QWidget*>())
        w->setEnabled(true);
    txt_Default_Time_Zone->setEnabled(false);
    txt_Default_SD_Drive->setEnabled(false);
}

void Setup::Form_Load() {
    quiet_ = true;
    cmbRfNetID->clear();
    for (int i = 0; i <= 6; ++i)
        cmbRfNetID->addItem(QString::number(i));

    row_unreadable_ = false;
    {
        adodb::Connection conn;
        adodb::Recordset rs;
        if (!open_settings_row(conn, rs)) {
            quiet_ = false;
            row_unreadable_ = true;
            Unload();
            return;
        }
        show_settings(rs);
        rs.Close();
        conn.Close();
    }

    load_scale_records();

    // The zone's standard name, whether standard or daylight time is in force now.
    tzinfo::TimeZoneInformation tz;
    const int state = tzinfo::GetTimeZoneInformation(tz);
    if (state == tzinfo::TIME_ZONE_ID_UNKNOWN) {
        txt_Default_Time_Zone->setText(QStringLiteral("Time Zone Unknown!"));
    } else if (state == tzinfo::TIME_ZONE_ID_STANDARD || state == tzinfo::TIME_ZONE_ID_DAYLIGHT) {
        txt_Default_Time_Zone->setText(CDriveInfo::strip_null(tz.standard_name));
        setup_state.default_time_zone = txt_Default_Time_Zone->text();
    }

    // The SD card: the last removable ~32 MB FAT volume.
    drive_info_ = std::make_unique<CDriveInfo>();
    for (const QString& root : volumes::logical_drive_strings()) {
        drive_info_->setDrive(root);
        if (looks_like_sd_card(*drive_info_)) {
            txt_Default_SD_Drive->setText(drive_info_->Drive());
            setup_state.sd_drive = drive_info_->Drive();
        }
    }
    if (!setup_state.sd_drive.isEmpty()) txt_Default_SD_Drive->setText(setup_state.sd_drive);

    checkfields();
    quiet_ = false;
    ui::DoEvents();
    if (Loaded()) savesettings();
}

void Setup::show_settings(const adodb::Recordset& rs) {
    const bool was_quiet = quiet_;
    quiet_ = true;
    const LinkType type = parse_link_type(rs.Value(QStringLiteral("commtype")).toString());
    set_option(opt_rs232, type == LinkType::RS232);
    set_option(opt_usb485, type == LinkType::USB485);
    set_option(opt_ethernet, type == LinkType::Ethernet);
    const bool com1 = rs.Value(QStringLiteral("commport")).toString() == QLatin1String("1");
    set_option(opt_com1, com1);
    set_option(opt_com2, !com1);
    const auto text_of = [&](const char* field, QLineEdit* box) {
        const QVariant v = rs.Value(QString::fromLatin1(field));
        box->setText(v.isNull() ? QString() : v.toString());
    };
    text_of("netpolltime", txt_netpolltime);
    text_of("netdeltime", txt_netdeltime);
    text_of("usbreset", txt_usberr);
    chk_RFnet->setChecked(rs.Int16(QStringLiteral("rfnet")) == -1);
    chk_smallfonts->setChecked(rs.Int16(QStringLiteral("smallfonts")) == -1);
    chk_enbcol->setChecked(rs.Int16(QStringLiteral("datacolenbstart")) == -1);
    // A missing or out-of-range channel shows channel 0, which the next save stores.
    bool ok = false;
    const int id = rs.Int16(QStringLiteral("rfnetid"), &ok);
    cmbRfNetID->setCurrentIndex(ok && id >= 0 && id <= 6 ? id : 0);
    quiet_ = was_quiet;
}

void Setup::Form_Unload(int& cancel) {
    (void)cancel;
    store_record();
    record_shown_ = false;
    datPrimaryRS->Recordset()->Close();
    // A row that could not be opened, just told, would fail and be told again here; the
    // dialog stored nothing since, and the next read of the settings takes what it stored before.
    if (!row_unreadable_) load_syscfg();
    row_unreadable_ = false;
    ui::SetMousePointer(ui::vbDefault);
}

void Setup::savesettings() {
    // A focus change made by the failure message below would save (and fail) once more.
    if (saving_) return;
    saving_ = true;
    save_row();
    saving_ = false;
}

void Setup::save_row() {
    adodb::Connection conn;
    adodb::Recordset rs;
    if (!open_settings_row(conn, rs)) {
        row_unreadable_ = true;
        Unload();
        return;
    }
    // Only a value that differs from the row's is written: a save with nothing to store (say the
    // focus leaving a box that a failed save has just set back to the row) writes nothing, and
    // so cannot fail and be told once more.
    const auto set = [&](const char* field, const QVariant& value) {
        const QString name = QString::fromLatin1(field);
        const QVariant stored = rs.Value(name);
        if (stored.isNull() || stored != value) rs.SetValue(name, value);
    };
    if (opt_rs232->isChecked()) set("commtype", QStringLiteral("RS232"));
    if (opt_usb485->isChecked()) set("commtype", QStringLiteral("USB485"));
    if (opt_ethernet->isChecked()) set("commtype", QStringLiteral("Ethernet"));
    set("commport", opt_com1->isChecked() ? QStringLiteral("1") : QStringLiteral("2"));
    const bool was_quiet = quiet_;
    quiet_ = true;
    if (txt_netpolltime->text().isEmpty()) txt_netpolltime->setText(QStringLiteral(".33"));
    if (txt_netdeltime->text().isEmpty()) txt_netdeltime->setText(QStringLiteral(".01"));
    quiet_ = was_quiet;
    set("netpolltime", txt_netpolltime->text());
    set("netdeltime", txt_netdeltime->text());
    set("usbreset", txt_usberr->text());
    set("rfnet", chk_RFnet->isChecked());
    set("smallfonts", chk_smallfonts->isChecked());
    set("datacolenbstart", chk_enbcol->isChecked());
    set("rfnetid", cmbRfNetID->currentIndex());
    if (!rs.Update()) {
        // Nothing of the change is kept: the dialog shows again what the row holds.
        ui::MsgBox(told(QStringLiteral("The settings could not be saved: ") + rs.error(), rs.fault()) +
                       QStringLiteral("\rThe dialog shows the settings as they are stored."),
                   ui::vbOKOnly | ui::vbExclamation);
        rs.CancelUpdate();
        adodb::Connection stored_conn;
        adodb::Recordset stored;
        // The failure is told once: a row that cannot be read back now leaves the controls.
        if (Loaded() && open_settings_row(stored_conn, stored, false)) {
            show_settings(stored);
            checkfields();
        }
    }
    rs.Close();
    conn.Close();
}

void Setup::checkfields() {
    const bool usb485 = opt_usb485->isChecked();
    const bool rs232 = opt_rs232->isChecked();
    const bool ethernet = opt_ethernet->isChecked();
    auto set_port = [&](bool on) {
        for (QWidget* w : std::initializer_list<QWidget*>{frm_commport, opt_com1, opt_com2})
            w->setEnabled(on);
    };
    auto set_network = [&](bool on) {
        QList<QWidget*> ws = {chk_RFnet,     Label1,       cmbRfNetID,   lblLabels[0], lblLabels[14],
                              lblLabels[13], lblLabels[1], chkFields[1], txtFields[0], txtFields[4],
                              txtFields[5],  Command2,     Command3,     Frame2};
        for (QPushButton* b : Command1)
            ws.append(b);
        for (QWidget* w : ws)
            w->setEnabled(on);
    };
    if (usb485) {
        set_port(false);
        set_network(true);
    }
    if (rs232 && !ethernet && !usb485) {
        set_port(true);
        set_network(false);
    }
    if (ethernet && !usb485 && !rs232) {
        set_port(false);
        set_network(false);
    }
}

void Setup::save_after_events() {
    if (quiet_) return;
    ui::DoEvents();
    if (Loaded()) savesettings();
}

void Setup::type_option_clicked(bool pump) {
    if (quiet_) return;
    checkfields();
    if (pump) ui::DoEvents();
    if (!Loaded()) return;
    savesettings();
    if (!Loaded()) return;
    sortscales();
    refresh_records();
}

void Setup::opt_usb485_Click() {
    type_option_clicked(false);
}
void Setup::opt_rs232_Click() {
    type_option_clicked(true);
}
void Setup::opt_ethernet_Click() {
    type_option_clicked(true);
}
void Setup::opt_com_Click() {
    save_after_events();
}
void Setup::chk_Click() {
    save_after_events();
}
void Setup::cmbRfNetID_Click() {
    save_after_events();
}
void Setup::txt_time_LostFocus() {
    save_after_events();
}
void Setup::txt_usberr_Change() {
    save_after_events();
}

void Setup::btn_datapath_Click() {
    getdatapath_form().Show(true);
}

void Setup::cmd_Setup_Click() {
    sd_setting_form().Show(true);
    txt_Default_SD_Drive->setText(setup_state.sd_drive.isEmpty() ? QStringLiteral("<No SD Drive>")
                                                                 : setup_state.sd_drive);
}

void Setup::OK_Click() {
    ui::SetMousePointer(ui::vbDefault);
    Unload();
}

void Setup::Cancel_Click() {
    ui::SetMousePointer(ui::vbDefault);
    Unload();
}

bool Setup::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::FocusOut) {
        if (watched == txt_netpolltime || watched == txt_netdeltime)
            txt_time_LostFocus();
        else if (watched == txtFields[0] || watched == txtFields[4] || watched == txtFields[5] ||
                 watched == chkFields[1])
            txtFields_LostFocus();
    }
    return ui::Form::eventFilter(watched, e);
}
