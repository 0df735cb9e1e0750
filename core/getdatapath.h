#pragma once
// The data-folder chooser "Data File Path": a drive list, a folder list and the chosen folder;
// "Okay" stores a folder that holds zqdata.mdb in cfg.txt and data_path.
#include <QListWidget>

#include "platform/ui/form.h"

class QComboBox;
class QLabel;
class QPushButton;

// A folder list: the folders from the drive's root down to the current folder, then the
// folders inside it. Double-click (or Enter) on an entry opens it.
class DirListBox : public QListWidget {
    Q_OBJECT
public:
    explicit DirListBox(QWidget* parent = nullptr);
    QString Path() const { return path_; }
    // Changes the current folder; emits changed() when it differs from the old one.
    void setPath(const QString& path);
    // Sets the folder without the change event (the list's design state).
    void resetPath(const QString& path);
    // The entry that opens `path`, or -1.
    int indexOfPath(const QString& path) const;

signals:
    void changed();

private:
    void refill();
    QString path_;
};

class getdatapath : public ui::Form {
    Q_OBJECT
public:
    explicit getdatapath(QWidget* owner = nullptr);

    QLabel* Label2 = nullptr;
    QComboBox* Drive1 = nullptr;
    DirListBox* Dir1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr; // "Okay"
    QPushButton* Command2 = nullptr; // "Cancel"

    // The drive that Drive1 shows selected (its mount point).
    QString Drive() const;
    // Selects a drive by its mount point as a user would, running Drive1_Change.
    bool selectDrive(const QString& root);

    void Drive1_Change();
    void Dir1_Change();
    void Command1_Click();
    void Command2_Click();

protected:
    void build() override;

private:
    void fill_drives(const QString& select_root);
    bool built_ = false;
    bool filling_ = false;
    int drive_index_ = -1;
};
