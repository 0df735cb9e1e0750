#pragma once
// The scale screen: an MDI child of the shell with the keypad picture and the large reading
// display on the left, the right-hand panel (scale list, operating mode, view, slave windows,
// exit) and, below, either the data-collection panel or the network list.
//
// The controls are members named as the screen names them. Handlers are members too; every
// one of them lives in screen/, in the file of what it belongs to:
//   form1.cpp             controls and their design state, the network list's rows
//   form1_startup.cpp     Form_Load, Form_Activate, adddefrec, Command1_Click ("E&xit"), Form_Unload
//   form1_selection.cpp   Combo1_Click, the view and sort options, chk_pollenb_Click, fillgrid,
//                         NetList row selection
//   poll_timers.cpp       Timer1_Timer to Timer4_Timer, halttimers, setmode, opt_single_Click,
//                         opt_network_Click, net_stat_get / net_stat_put, formactivate
//   receive_scans.cpp     rs232_inputscan, rs485_inputscan, USB_inputscan, USB485_inputscan
//   link_faults.cpp       link_lost, ftdi_device_lost (a link device gone, the connection lost)
//   keypad.cpp            vsElastic1_Click (the remote keypad); keypad_picture.cpp its picture
//   data_collection.cpp   btn_LogData_Click, btn_dataLogAll_Click, Command2_Click, Check1_Click,
//                         Timer5_Timer, Data_collect, sortdatacol
//   slave_layout.cpp      Command11_Click, btn_saveslave_Click, btn_slavesload_Click,
//                         btn_closeallslaves_Click, slavesload
//   dde_interface.cpp     Form_LinkExecute (remote commands)
//   config_transfers.cpp  group-setup and output-configuration transfers
//   totals.cpp            scale totals and the transfer commands of the screen
// What needs no widget (frames, the reply parser, link set-ups, the scale table) is in links/;
// the storing of collected readings and the slave windows are in collect/.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <array>

#include "links/link_type.h"
#include "platform/db/data_grid.h"
#include "platform/ui/fitting_label.h"
#include "platform/ui/form.h"
#include "platform/ui/form_timer.h"

namespace adodb {
class DataControl;
}
namespace dde {
class Source;
}

class form1 : public ui::Form {
    Q_OBJECT
public:
    form1();
    ~form1() override;

    // Containers: the keypad picture with the display, and the right-hand panel.
    QWidget* vsElastic1 = nullptr;      // 9435 x 5415 twips at 0, 0
    QWidget* vsElastic2 = nullptr;      // 2925 x 5415 twips at 9450, 0
    ui::FittingLabel* Screen = nullptr; // large reading display

    // Right-hand panel.
    QLabel* Label1 = nullptr; // "Active Scale:"
    QComboBox* Combo1 = nullptr;
    QGroupBox* frame_mode = nullptr; // "Operating Mode"
    QRadioButton* opt_single = nullptr;
    QRadioButton* opt_network = nullptr;
    QCheckBox* chk_pollenb = nullptr;
    QLineEdit* txt_polltime = nullptr;
    QLabel* Label2 = nullptr; // "Poll Time:", hidden
    QCheckBox* chk_frame = nullptr;
    QCheckBox* chk_txon = nullptr; // "Tx On", hidden, ticked
    QGroupBox* Frame2 = nullptr;   // "Show"
    QRadioButton* opt_none = nullptr;
    QRadioButton* opt_datacol = nullptr;
    QRadioButton* opt_netscan = nullptr;
    QGroupBox* Frame5 = nullptr; // "Slave Windows"
    QPushButton* Command11 = nullptr;
    QPushButton* btn_saveslave = nullptr;
    QPushButton* btn_slavesload = nullptr;
    QPushButton* btn_closeallslaves = nullptr;
    QPushButton* Command1 = nullptr;   // "E&xit"
    QLineEdit* txt_groupnum = nullptr; // group of the latest group reply

    // Data-collection panel.
    QWidget* datawindow = nullptr;
    QLabel* Label20 = nullptr;
    adodb::DataGrid* DataGrid1 = nullptr;
    QPushButton* btn_LogData = nullptr;    // "Save Current"
    QPushButton* btn_dataLogAll = nullptr; // "Save All"
    QPushButton* Command2 = nullptr;       // "Clear List"
    QGroupBox* Frame1 = nullptr;           // "Sort by"
    QRadioButton* opt_grp = nullptr;
    QRadioButton* opt_desc = nullptr;
    QRadioButton* opt_datetime = nullptr;
    QRadioButton* opt_ID = nullptr;
    QCheckBox* chk_Excel = nullptr;
    QCheckBox* chk_SaveOnPrint = nullptr;
    QCheckBox* chk_Reset_Row = nullptr; // hidden, disabled
    QCheckBox* Check1 = nullptr;        // "Enabled", hidden
    QLabel* Datamsg = nullptr;          // "Collecting Data...", hidden

