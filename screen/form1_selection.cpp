// Scale selection, the "Poll" switch, the lower panels and the network list of the scale screen.
#include "screen/form1.h"

#include "links/links_state.h"
#include "platform/db/adodb.h"
#include "platform/db/data_control.h"
#include "platform/ui/message_box.h"

#include <QItemSelectionModel>
#include <QSignalBlocker>

namespace {

constexpr int kHeightNoPanel = 5905;
constexpr int kHeightWithPanel = 8050;

// A list position or grid row that names a filled slot.
bool is_slot(int pos) {
    return pos >= 0 && pos < std::min<int>(links.scale_count, kScaleSlots);
}

} // namespace

void form1::connect_handlers() {
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this](int) { Combo1_Click(); });
    connect(chk_pollenb, &QCheckBox::toggled, this, [this](bool) { chk_pollenb_Click(); });

    const std::pair<QRadioButton*, void (form1::*)()> options[] = {{opt_none, &form1::opt_none_Click},
                                                                   {opt_datacol, &form1::opt_datacol_Click},
                                                                   {opt_netscan, &form1::opt_netscan_Click},
                                                                   {opt_grp, &form1::opt_grp_Click},
                                                                   {opt_desc, &form1::opt_desc_Click},
                                                                   {opt_datetime, &form1::opt_datetime_Click},
                                                                   {opt_ID, &form1::opt_ID_Click}};
    for (const auto& [option, handler] : options)
        connect(option, &QRadioButton::toggled, this, [this, handler = handler](bool on) {
            if (on) (this->*handler)();
        });

    connect(NetList->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (!netlist_following_) NetList_row_select();
    });
    // A click on the row that is current already moves no row, and still selects its scale
    // when another one is displayed.
    connect(NetList, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.row() == NetList->currentRow() &&
            (Combo1->currentIndex() != index.row() || links.cur_scale != index.row()))
            NetList_row_select();
    });
}

void form1::select_option(QRadioButton* option) {
    if (!option->isChecked()) {
        option->setChecked(true); // the handler runs through `toggled`
        return;
    }
    if (option == opt_none)
        opt_none_Click();
    else if (option == opt_datacol)
        opt_datacol_Click();
    else if (option == opt_netscan)
        opt_netscan_Click();
    else if (option == opt_grp)
        opt_grp_Click();
    else if (option == opt_desc)
        opt_desc_Click();
    else if (option == opt_datetime)
        opt_datetime_Click();
    else if (option == opt_ID)
        opt_ID_Click();
    else if (option == opt_single)
        opt_single_Click();
    else if (option == opt_network)
        opt_network_Click();
}

void form1::Combo1_Click() {
    // No entry selected, or one without a scale: nothing to select.
    if (!is_slot(Combo1->currentIndex())) return;
    ui::DoEvents();
    const int pos = Combo1->currentIndex();
    if (!is_slot(pos)) return;

    // The selected scale's record becomes the current record of data1; a scale without a
    // record leaves it where the search ended.
    adodb::Recordset* rs = data1->Recordset();
    if (rs->IsOpen()) {
        rs->MoveFirst();
        rs->Find(QStringLiteral("ID=") + QString::number(links.scale_recid[pos]));
    }
    ui::DoEvents();

    // The pump may have run another selection; the list's position now is the one that counts.
    const int now = Combo1->currentIndex();
    if (!is_slot(now)) return;
    // Another scale's readings start again at the display's own size.
    if (now != links.cur_scale) Screen->restartSize();
    links.cur_scale = static_cast<int16_t>(now);
    links.cur_scale_addr = links.scale_addr[now];
    if (links.op_mode == 0 || links.op_mode == 1) links.poll_index = links.cur_scale;
    // The network list's current row follows the selected scale.
    if (now < NetList->rowCount() && NetList->currentRow() != now) {
        netlist_following_ = true;
        NetList->setCurrentCell(now, 0);
        netlist_following_ = false;
    }
    ui::DoEvents();
}

void form1::chk_pollenb_Click() {
    ui::DoEvents();
    const bool polling = chk_pollenb->isChecked();
    // After a lost link, polling starts only once the link is set up again.
    if (polling && !link_ready()) return;
    setmode(polling ? 1 : 0);
    Label2->setEnabled(!polling);
    txt_polltime->setEnabled(!polling);
    opt_network->setEnabled(!polling);
}

void form1::opt_none_Click() {
    datawindow->setVisible(false);
    netwindow->setVisible(false);
    setFormHeightTwips(kHeightNoPanel);
}

void form1::opt_datacol_Click() {
    datawindow->setVisible(true);
    datawindow->raise();
    netwindow->setVisible(false);
    setFormHeightTwips(kHeightWithPanel);
    if (!data2->ConnectionString().isEmpty()) {
        sortdatacol();
        Label20->setText(QStringLiteral("Data Collection - ") +
                         QString::number(data2->Recordset()->RecordCount()) + QStringLiteral(" Readings"));
    }
}

void form1::opt_netscan_Click() {
    datawindow->setVisible(false);
    netwindow->setVisible(true);
    netwindow->raise();
    setFormHeightTwips(kHeightWithPanel);
}

void form1::opt_grp_Click() {
    sortdatacol();
}
void form1::opt_desc_Click() {
    sortdatacol();
}
void form1::opt_datetime_Click() {
    sortdatacol();
}
void form1::opt_ID_Click() {
    sortdatacol();
}

void form1::fillgrid() {
    ui::DoEvents();
    {
        // Emptying the grid moves its current row; that is no selection by the user.
        const QSignalBlocker block(NetList->selectionModel());
        NetList->setRowCount(0);
    }
    ui::DoEvents();
    for (int i = 0; i < std::min<int>(links.scale_count, kScaleSlots); ++i) {
        {
            const QSignalBlocker block(NetList->selectionModel());
            netlist_set_row(i, links.scale_name[i].trimmed(), QString::fromLatin1(links.scale_reading[i]));
        }
        ui::DoEvents();
    }
}

void form1::NetList_row_select() {
    // Table row r is the grid row r + 1 below the header, the row of slot r.
    const int slot = NetList->currentRow();
    if (!is_slot(slot)) return;
    // Setting the list's position selects the scale, also when it is the one selected already.
    if (Combo1->currentIndex() == slot)
        Combo1_Click();
    else
        Combo1->setCurrentIndex(slot);
}
