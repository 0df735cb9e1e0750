#include "screen/form1.h"

#include <QFont>
#include <QHeaderView>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include "collect/slave_windows.h"
#include "platform/db/data_control.h"
#include "platform/ui/twips.h"

#include <QSignalBlocker>
#include <initializer_list>
#include <memory>
#include <vector>

namespace {

// Places a widget in its parent at a position and size given in twips.
template <typename W> W* place(W* w, int left, int top, int width, int height) {
    w->setGeometry(ui::px(left), ui::px(top), ui::px(width), ui::px(height));
    return w;
}

// A drop-down list whose closed box shows a text too long for it with its middle left out, so
// that names differing only at their end stay apart.
class ElidingComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        p.setPen(palette().color(QPalette::Text));
        QStyleOptionComboBox opt;
        initStyleOption(&opt);
        p.drawComplexControl(QStyle::CC_ComboBox, opt);
        const QRect field =
            style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
        opt.currentText = fontMetrics().elidedText(opt.currentText, Qt::ElideMiddle, field.width());
        p.drawControl(QStyle::CE_ComboBoxLabel, opt);
    }
};

} // namespace

form1::form1() : ui::Form(nullptr, true) {
    setObjectName("form1");
    create_controls();
    connect_handlers();
    connect_poll_timers();
    connect_data_collection();
    connect_dde();
    connect_keypad();
    connect_slave_windows();
}

form1::~form1() = default;

form1& Form1() {
    static form1* screen = [] {
        auto* f = new form1();
        // The scale of a slave window's slot becomes the selected one, as if picked in the
        // screen's list; a slot with no entry in the list selects nothing.
        set_slave_click_handler([f](int k) {
            if (f->Loaded() && k < f->Combo1->count()) f->Combo1->setCurrentIndex(k);
        });
        return f;
    }();
    return *screen;
}