    // Network list panel. NetList's header row is the table's horizontal header, so the row
    // of slot i (row i + 1 counting the header) is table row i.
    QWidget* netwindow = nullptr;
    QGroupBox* NetFrame = nullptr;
    QTableWidget* NetList = nullptr;

    // Hidden data controls: data1 on the ScaleCFG records, data2 on the collected readings,
    // scaleConfigRS for timed collection. Made by the start-up's owners of these controls.
    adodb::DataControl* data1 = nullptr;
    adodb::DataControl* data2 = nullptr;
    adodb::DataControl* scaleConfigRS = nullptr;

    // Timers.
    std::array<ui::FormTimer*, 10> Timer1{};
    ui::FormTimer* Timer2 = nullptr;
    ui::FormTimer* Timer3 = nullptr;
    ui::FormTimer* Timer4 = nullptr;
    std::array<ui::FormTimer*, 10> Timer5{};

    // Start-up and shutdown.
    void adddefrec(int i);
    void Command1_Click();
    // Selects an option button as the user would: its Click handler runs, also when the button
    // was selected already. Handlers run on `toggled` to true, so setChecked(true) from code
    // runs them too (connect_poll_timers connects opt_single and opt_network the same way).
    void select_option(QRadioButton* option);

    // Selection, views and network list.
    void Combo1_Click();
    void chk_pollenb_Click();
    void opt_none_Click();
    void opt_datacol_Click();
    void opt_netscan_Click();
    void opt_grp_Click();
    void opt_desc_Click();
    void opt_datetime_Click();
    void opt_ID_Click();
    void fillgrid();
    void NetList_row_select();

    // NetList cells of slot i: column 0 the name, column 1 the reading.
    void netlist_set_row(int slot, const QString& name, const QString& reading);

    // Receive scans (screen/receive_scans.cpp).
    void rs232_inputscan();
    void rs485_inputscan();
    void USB_inputscan();
    void USB485_inputscan();

    // Poll timers and operating modes (screen/poll_timers.cpp).
    void Timer1_Timer(int index);
    void Timer2_Timer();
    void Timer3_Timer();
    void Timer4_Timer();
    void setmode(int16_t mode);
    void opt_network_Click();
    void opt_single_Click();
    void halttimers();
    void net_stat_get();
    void net_stat_put();
    void formactivate();
    // True while a network cycle waits for its next step.
    bool network_cycle_pending() const { return cycle_step_ && cycle_step_->isActive(); }
    // A link device went away, or the Ethernet connection was refused or lost
    // (screen/link_faults.cpp): polling stops, "Poll" is cleared, the display and the group box
    // no longer show the last reading as if it were live, and the user is told once.
    void link_lost(const QString& reason);
    // Before anything starts polling: after a loss, sets the link up again as the start-up does,
    // and goes on in the mode now asked for. False when it cannot (the set-up has told why, and
    // the screen stays as the loss left it). The Ethernet link counts as lost until it connects.
    bool link_ready();
    // "Activate Remote Screen" on a screen whose link was lost: sets it up again and goes on
    // polling in the mode the screen had.
    void resume_after_loss();
    // The link was lost and not set up again since.
    bool link_down = false;
    // An FTDI device of the scans failed a read or a queue query: it is closed and reported.
    // `slot` is the slot whose device it was on "USB", -1 for the "USB485" adapter.
    void ftdi_device_lost(int slot);
    // Form-level state of the poll timers: saved intervals (0-9 Timer1, 10 Timer2, 11 Timer3,
    // 12 Timer4) and the saved mode controls.
    std::array<int16_t, 16> saved_intervals{};
    int16_t saved_opt_single = 0;
    int16_t saved_opt_network = 0;
    int16_t saved_chk_pollenb = 0;

    // Data collection (screen/data_collection.cpp).
    void sortdatacol();
    void btn_dataLogAll_Click();
    void btn_LogData_Click();
    void Command2_Click();
    void Check1_Click();
    void Timer5_Timer(int index);
    void Data_collect();
    void DataGrid1_refresh_count();

    // DDE interface (screen/dde_interface.cpp): the screen is the source of topic "Form1" while
    // it is loaded. Cancel 0 accepts the execute string.
    void Form_LinkExecute(const QString& CmdStr, int16_t& Cancel);
    dde::Source* dde_source = nullptr;

    // Configuration transfers (screen/config_transfers.cpp). Statuses: see there.
    void move_scale_to_ocscreen(int32_t addr);
    int16_t load_screen_from_scale(int32_t addr);
    int16_t upload_oc(int32_t addr);
    int16_t save_screen_to_scale(int32_t addr);
    void move_ocscreen_to_ocdb();
    void move_ocdb_to_ocscreen();
    int16_t save_screen_to_db(const QString& text);
    int16_t load_screen_from_db(const QString& text);
    // Before a read from the scale: hourglass, mode controls saved, single mode without
    // polling, every timer halted, then three pauses for the scale to settle.
    void stop_polling_for_transfer();

