// The scale screen's "Slave Windows" frame: opening a window for the selected scale, closing
// them all, and the layout of windows 0 to 8 saved in and restored from the settings row.
#include "collect/slave_windows.h"
#include "core/core_state.h"
#include "links/links_state.h"
#include "platform/db/adodb.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"

namespace {

// Outer size of an opened or restored window.
constexpr int kSlaveHeight = 1995;
constexpr int kSlaveWidth = 3615;
// Windows saved in the settings row: 0 to 8.
constexpr int kSavedWindows = 9;

QString field(int k, const char* what) {
    return QStringLiteral("slave%1%2").arg(k).arg(QLatin1String(what));
}

// Size, and position when given, of a window that is shown; a minimized or maximized window
// goes back to its normal state first, as it cannot be placed otherwise.
void place(slave& w, const QString& caption, const int* left, const int* top) {
    if (!w.Placeable()) w.frame()->showNormal();
    w.setCaption(caption);
    w.setFormHeightTwips(kSlaveHeight);
    w.setFormWidthTwips(kSlaveWidth);
    // Window 0 has a fixed border: the user cannot resize it.
    if (w.index() == 0) w.frame()->setFixedSize(w.frame()->size());
    if (left) w.setLeftTwips(*left);
    if (top) w.setTopTwips(*top);
    w.frame()->update();
}

// A whole number of twips from a stored position; an empty or unusable field gives 0.
int twips_of(const QVariant& v) {
    bool ok = false;
    const double d = adodb::to_double(v, &ok);
    if (!ok || d < -1e6 || d > 1e6) return 0;
    return static_cast<int>(d < 0 ? d - 0.5 : d + 0.5);
}

// The settings row, opened as the layout routines open it. False, after telling the user,
// when the database or the row is not there.
bool open_settings_row(adodb::Connection& conn, adodb::Recordset& rs, const QString& failure) {
    QString why;
    if (!conn.Open(core.conn_str))
        why = conn.error();
    else if (!rs.Open(QStringLiteral("syscfg"), conn, adodb::adOpenDynamic, adodb::adLockPessimistic))
        why = rs.error();
    else {
        rs.MoveFirst();
        if (!rs.IsEOF()) return true;
        why = QStringLiteral("The settings table holds no row.");
    }
    ui::Beep();
    ui::MsgBox(failure + QStringLiteral("\n") + why, ui::vbOKOnly | ui::vbExclamation);
    rs.Close();
    conn.Close();
    return false;
}

} // namespace

void form1::connect_slave_windows() {
    connect(Command11, &QPushButton::clicked, this, [this] { Command11_Click(); });
    connect(btn_saveslave, &QPushButton::clicked, this, [this] { btn_saveslave_Click(); });
    connect(btn_slavesload, &QPushButton::clicked, this, [this] { btn_slavesload_Click(); });
    connect(btn_closeallslaves, &QPushButton::clicked, this, [this] { btn_closeallslaves_Click(); });
}

void form1::Command11_Click() {
    const int k = links.cur_scale;
    if (k < 0 || k > 9) return;
    slave& w = slave_window(k);
    w.ShowSlave();
    // Windows 0 to 4 stand in a column at the right of the screen; the others go where the
    // window system puts them.
    const int left = 11535;
    const int top = 15 + 2010 * k;
    place(w, links.scale_name[static_cast<size_t>(k)], k <= 4 ? &left : nullptr, k <= 4 ? &top : nullptr);
    ui::DoEvents();
    // The window opened is k, whichever scale the event pump may have selected meanwhile; one
    // closed meanwhile is not open.
    if (w.Loaded()) slave_open[static_cast<size_t>(k)] = 1;
}

void form1::btn_saveslave_Click() {
    adodb::Connection conn;
    adodb::Recordset rs;
    if (!open_settings_row(conn, rs, QStringLiteral("The slave window layout could not be saved."))) return;
    for (int k = 0; k < kSavedWindows; ++k) {
        if (slave_open[static_cast<size_t>(k)] != 0) {
            ui::DoEvents();
            slave& w = slave_window(k);
            rs.SetValue(field(k, "enb"), true);
            // A minimized or maximized window keeps the position saved before.
            if (w.Loaded() && w.Placeable()) {
                w.frame()->update();
                rs.SetValue(field(k, "top"), w.TopTwips());
                rs.SetValue(field(k, "left"), w.LeftTwips());
            }
        } else {
            rs.SetValue(field(k, "enb"), false);
        }
    }
    if (!rs.Update()) {
        const QString why = rs.error();
        rs.CancelUpdate();
        ui::Beep();
        ui::MsgBox(QStringLiteral("The slave window layout could not be saved.\n") + why,
                   ui::vbOKOnly | ui::vbExclamation);
    }
    rs.Close();
    conn.Close();
}

void form1::btn_slavesload_Click() {
    slavesload();
    ui::DoEvents();
}

void form1::slavesload() {
    adodb::Connection conn;
    adodb::Recordset rs;
    if (!open_settings_row(conn, rs, QStringLiteral("The saved slave window layout could not be restored.")))
        return;
    // The row's values are read before any window is shown: the event pump below may run
    // anything, and the layout restored is the one saved.
    struct Saved {
        bool open;
        int left;
        int top;
    };
    std::array<Saved, kSavedWindows> saved{};
    for (int k = 0; k < kSavedWindows; ++k) {
        bool ok = false;
        const int16_t enb = rs.Int16(field(k, "enb"), &ok);
        saved[k] = {ok && enb != 0, twips_of(rs.Value(field(k, "left"))),
                    twips_of(rs.Value(field(k, "top")))};
    }
    rs.Close();
    conn.Close();

    for (int k = 0; k < kSavedWindows; ++k) {
        if (!saved[k].open) continue;
        slave_open[static_cast<size_t>(k)] = 1;
        slave& w = slave_window(k);
        w.ShowSlave();
        place(w, links.scale_name[static_cast<size_t>(k)], &saved[k].left, &saved[k].top);
        ui::DoEvents();
    }
}

void form1::btn_closeallslaves_Click() {
    // Window 9 is not part of the layout and stays open.
    for (int k = 0; k < kSavedWindows; ++k) {
        if (slave_open[static_cast<size_t>(k)] == 1) slave_unload(k);
        ui::DoEvents();
    }
}
