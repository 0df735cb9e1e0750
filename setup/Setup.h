#pragma once
// The Setup dialog: edits the settings row of syscfg (every change is saved at once; OK and
// Cancel only close the dialog), hosts the editor of the ScaleCFG records and the SD-card
// options (import and emptying of the card's "KL.Dat").
#include <QString>
#include <array>
#include <memory>

#include "platform/db/data_control.h"
#include "platform/ui/form.h"
#include "setup/sd_import.h"

class CDriveInfo;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class Setup : public ui::Form {
    Q_OBJECT
public:
    Setup();
    ~Setup() override;

    // Shows the dialog modeless in the shell, as a fixed tool window.
    void open();

    // Communications
    QGroupBox* Frame1 = nullptr;
    QGroupBox* frm_commtype = nullptr;
    QRadioButton* opt_usb485 = nullptr;
    QRadioButton* opt_rs232 = nullptr;
    QRadioButton* opt_ethernet = nullptr; // hidden
    QLabel* Label4 = nullptr;             // hidden
    QLineEdit* txt_IP_address = nullptr;  // hidden
    QGroupBox* frm_commport = nullptr;
    QRadioButton* opt_com1 = nullptr;
    QRadioButton* opt_com2 = nullptr;
    QLineEdit* txt_netpolltime = nullptr;
    QLineEdit* txt_netdeltime = nullptr;
    QLineEdit* txt_usberr = nullptr;
    QCheckBox* chk_RFnet = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cmbRfNetID = nullptr;
    QCheckBox* chk_enbcol = nullptr;
    QCheckBox* chk_smallfonts = nullptr;
    QPushButton* btn_datapath = nullptr;

    // Scale-record editor
    QGroupBox* Frame2 = nullptr;
    adodb::DataControl* datPrimaryRS = nullptr;
    std::array<QLabel*, 15> lblLabels{};
    std::array<QLineEdit*, 6> txtFields{};
    std::array<QCheckBox*, 2> chkFields{};
    QLineEdit* Text1 = nullptr;            // hidden, "Poll Time"
    QLabel* Label2 = nullptr;              // hidden
    QLabel* Label3 = nullptr;              // hidden
    QCheckBox* Chk_TimerDataLog = nullptr; // hidden, "Poll Active"
    std::array<QPushButton*, 4> Command1{};
    QPushButton* Command2 = nullptr; // "Add Scale"
    QPushButton* Command3 = nullptr; // "Delete Scale"

    // SD memory options
    QGroupBox* SD_Mem_Op = nullptr;
    QLabel* lbl_Time_Zone = nullptr;
    QLineEdit* txt_Default_Time_Zone = nullptr;
    QLabel* lbl_Default_SD_Drive = nullptr;
    QLineEdit* txt_Default_SD_Drive = nullptr;
    QPushButton* cmd_Setup = nullptr;
    QPushButton* Read_Dat_File = nullptr;
    QPushButton* Erase_Dat_File = nullptr;
    QCheckBox* chk_erase_after_read = nullptr;

    QPushButton* OK = nullptr;
    QPushButton* Cancel = nullptr;

    void savesettings();
    void checkfields();
    void sortscales();
    static QString blz1(const QString& text);

    // Handlers
    void opt_usb485_Click();
    void opt_rs232_Click();
    void opt_ethernet_Click();
    void opt_com_Click();
    void chk_Click();
    void cmbRfNetID_Click();
    void txt_time_LostFocus();
    void txt_usberr_Change();
    void btn_datapath_Click();
    void cmd_Setup_Click();
    void OK_Click();
    void Cancel_Click();

    void Command1_Click(int index);
    void Command2_Click();
    void Command3_Click();
    // Stores the edits of the bound controls into the current record (their LostFocus).
    void txtFields_LostFocus();

    void Read_Dat_File_Click();
    void Erase_Dat_File_Click();

protected:
    void build() override;
    void Form_Load() override;
    void Form_Unload(int& cancel) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void build_controls();
    // Puts the values of the settings row `rs` into the setting controls, running no handler.
    void show_settings(const adodb::Recordset& rs);
    void reset_controls();
    void type_option_clicked(bool pump);
    void save_after_events();
    // Writes the settings row from the controls (savesettings without its guard).
    void save_row();
    void load_scale_records();
    void refresh_records();
    void show_record();
    bool store_record();
    bool erase_dat_file(bool quiet);

    bool built_ = false;
    bool saving_ = false;         // savesettings is running
    bool quiet_ = false;          // control changes made by the program itself run no handler
    bool record_shown_ = false;   // the bound controls show the current record of datPrimaryRS
    bool row_unreadable_ = false; // the dialog unloads because the settings row could not be opened
    std::unique_ptr<CDriveInfo> drive_info_;
};

Setup& setup_form();