    // Totals and confirm-and-run transfer commands (screen/totals.cpp). No control of the
    // screen calls them; each works on the scale selected in Combo1.
    void reset_scale_totals();
    void load_default_groups();
    void load_default_outputs();
    void save_default_groups();
    void save_default_outputs();
    void download_oc_from_scale();
    void download_groups_from_scale();
    void load_groups_from_db();
    void save_groups_to_db();
    void upload_groups_to_scale();
    void upload_groups_to_all();
    void upload_oc_to_scale();
    void upload_oc_to_all();
    // Caption for the group totals of the latest good read: "Group Totals - " + the scale.
    QString totals_caption;

    // Remote keypad (screen/keypad.cpp). Positions in twips from the top-left corner of
    // vsElastic1; click_x / click_y hold the latest mouse position over the picture.
    void vsElastic1_mouse_pos(int button, int shift, float x, float y);
    void vsElastic1_Click();
    int32_t click_x = 0;
    int32_t click_y = 0;
    QWidget* keypad_picture = nullptr; // the front panel drawn under Screen

    // Slave windows (screen/slave_layout.cpp).
    void Command11_Click();
    void btn_saveslave_Click();
    void btn_slavesload_Click();
    void btn_closeallslaves_Click();
    void slavesload();

protected:
    void build() override;
    void Form_Load() override;
    void Form_Unload(int& cancel) override;
    void Form_Activate() override;

private:
    void create_controls();
    // Start-up steps (screen/form1_startup.cpp). The set-up runs the event pump between its
    // steps; it stops when the screen was unloaded (or unloaded and loaded again) meanwhile.
    bool match_slot(int i, int generation);
    bool setup_still_current(int generation) const;
    bool setup_pump(int generation);
    int load_generation_ = 0;
    // The set-up of Form_Activate, and whether it is running (it lets events run, and a second
    // activation arriving then must not start it again).
    void setup_screen();
    bool setting_up_ = false;
    bool just_set_up_ = false; // a set-up ended in this turn of the event loop
    int setup_generation_ = 0; // the load whose set-up is running
    // Closes the data controls' recordsets and connections (at each load and unload).
    void release_data_controls();
    // The link set-up of comm_type (start-up step 6); false when the USB adapter is missing or
    // failed to open. Then the link set up again after a loss (steps 6, 9 to 12 and the scale
    // list), and the closing of the "USB" scales' devices (screen/form1_startup.cpp).
    bool setup_link();
    bool set_link_up_again();
    void close_scale_devices();
    // After a loss (screen/link_faults.cpp): the mode the screen had, and the screen showing
    // that polling stopped.
    void link_went_down();
    void show_connection_lost();
    bool set_up_after_loss(); // link_ready without taking the mode asked for
    bool lost_single_ = false;
    bool lost_network_ = false;
    bool lost_poll_ = false;
    bool setting_link_up_ = false;
    // "USB" scales whose devices were lost and not yet told, named, told in one message.
    QStringList lost_devices_;
    void tell_devices_lost();
    bool any_scale_device_open() const;
    // Signal connections, each next to the handlers it connects.
    void connect_handlers(); // screen/form1_selection.cpp
    // Set while the network list's current row follows the selected scale.
    bool netlist_following_ = false;
    void connect_poll_timers(); // screen/poll_timers.cpp
    // The network cycle of "USB", "RS485" and "USB485" (screen/poll_timers.cpp): a Timer1 tick
    // starts it and polls the first scale; each further step, run by cycle_step_ from the event
    // loop, polls the next scale. `halted` is set by halttimers during a step's scan.
    enum class CycleStep { go_on, end, leave };
    CycleStep poll_network_slot(int slot);
    void network_cycle_step();
    struct NetworkCycle {
        int id = 0; // counts the cycles started
        LinkType link = LinkType::none;
        bool frame = false;
        bool device_open = false; // the port or adapter was open when the cycle began
        int next_slot = 0;
        bool in_step = false;
        bool halted = false;
    };
    NetworkCycle cycle_;
    QTimer* cycle_step_ = nullptr;
    void connect_data_collection(); // screen/data_collection.cpp
    void connect_dde();             // screen/dde_interface.cpp
    // Reads of the configuration (letter "J" or "G"); 1 after the serial time-out.
    int16_t read_config(char letter, int32_t addr);
    void read_group_totals();
    // The list position of the selected entry when it names a filled slot, else -1.
    int selected_slot() const;
    void connect_keypad();        // screen/keypad.cpp
    void connect_slave_windows(); // screen/slave_layout.cpp
};

// The one scale screen of the run.
form1& Form1();
