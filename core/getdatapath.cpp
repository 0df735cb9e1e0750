#include "core/getdatapath.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "core/cfg_file.h"
#include "core/core_state.h"
#include "platform/ui/message_box.h"
#include "platform/ui/twips.h"
#include "platform/volumes/volumes.h"

namespace {
constexpr int kPathRole = Qt::UserRole;

QString clean(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
} // namespace

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { setPath(item->data(kPathRole).toString()); });
}

void DirListBox::resetPath(const QString& path) {
    path_ = clean(path);
    refill();
}

void DirListBox::setPath(const QString& path) {
    const QString p = clean(path);
    if (p == path_) return;
    path_ = p;
    refill();
    emit changed();
}

int DirListBox::indexOfPath(const QString& path) const {
    const QString p = clean(path);
    for (int i = 0; i < count(); ++i)
        if (item(i)->data(kPathRole).toString() == p) return i;
    return -1;
}

void DirListBox::refill() {
    clear();
    const QIcon open_icon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed_icon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QString root = volumes::volume_of(path_);

    // The chain from the drive's root down to the current folder.
    QStringList chain;
    for (QString p = path_;; p = QFileInfo(p).path()) {
        chain.prepend(p);
        if (p == root || p == QLatin1String("/") || QFileInfo(p).path() == p) break;
    }
    int depth = 0;
    for (const QString& p : chain) {
        const QString label = depth == 0 ? p : QFileInfo(p).fileName();
        auto* it = new QListWidgetItem(open_icon, QString(depth * 2, QLatin1Char(' ')) + label, this);
        it->setData(kPathRole, p);
        ++depth;
    }
    setCurrentRow(count() - 1);
    const QStringList subs =
        QDir(path_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& s : subs) {
        auto* it = new QListWidgetItem(closed_icon, QString(depth * 2, QLatin1Char(' ')) + s, this);
        it->setData(kPathRole, clean(path_ + QLatin1Char('/') + s));
    }
}

getdatapath::getdatapath(QWidget* owner) : ui::Form(owner, false) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

void getdatapath::build() {
    if (!built_) {
        built_ = true;
        auto* grid = new QGridLayout(this);
        Label2 = new QLabel(QStringLiteral("Please select the location for the data file ZQDATA.MDB"), this);
        Drive1 = new QComboBox(this);
        Dir1 = new DirListBox(this);
        Label1 = new QLabel(this);
        Label1->setFrameShape(QFrame::StyledPanel);
        Label1->setMinimumHeight(ui::px(300));
        Command1 = new QPushButton(QStringLiteral("Okay"), this);
        Command2 = new QPushButton(QStringLiteral("Cancel"), this);
        grid->addWidget(Label2, 0, 0, 1, 2);
        grid->addWidget(Drive1, 1, 0);
        grid->addWidget(Dir1, 2, 0, 3, 1);
        grid->addWidget(Command1, 2, 1);
        grid->addWidget(Command2, 3, 1);
        grid->addWidget(Label1, 5, 0, 1, 2);
        grid->setRowStretch(4, 1);
        grid->setColumnStretch(0, 1);

        connect(Drive1, &QComboBox::currentIndexChanged, this, [this](int) {
            if (!filling_) Drive1_Change();
        });
        connect(Dir1, &DirListBox::changed, this, &getdatapath::Dir1_Change);
        connect(Command1, &QPushButton::clicked, this, &getdatapath::Command1_Click);
        connect(Command2, &QPushButton::clicked, this, &getdatapath::Command2_Click);
        // No default button: Enter in the folder list opens the folder.
        setDialogButtons(nullptr, Command2);
        resize(ui::px(7545), ui::px(4620));
    }
    setCaption(QStringLiteral("Data File Path"));
    // The lists start at the program's folder, the chosen folder empty.
    const QString start = app_path();
    Dir1->resetPath(start);
    fill_drives(volumes::volume_of(Dir1->Path()));
    Label1->clear();
}

void getdatapath::fill_drives(const QString& select_root) {
    filling_ = true;
    Drive1->clear();
    int selected = 0;
    for (const volumes::Volume& v : volumes::mounted_volumes()) {
        QString text = v.root;
        if (!v.name.isEmpty() && v.name != v.root)
            text += QStringLiteral(" [") + v.name + QStringLiteral("]");
        Drive1->addItem(text, v.root);
        if (v.root == select_root) selected = Drive1->count() - 1;
    }
    Drive1->setCurrentIndex(Drive1->count() ? selected : -1);
    drive_index_ = Drive1->currentIndex();
    filling_ = false;
}

QString getdatapath::Drive() const {
    return Drive1->currentData().toString();
}

bool getdatapath::selectDrive(const QString& root) {
    const int i = Drive1->findData(root);
    if (i < 0) return false;
    Drive1->setCurrentIndex(i);
    return true;
}

void getdatapath::Drive1_Change() {
    const QString root = Drive();
    if (!volumes::is_ready(root)) {
        ui::MsgBox(QStringLiteral("The drive ") + root + QStringLiteral(" is not ready."), ui::vbOKOnly);
        // Back to the drive of the folder list.
        filling_ = true;
        Drive1->setCurrentIndex(drive_index_);
        filling_ = false;
        return;
    }
    drive_index_ = Drive1->currentIndex();
    Dir1->setPath(root);
    ui::DoEvents();
    Label1->setText(Dir1->Path());
}

void getdatapath::Dir1_Change() {
    Label1->setText(Dir1->Path());
    ui::DoEvents();
}

void getdatapath::Command1_Click() {
    const QString chosen = Label1->text();
    core.data_path = chosen;
    if (core.data_path.endsWith(QLatin1Char('/'))) core.data_path.chop(1);
    // Nothing chosen yet counts as a path that is not correct.
    const QString found = chosen.isEmpty() ? QString() : find_data_file(core.data_path);
    if (found.toUpper() != QLatin1String("ZQDATA.MDB")) {
        ui::MsgBox(QStringLiteral("That path is not correct. Please select the drive and directory where "
                                  "zqdata.mdb is located."),
                   ui::vbOKOnly);
        return;
    }
    if (!data_folder_name_usable(core.data_path, found)) {
        ui::MsgBox(
            QStringLiteral("The folder ") + core.data_path +
                QStringLiteral(" cannot be used as the data folder: its name holds characters that Weyvane "
                               "cannot store for it. Please rename the folder or select another one."),
            ui::vbOKOnly);
        return;
    }
    if (!write_cfg(core.data_path)) {
        ui::MsgBox(QStringLiteral("Could not write ") + cfg_path() +
                       QStringLiteral("; the chosen folder was not stored."),
                   ui::vbOKOnly);
        return;
    }
    Unload();
}

void getdatapath::Command2_Click() {
    if (ui::MsgBox(QStringLiteral("Cancel changes and exit. Are you sure?"), ui::vbYesNo,
                   QStringLiteral("Cancel Changes")) == ui::vbNo)
        return;
    Unload();
}
