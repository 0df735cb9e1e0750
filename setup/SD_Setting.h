#pragma once
// "SD_Setting": the modal dialog in which the user picks the drive that holds a scale's SD card.
// Until the user has chosen a drive in this run, it looks for the card itself when it opens.
// It shows the PC's time zone and the properties of the selected drive.
#include <memory>

#include "platform/ui/form.h"

class CDriveInfo;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class SD_Setting : public ui::Form {
    Q_OBJECT
public:
    explicit SD_Setting(QWidget* owner = nullptr);
    ~SD_Setting() override;

    QGroupBox* SD_Group = nullptr;
    QLabel* lbl_Time_Zone = nullptr;
    QLineEdit* txt_Time_Zone = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* txt_Vol_Label = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txt_Vol_Serial_Num = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txt_Tot_Space = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* txt_Total_Free_Space = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* txt_Avl_Free_Space = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* txt_Max_FileName_Len = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* txt_File_Sys_Name = nullptr;
    QLabel* Label8 = nullptr;
    QLineEdit* txt_Drive_Type = nullptr;
    QLabel* Label9 = nullptr;
    QLineEdit* txt_Volume_Comp = nullptr;
    // The drives; each entry shows its root and label and carries the root.
    QComboBox* Drive1 = nullptr;
    QPushButton* cmd_OK = nullptr;
    QPushButton* cmd_Cancel = nullptr;

    // The root of the drive selected in Drive1.
    QString Drive() const;
    // Selects a drive by its root as the user would, running Drive1_Change.
    bool selectDrive(const QString& root);

    void Drive1_Change();
    void cmd_OK_Click();
    void cmd_Cancel_Click();

protected:
    void build() override;
    void Form_Load() override;
    void Form_Unload(int& cancel) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void show_time_zone();
    void show_drive_info();
    void select_quietly(int index);

    bool built_ = false;
    bool filling_ = false;
    std::unique_ptr<CDriveInfo> drive_info;
};

SD_Setting& sd_setting_form();
