#include "setup/SD_Setting.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>

#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "core/forms.h"
#include "platform/timezone/timezone.h"
#include "platform/ui/message_box.h"
#include "platform/ui/twips.h"
#include "platform/volumes/volumes.h"
#include "setup/CDriveInfo.h"
#include "setup/setup_state.h"

namespace {

template <class W> W* place(W* w, int left, int top, int width, int height) {
    w->setGeometry(ui::px(left), ui::px(top), ui::px(width), ui::px(height));
    return w;
}

QString root_of_current_directory() {
    const QString r = volumes::volume_of(QDir::currentPath());
    return r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/');
}

} // namespace

// Owned by the shell, as the core's dialogs are: it minimises with the shell and stays above it.
SD_Setting& sd_setting_form() {
    static SD_Setting* f = new SD_Setting(shell_window());
    return *f;
}

SD_Setting::SD_Setting(QWidget* owner) : ui::Form(owner, false) {
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
}

SD_Setting::~SD_Setting() = default;

void SD_Setting::build() {
    if (!built_) {
        built_ = true;
        setCaption(QStringLiteral("SD_Setting"));
        setFixedSize(ui::px(6255), ui::px(4845));
        SD_Group = place(new QGroupBox(QStringLiteral("SD Memory Drive Setting"), this), 120, 60, 6015, 3975);
        const QStringList captions = {
            "System Time Zone:", "Volume Label:",         "Volume Serial Number:",    "Total Space:",
            "Total Free Space:", "Available Free Space:", "Maximum Filename Length:", "File System Name:",
            "Drive Type:",       "Volume Compressed:"};
        QLabel** labels[] = {&lbl_Time_Zone, &Label1, &Label2, &Label3, &Label4,
                             &Label5,        &Label6, &Label7, &Label8, &Label9};
        QLineEdit** boxes[] = {&txt_Time_Zone,        &txt_Vol_Label,        &txt_Vol_Serial_Num,
                               &txt_Tot_Space,        &txt_Total_Free_Space, &txt_Avl_Free_Space,
                               &txt_Max_FileName_Len, &txt_File_Sys_Name,    &txt_Drive_Type,
                               &txt_Volume_Comp};
        for (int row = 0; row < 10; ++row) {
            const int top = 240 + row * 360;
            *labels[row] = place(new QLabel(captions[row], SD_Group), 120, top + 15, 2055, 255);
            *boxes[row] = place(new QLineEdit(SD_Group), 2280, top, 3615, 285);
            (*boxes[row])->setEnabled(false);
        }
        // Captions are shown whole: where the font needs more room than the design gives, the
        // boxes start further right and keep their right edge.
        int caption_width = ui::px(2055);
        for (QLabel** l : labels)
            caption_width = std::max(caption_width, (*l)->sizeHint().width());
        if (caption_width > ui::px(2055)) {
            const int left = ui::px(120) + caption_width + ui::px(105);
            for (int row = 0; row < 10; ++row) {
                QLabel* l = *labels[row];
                l->resize(caption_width, l->height());
                QLineEdit* b = *boxes[row];
                b->setGeometry(left, b->y(), b->geometry().right() + 1 - left, b->height());
            }
        }
        Drive1 = place(new QComboBox(this), 120, 4200, 2535, 315);
        cmd_OK = place(new QPushButton(QStringLiteral("OK"), this), 3000, 4200, 1335, 375);
        cmd_Cancel = place(new QPushButton(QStringLiteral("Cancel"), this), 4560, 4200, 1455, 375);
        connect(Drive1, &QComboBox::currentIndexChanged, this, [this] {
            if (!filling_) Drive1_Change();
        });
        connect(cmd_OK, &QPushButton::clicked, this, &SD_Setting::cmd_OK_Click);
        connect(cmd_Cancel, &QPushButton::clicked, this, &SD_Setting::cmd_Cancel_Click);
        setDialogButtons(cmd_OK, cmd_Cancel);
    }
    for (QLineEdit* b : findChildren<QLineEdit*>())
        b->clear();

    // The drive list, on the drive of the current directory.
    filling_ = true;
    Drive1->clear();
    const QString current = root_of_current_directory();
    for (const QString& root : volumes::logical_drive_strings()) {
        volumes::VolumeInformation info;
        const bool known = volumes::volume_information(root, info);
        Drive1->addItem(known && !info.label.isEmpty()
                            ? root + QStringLiteral(" [") + info.label + QLatin1Char(']')
                            : root,
                        root);
    }
    const int here = Drive1->findData(current);
    Drive1->setCurrentIndex(here >= 0 ? here : 0);
    filling_ = false;
}

QString SD_Setting::Drive() const {
    return Drive1->currentData().toString();
}

bool SD_Setting::selectDrive(const QString& root) {
    const int i = Drive1->findData(root);
    if (i < 0) return false;
    if (i == Drive1->currentIndex())
        Drive1_Change();
    else
        Drive1->setCurrentIndex(i);
    return true;
}

