// The "Data Collection" panel of the scale screen: the collected readings of datacol in the grid,
// saving by hand ("Save All", "Save Current"), timed collection per scale (the hidden "Enabled"
// box and Timer5), sorting and clearing the list.
//
// Every record goes through add_collected_reading on data2, the recordset the grid is bound to.
// Operations that must not fail silently tell the user which operation failed and the database's
// reason; the record being written is then cancelled, never left half written.
#include "collect/collect_state.h"
#include "collect/collected_reading.h"
#include "collect/excel_interface.h"
#include "core/core_state.h"
#include "links/links_state.h"
#include "platform/db/adodb.h"
#include "platform/db/data_control.h"
#include "platform/log/log.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"

#include <QHeaderView>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kCollectTimers = 10;
constexpr int kCollectIntervalMs = 950;

const char* const kDatacolSelect = "select ID,ScaleID,Reading,Date,Time from datacol";
const char* const kTimedScalesSelect = "select * from [ScaleCFG] Where [sctype] <> 'RS232' Order by [NetID]";

void report_failure(const QString& operation, const QString& error) {
    ui::MsgBox(operation + QStringLiteral(" could not be completed.\n") + error, ui::vbOKOnly);
}

bool valid_slot(int i) {
    return i >= 0 && i < kScaleSlots;
}

QString reading_text(int slot) {
    return QString::fromLatin1(links.scale_reading[slot]);
}

// The slot's reading, or Null when it has none yet.
QVariant reading_or_null(int slot) {
    if (links.scale_reading[slot].isEmpty()) return QVariant();
    return reading_text(slot);
}

// "Poll Time" as a whole number of ticks, halves to the even neighbour; a record without one
// counts as 0.
int32_t poll_time_ticks(const QVariant& v) {
    bool ok = false;
    const double seconds = adodb::to_double(v, &ok);
    if (!ok || std::isnan(seconds)) return 0;
    const double lo = std::numeric_limits<int32_t>::min();
    const double hi = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(std::nearbyint(seconds), lo, hi));
}

} // namespace