void form1::create_controls() {
    // Left: the keypad picture with the large display over its display window.
    vsElastic1 = place(new QWidget(this), 0, 0, 9435, 5415);
    vsElastic1->setObjectName("vsElastic1");
    Screen = new ui::FittingLabel(vsElastic1);
    Screen->setObjectName("Screen");
    Screen->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Screen->setFrameShape(QFrame::Panel);
    Screen->setFrameShadow(QFrame::Sunken);
    txt_groupnum = place(new QLineEdit(vsElastic1), 1320, 2800, 3495, 330);
    txt_groupnum->setObjectName("txt_groupnum");

    // Right-hand panel.
    vsElastic2 = place(new QWidget(this), 9450, 0, 2925, 5415);
    // Everything ends above 4500 twips, where the lower panels begin.
    vsElastic2->setObjectName("vsElastic2");
    Label1 = place(new QLabel(vsElastic2), 60, 30, 2800, 225);
    Combo1 = place(new ElidingComboBox(vsElastic2), 60, 270, 2800, 330);
    Combo1->setObjectName("Combo1");
    Combo1->setEditable(false);

    frame_mode = place(new QGroupBox(vsElastic2), 60, 645, 2800, 1110);
    opt_single = place(new QRadioButton(frame_mode), 120, 240, 1250, 270);
    opt_network = place(new QRadioButton(frame_mode), 1425, 240, 1300, 270);
    chk_pollenb = place(new QCheckBox(frame_mode), 120, 525, 780, 270);
    Label2 = place(new QLabel(frame_mode), 900, 548, 825, 225);
    txt_polltime = place(new QLineEdit(frame_mode), 1740, 510, 960, 300);
    chk_frame = place(new QCheckBox(frame_mode), 120, 810, 1250, 270);
    chk_txon = place(new QCheckBox(frame_mode), 1425, 810, 1250, 270);

    Frame2 = place(new QGroupBox(vsElastic2), 60, 1800, 2800, 750);
    opt_none = place(new QRadioButton(Frame2), 120, 225, 900, 240);
    opt_netscan = place(new QRadioButton(Frame2), 1050, 225, 1680, 240);
    opt_datacol = place(new QRadioButton(Frame2), 120, 465, 2600, 240);

    Frame5 = place(new QGroupBox(vsElastic2), 60, 2595, 2800, 1440);
    Command11 = place(new QPushButton(Frame5), 120, 225, 2560, 285);
    btn_saveslave = place(new QPushButton(Frame5), 120, 525, 2560, 285);
    btn_slavesload = place(new QPushButton(Frame5), 120, 825, 2560, 285);
    btn_closeallslaves = place(new QPushButton(Frame5), 120, 1125, 2560, 285);

    Command1 = place(new QPushButton(vsElastic2), 60, 4095, 2800, 345);
    Command1->setObjectName("Command1");

    // Data-collection panel.
    datawindow = new QWidget(this);
    datawindow->setObjectName("datawindow");
    // The lower panels lie over the keypad picture and paint their own background.
    datawindow->setAutoFillBackground(true);
    Label20 = place(new QLabel(datawindow), 120, 0, 8000, 285);
    DataGrid1 = place(new adodb::DataGrid(datawindow), 120, 300, 7800, 2640);
    DataGrid1->setObjectName("DataGrid1");
    DataGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DataGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    btn_LogData = place(new QPushButton(datawindow), 8040, 300, 1500, 360);
    btn_dataLogAll = place(new QPushButton(datawindow), 8040, 690, 1500, 360);
    Command2 = place(new QPushButton(datawindow), 8040, 1080, 1500, 360);
    Frame1 = place(new QGroupBox(datawindow), 9660, 240, 1500, 1290);
    opt_grp = place(new QRadioButton(Frame1), 90, 210, 1350, 255);
    opt_desc = place(new QRadioButton(Frame1), 90, 465, 1350, 255);
    opt_datetime = place(new QRadioButton(Frame1), 90, 720, 1350, 255);
    opt_ID = place(new QRadioButton(Frame1), 90, 975, 1350, 255);
    chk_Excel = place(new QCheckBox(datawindow), 8040, 1620, 1800, 270);
    chk_SaveOnPrint = place(new QCheckBox(datawindow), 8040, 1920, 1800, 270);
    chk_Reset_Row = place(new QCheckBox(datawindow), 8040, 2220, 1800, 270);
    Check1 = place(new QCheckBox(datawindow), 9900, 1620, 1500, 270);
    Datamsg = place(new QLabel(datawindow), 9900, 1920, 2500, 330);

    // Network list panel.
    netwindow = new QWidget(this);
    netwindow->setObjectName("netwindow");
    netwindow->setAutoFillBackground(true);
    NetFrame = place(new QGroupBox(netwindow), 120, 0, 5400, 2940);
    NetList = place(new QTableWidget(NetFrame), 120, 240, 5160, 2580);
    NetList->setObjectName("NetList");
    NetList->setColumnCount(2);
    NetList->setHorizontalHeaderLabels({"Scale ID", "Reading"});
    NetList->setColumnWidth(0, ui::px(3375));
    NetList->setColumnWidth(1, ui::px(1500));
    NetList->verticalHeader()->setVisible(false);
    NetList->setSelectionBehavior(QAbstractItemView::SelectRows);
    NetList->setSelectionMode(QAbstractItemView::SingleSelection);
    NetList->setEditTriggers(QAbstractItemView::NoEditTriggers);

    for (int i = 0; i < 10; ++i) {
        Timer1[i] = new ui::FormTimer(this, i);
        Timer5[i] = new ui::FormTimer(this, i);
    }
    Timer2 = new ui::FormTimer(this);
    Timer3 = new ui::FormTimer(this);
    Timer4 = new ui::FormTimer(this);

    // The hidden data controls: data1 on the ScaleCFG records, data2 on the collected readings.
    data1 = new adodb::DataControl(this);
    data1->setObjectName("data1");
    data2 = new adodb::DataControl(this);
    data2->setObjectName("data2");
}

void form1::release_data_controls() {
    // An empty source closes the control's recordset and connection.
    for (adodb::DataControl* d : {data1, data2}) {
        if (!d->Recordset()->IsOpen() && d->ConnectionString().isEmpty()) continue;
        d->setConnectionString(QString());
        d->setRecordSource(QString());
        d->Refresh();
    }
}