void SD_Setting::select_quietly(int index) {
    filling_ = true;
    Drive1->setCurrentIndex(index);
    filling_ = false;
}

void SD_Setting::Form_Load() {
    drive_info = std::make_unique<CDriveInfo>();
    show_time_zone();
    if (setup_state.sd_drive_user_set != 1) {
        for (int i = 0; i < Drive1->count(); ++i) {
            drive_info->setDrive(Drive1->itemData(i).toString());
            if (!looks_like_sd_card(*drive_info)) continue;
            ui::MsgBox(QStringLiteral("Program Found Drive '") + drive_info->Drive() +
                           QStringLiteral("'  [") + drive_info->DriveTypeEx() +
                           QStringLiteral("] as Default SD Drive"),
                       ui::vbOKOnly);
            select_quietly(i);
            setup_state.sd_drive = drive_info->Drive();
        }
    } else {
        ui::MsgBox(QStringLiteral("User Setted '") + setup_state.sd_drive +
                       QStringLiteral("'as Default SD Drive"),
                   ui::vbOKOnly);
    }
    if (Drive1->count() > 0) drive_info->setDrive(Drive());
    show_drive_info();
}

void SD_Setting::Form_Unload(int& cancel) {
    (void)cancel;
    drive_info.reset();
}

void SD_Setting::paintEvent(QPaintEvent* e) {
    if (Loaded()) show_time_zone();
    ui::Form::paintEvent(e);
}

// The zone's standard name; "Time Zone Unknown!" for a zone without a daylight rule or when no
// zone can be read.
void SD_Setting::show_time_zone() {
    tzinfo::TimeZoneInformation tz;
    const int state = tzinfo::GetTimeZoneInformation(tz);
    const QString text = state == tzinfo::TIME_ZONE_ID_STANDARD || state == tzinfo::TIME_ZONE_ID_DAYLIGHT
                             ? CDriveInfo::strip_null(tz.standard_name)
                             : QStringLiteral("Time Zone Unknown!");
    if (txt_Time_Zone->text() != text) txt_Time_Zone->setText(text);
}

void SD_Setting::show_drive_info() {
    show_time_zone();
    if (!drive_info) return;
    CDriveInfo& d = *drive_info;
    if (d.Present()) {
        txt_Vol_Label->setText(d.Label());
        txt_Vol_Serial_Num->setText(d.SerialNumberEx());
        txt_Tot_Space->setText(CDriveInfo::FormatSize(d.TotalSpace(), true));
        txt_Total_Free_Space->setText(CDriveInfo::FormatSize(d.FreeSpace(), true));
        txt_Avl_Free_Space->setText(CDriveInfo::FormatSize(d.AvailableSpace(), true));
        txt_Max_FileName_Len->setText(QString::number(d.MaxFilenameLength()));
        txt_File_Sys_Name->setText(d.FileSystem());
        txt_Drive_Type->setText(d.DriveTypeEx());
        txt_Volume_Comp->setText(d.FileSystemFlag(volumes::FILE_VOLUME_IS_COMPRESSED)
                                     ? QStringLiteral("True")
                                     : QStringLiteral("False"));
        return;
    }
    for (QLineEdit* b :
         {txt_Vol_Label, txt_Vol_Serial_Num, txt_Tot_Space, txt_Total_Free_Space, txt_Avl_Free_Space,
          txt_Max_FileName_Len, txt_File_Sys_Name, txt_Drive_Type, txt_Volume_Comp})
        b->clear();
    txt_Drive_Type->setText(d.DriveTypeEx());
    switch (d.DriveType()) {
    case volumes::DRIVE_NO_ROOT_DIR:
        txt_Vol_Label->setText(QStringLiteral("[Drive Not Mapped]"));
        break;
    case volumes::DRIVE_REMOVABLE:
        txt_Vol_Label->setText(QStringLiteral("[Disk Not Present]"));
        break;
    case volumes::DRIVE_CDROM:
        txt_Vol_Label->setText(QStringLiteral("[Disc Not Present]"));
        break;
    default:
        break;
    }
}

void SD_Setting::Drive1_Change() {
    ui::SetMousePointer(ui::vbHourglass);
    if (drive_info) {
        drive_info->setDrive(Drive());
        show_drive_info();
    }
    ui::SetMousePointer(ui::vbDefault);
}

void SD_Setting::cmd_OK_Click() {
    // Mount points are told apart with regard to case, as the file system does.
    const QString chosen = Drive();
    if (!chosen.isEmpty()) {
        if (chosen != setup_state.sd_drive) setup_state.sd_drive_user_set = 1;
        setup_state.sd_drive = chosen;
    }
    Unload();
}

void SD_Setting::cmd_Cancel_Click() {
    Unload();
}