void form1::connect_data_collection() {
    if (!data2) data2 = new adodb::DataControl(this);
    if (!scaleConfigRS) scaleConfigRS = new adodb::DataControl(this);
    if (!DataGrid1->model()) DataGrid1->setModel(new adodb::RecordsetModel(data2, DataGrid1));
    connect(data2, &adodb::DataControl::recordsChanged, this, [this] { DataGrid1_refresh_count(); });

    connect(btn_LogData, &QPushButton::clicked, this, [this] { btn_LogData_Click(); });
    connect(btn_dataLogAll, &QPushButton::clicked, this, [this] { btn_dataLogAll_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Check1, &QCheckBox::toggled, this, [this] { Check1_Click(); });
    for (ui::FormTimer* t : Timer5)
        connect(t, &ui::FormTimer::Timer, this, [this](int index) { Timer5_Timer(index); });
    excel_set_output_box(chk_Excel);
    // Timed collection ends with the screen; the scale records it read are let go.
    connect(this, &ui::Form::unloaded, this, [this] {
        for (int n = 0; n < kCollectTimers; ++n) {
            Timer5[n]->setEnabled(false);
            collect.datacol_count[n] = 0;
            collect.datacol_limit[n] = 0;
        }
        scaleConfigRS->setConnectionString(QString());
        scaleConfigRS->setRecordSource(QString());
        scaleConfigRS->Refresh();
    });
}

void form1::sortdatacol() {
    const QString source = QString::fromLatin1(kDatacolSelect);
    QString order;
    if (opt_grp->isChecked()) order = QStringLiteral(" order by Reading, date,time");
    if (opt_desc->isChecked()) order = QStringLiteral(" order by scaleid, date,time");
    if (opt_datetime->isChecked()) order = QStringLiteral(" order by date,time");
    if (opt_ID->isChecked()) order = QStringLiteral(" order by ID,date,time");
    data2->setRecordSource(source + order);
    // Not bound to the database yet: the start-up's refresh opens the source.
    if (data2->ConnectionString().isEmpty()) return;
    if (!data2->Refresh()) report_failure(QStringLiteral("Sorting the collected readings"), data2->error());
    ui::DoEvents();
}

void form1::btn_dataLogAll_Click() {
    const int count = std::min(Combo1->count(), kScaleSlots);
    for (int i = 0; i < count; ++i) {
        QString error;
        const int64_t id =
            add_collected_reading(data2, QString::number(links.scale_addr[i]), reading_or_null(i), &error);
        if (id < 0) {
            report_failure(QStringLiteral("Save All"), error);
            return;
        }
        if (chk_Excel->isChecked()) {
            excel_set_row_for_record(id);
            excel_log_reading(static_cast<int16_t>(i));
        }
    }
}

void form1::btn_LogData_Click() {
    // Failures are passed over quietly here (they are traced); a record that was not stored is
    // not copied.
    const int i = Combo1->currentIndex();
    if (!valid_slot(i) || links.scale_reading[i].isEmpty()) return;
    QString error;
    const int64_t id =
        add_collected_reading(data2, QString::number(links.scale_addr[i]), reading_text(i), &error);
    if (id < 0) {
        qCWarning(lcDb).noquote() << "the reading of scale" << links.scale_addr[i]
                                  << "was not stored in the collected readings:" << error;
        return;
    }
    if (chk_Excel->isChecked()) {
        excel_set_row_for_record(id);
        excel_log_reading(static_cast<int16_t>(i));
    }
}

void form1::Command2_Click() {
    ui::Beep();
    const int answer = ui::MsgBox(QStringLiteral("This action will completely clear all of the saved data.\r"
                                                 "Do you wish to proceed?"),
                                  ui::vbYesNo);
    if (answer == ui::vbYes) {
        adodb::Connection conn;
        if (!conn.Open(core.conn_str_a)) {
            report_failure(QStringLiteral("Clear List"), conn.error());
        } else if (!conn.Execute(QStringLiteral("Delete * from datacol"))) {
            const QString error = conn.error();
            conn.Close();
            report_failure(QStringLiteral("Clear List"), error);
        } else {
            conn.Close();
            if (!data2->Refresh()) report_failure(QStringLiteral("Clear List"), data2->error());
        }
    }
    DataGrid1_refresh_count();
}

void form1::Check1_Click() {
    if (Check1->isChecked()) {
        if (valid_slot(links.cur_scale)) links.datacol_enb[links.cur_scale] = true;
        scaleConfigRS->setConnectionString(core.conn_str);
        scaleConfigRS->setRecordSource(QString::fromLatin1(kTimedScalesSelect));
        for (int n = 0; n < kCollectTimers; ++n) {
            collect.datacol_count[n] = 0;
            collect.datacol_limit[n] = 0;
        }
        if (!scaleConfigRS->Refresh()) {
            report_failure(QStringLiteral("Timed data collection"), scaleConfigRS->error());
            return;
        }
        adodb::Recordset* rs = scaleConfigRS->Recordset();
        rs->MoveFirst();
        int n = 0;
        bool more_than_timers = false;
        for (; !rs->IsEOF(); rs->MoveNext()) {
            bool netid_ok = false;
            const double netid = adodb::to_double(rs->Value("NetID"), &netid_ok);
            bool active_ok = false;
            const int16_t active = rs->Int16("Poll Active", &active_ok);
            if (!netid_ok || netid <= 127 || !active_ok || active == 0) continue;
            if (n == kCollectTimers) {
                more_than_timers = true;
                break;
            }
            Timer5[n]->setEnabled(true);
            Timer5[n]->setInterval(kCollectIntervalMs);
            collect.datacol_limit[n] = poll_time_ticks(rs->Value("Poll Time"));
            ++n;
        }
        if (more_than_timers)
            ui::MsgBox(QStringLiteral("More than ten scales are set up for timed data collection; "
                                      "only the first ten are logged."),
                       ui::vbOKOnly);
    } else {
        if (valid_slot(links.cur_scale)) links.datacol_enb[links.cur_scale] = false;
        Datamsg->setVisible(false);
        for (int n = 0; n < kCollectTimers; ++n) {
            Timer5[n]->setEnabled(false);
            collect.datacol_count[n] = 0;
            collect.datacol_limit[n] = 0;
        }
    }
}

void form1::Timer5_Timer(int index) {
    if (index < 0 || index >= kCollectTimers) return;
    if (collect.datacol_count[index] < collect.datacol_limit[index]) {
        ++collect.datacol_count[index];
        return;
    }
    QString error;
    if (add_collected_reading(data2, links.scale_name[index], reading_text(index), &error) < 0) {
        // Stop the timers before telling the user, so that no further tick stacks up another
        // message behind this one.
        Check1->setChecked(false);
        for (ui::FormTimer* t : Timer5)
            t->setEnabled(false);
        report_failure(QStringLiteral("Timed data collection"), error);
        return;
    }
    collect.datacol_count[index] = 0;
}

void form1::Data_collect() {
    const int i = Combo1->currentIndex();
    if (!valid_slot(i)) return;
    QString error;
    const int64_t id = add_collected_reading(data2, links.scale_name[i], reading_or_null(i), &error);
    if (id < 0) {
        report_failure(QStringLiteral("Data collection"), error);
        return;
    }
    ui::DoEvents();
    data2->Recordset()->MoveLast();
    DataGrid1_refresh_count();
    // The copy is numbered by the record just stored: with the list sorted other than by ID, the
    // last record of the grid is some other record.
    if (chk_Excel->isChecked()) {
        excel_set_row_for_record(id);
        excel_log_reading(static_cast<int16_t>(i));
    }
}

void form1::DataGrid1_refresh_count() {
    const adodb::Recordset* rs = data2->Recordset();
    if (!rs->IsOpen()) return;
    Label20->setText(QStringLiteral("Data Collection - ") + QString::number(rs->RecordCount()) +
                     QStringLiteral(" Readings"));
}