void form1::build() {
    // Design state of every control, as at each load of the screen. Setting it is no choice of
    // the user's, so the controls' handlers do not run.
    std::vector<std::unique_ptr<QSignalBlocker>> quiet;
    for (QObject* o : std::initializer_list<QObject*>{
             Combo1, opt_single, opt_network, chk_pollenb, chk_frame, chk_txon, opt_none, opt_datacol,
             opt_netscan, opt_grp, opt_desc, opt_datetime, opt_ID, chk_Excel, chk_SaveOnPrint, chk_Reset_Row,
             Check1, NetList->selectionModel()})
        quiet.push_back(std::make_unique<QSignalBlocker>(o));

    setCaption("Remote Screen");
    release_data_controls();
    Screen->clear();
    txt_groupnum->clear();

    Label1->setText("Active Scale:");
    Combo1->clear();
    Combo1->setToolTip("Use this to select a scale to display on the main screen.");

    frame_mode->setTitle("Operating Mode");
    frame_mode->setEnabled(true);
    for (QRadioButton* o : {opt_single, opt_network}) {
        o->setAutoExclusive(false);
        o->setChecked(false);
        o->setAutoExclusive(true);
        o->setEnabled(true);
    }
    opt_single->setText("Single");
    opt_single->setToolTip("Use this to restrict operation to a single scale.");
    opt_network->setText("Network");
    opt_network->setToolTip("Use this to start and monitor the scale network.");
    chk_pollenb->setText("Poll");
    chk_pollenb->setToolTip(
        "When using the single scale operating mode, use this to poll the scale for readings "
        "at regular intervals.");
    chk_pollenb->setChecked(false);
    chk_pollenb->setEnabled(true);
    txt_polltime->clear();
    txt_polltime->setEnabled(true);
    txt_polltime->setToolTip("In single mode, sets the interval time for auto updates. In network mode, "
                             "determines how often the complete network is scanned.");
    Label2->setText("Poll Time:");
    Label2->setEnabled(true);
    Label2->setVisible(false);
    chk_frame->setText("Frame");
    chk_frame->setChecked(false);
    chk_txon->setText("Tx On");
    chk_txon->setChecked(true);
    chk_txon->setVisible(false);

    Frame2->setTitle("Show");
    opt_none->setText("None");
    opt_datacol->setText("Data Collection");
    opt_netscan->setText("Network Scan");
    for (QRadioButton* o : {opt_none, opt_datacol, opt_netscan}) {
        o->setAutoExclusive(false);
        o->setChecked(false);
        o->setAutoExclusive(true);
    }

    Frame5->setTitle("Slave Windows");
    Frame5->setEnabled(true);
    Command11->setText("Open For Current Scale");
    btn_saveslave->setText("Save Current Layout");
    btn_slavesload->setText("Restore Saved Layout");
    btn_closeallslaves->setText("Close All");
    for (QPushButton* b : {Command11, btn_saveslave, btn_slavesload, btn_closeallslaves})
        b->setEnabled(true);

    Command1->setText("E&xit");
    Command1->setToolTip("Exits this screen and returns to the main menu.");

    Label20->setText("Data Collection");
    btn_LogData->setText("Save Current");
    btn_dataLogAll->setText("Save All");
    Command2->setText("Clear List");
    Frame1->setTitle("Sort by");
    opt_grp->setText("Weight");
    opt_desc->setText("Scale ID");
    opt_datetime->setText("Dat/Time");
    opt_ID->setText("ID");
    opt_ID->setChecked(true);
    chk_Excel->setText("Excel Output");
    chk_Excel->setChecked(false);
    chk_SaveOnPrint->setText("Auto Save");
    chk_SaveOnPrint->setChecked(false);
    chk_Reset_Row->setText("Excel Row 1");
    chk_Reset_Row->setVisible(false);
    chk_Reset_Row->setEnabled(false);
    Check1->setText("Enabled");
    Check1->setChecked(false);
    Check1->setVisible(false);
    Datamsg->setText("Collecting Data...");
    QFont f = Datamsg->font();
    f.setPointSize(12);
    f.setBold(true);
    Datamsg->setFont(f);
    Datamsg->setVisible(false);

    NetFrame->setTitle("Network Scan");
    NetList->setRowCount(0);
    datawindow->setVisible(false);
    netwindow->setVisible(false);

    // All timers are off at design time.
    for (int i = 0; i < 10; ++i) {
        Timer1[i]->setEnabled(false);
        Timer1[i]->setInterval(0);
        Timer5[i]->setEnabled(false);
        Timer5[i]->setInterval(0);
    }
    for (ui::FormTimer* t : {Timer2, Timer3, Timer4}) {
        t->setEnabled(false);
        t->setInterval(100);
    }
}

void form1::netlist_set_row(int slot, const QString& name, const QString& reading) {
    if (slot < 0) return;
    if (NetList->rowCount() <= slot) NetList->setRowCount(slot + 1);
    for (int col = 0; col < 2; ++col) {
        const QString text = col == 0 ? name : reading;
        if (QTableWidgetItem* item = NetList->item(slot, col))
            item->setText(text);
        else
            NetList->setItem(slot, col, new QTableWidgetItem(text));
    }
}
