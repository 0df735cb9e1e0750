// The Setup dialog: what each change stores in syscfg, the enabled controls per communication
// type, the scale-record editor, the time zone and the SD-card drive search, and SD_Setting.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>
#include <QtTest>
#include <optional>

#include "app/frmMain.h"
#include "app/module_state.h"
#include "core/core_state.h"
#include "platform/db/adodb.h"
#include "platform/timezone/timezone.h"
#include "platform/ui/message_box.h"
#include "platform/volumes/volumes.h"
#include "setup/SD_Setting.h"
#include "setup/Setup.h"
#include "setup/setup_state.h"
#include "tests/support/full_disk.h"
#include "tests/support/permissions.h"
#include "tests/support/temp_database.h"
#include "tests/support/test_main.h"

using volumes::Volume;

namespace {

Volume card(const QString& root, qint64 total, const QString& fs = "FAT") {
    Volume v{root, "CARD", "vfat", total};
    v.drive_type = volumes::DRIVE_REMOVABLE;
    v.label = "CARD";
    v.fs_name = fs;
    return v;
}

const QString kNoRecords =
    "There were no scale configuration records. A new one has been created for Network ID#130.";

} // namespace

class TestSetupDialog : public QObject {
    Q_OBJECT

    ui::UiRecorder rec;
    std::unique_ptr<testsupport::TempDatabase> db;

    QString field(const QString& f) const { return db->scalar("SELECT " + f + " FROM syscfg").toString(); }
    int scales() const { return db->scalar("SELECT count(*) FROM ScaleCFG").toInt(); }
    void add_scale(int netid, const QString& type = "RS485") {
        QCOMPARE(
            db->exec(QString("INSERT INTO ScaleCFG (sctype, NetID, Description, Active) VALUES ('%1', %2, "
                             "'S%2', 1)")
                         .arg(type)
                         .arg(netid)),
            QString());
    }

private slots:
    void init() {
        reset_module_state();
        rec = ui::UiRecorder();
        ui::set_backend(&rec);
        volumes::set_fake_table({{"/", "root", "ext4", 0}});
        qputenv("TZ", "America/Chicago");
        tzinfo::set_now(QDateTime(QDate(2024, 1, 15), QTime(12, 0), Qt::UTC));
        db = std::make_unique<testsupport::TempDatabase>();
        QVERIFY(db->ok());
        core.conn_str = db->conn_str;
    }
    void cleanup() {
        setup_form().Unload();
        sd_setting_form().Unload();
        reset_module_state();
        qunsetenv("TZ");
    }

    void load_and_save_settings() {
        add_scale(130);
        QCOMPARE(
            db->exec("UPDATE syscfg SET commtype='RS232', commport='1', netpolltime=NULL, netdeltime='', "
                     "usbreset='3', rfnet=1, smallfonts=0, datacolenbstart=1, rfnetid=4"),
            QString());
        Setup& s = setup_form();
        s.open();
        QVERIFY(rec.boxes.isEmpty());
        QVERIFY(s.opt_rs232->isChecked() && s.opt_com1->isChecked());
        QCOMPARE(s.cmbRfNetID->currentText(), QString("4"));
        QVERIFY(s.chk_RFnet->isChecked() && s.chk_enbcol->isChecked() && !s.chk_smallfonts->isChecked());
        // The load stores the row back with the defaults of the empty times.
        QCOMPARE(s.txt_netpolltime->text(), QString(".33"));
        QCOMPARE(field("netpolltime"), QString(".33"));
        QCOMPARE(field("netdeltime"), QString(".01"));

        // Every change is stored at once; Cancel keeps it.
        s.opt_com2->click();
        QCOMPARE(field("commport"), QString("2"));
        s.chk_smallfonts->click();
        QCOMPARE(field("smallfonts"), QString("1"));
        s.cmbRfNetID->setCurrentIndex(6);
        QCOMPARE(field("rfnetid"), QString("6"));
        s.txt_usberr->clear();
        QTest::keyClicks(s.txt_usberr, "7");
        QCOMPARE(field("usbreset"), QString("7"));
        QTest::keyClicks(s.txt_usberr, "5");
        QCOMPARE(field("usbreset"), QString("75"));
        s.opt_usb485->click();
        QCOMPARE(field("commtype"), QString("USB485"));
        s.Cancel_Click();
        QVERIFY(!s.Loaded());
        QCOMPARE(field("commtype"), QString("USB485"));
        QCOMPARE(core.comm_type, QString("USB485")); // the unload reads the row again
        QCOMPARE(field("tagblz"), db->scalar("SELECT tagblz FROM syscfg").toString());
    }

    void controls_by_comm_type_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("port");
        QTest::addColumn<bool>("network");
        QTest::newRow("RS232") << "RS232" << true << false;
        QTest::newRow("USB485") << "USB485" << false << true;
        QTest::newRow("Ethernet") << "Ethernet" << false << false;
        QTest::newRow("RS485 selects nothing") << "RS485" << true << true;
    }
    void controls_by_comm_type() {
        QFETCH(QString, type);
        add_scale(130);
        add_scale(131, "RS232");
        QCOMPARE(db->exec("UPDATE syscfg SET commtype='" + type + "'"), QString());
        Setup& s = setup_form();
        s.open();
        QTEST(s.opt_com1->isEnabled(), "port");
        QTEST(s.frm_commport->isEnabled(), "port");
        QTEST(s.cmbRfNetID->isEnabled(), "network");
        QTEST(s.Command2->isEnabled(), "network");
        QTEST(s.Frame2->isEnabled(), "network");
        QVERIFY(s.txt_netpolltime->isEnabled() && s.chk_smallfonts->isEnabled());
        QCOMPARE(s.opt_ethernet->isChecked(), type == "Ethernet");
        QVERIFY(s.opt_ethernet->isHidden());
        // A type the dialog does not offer stays in the row.
        QCOMPARE(field("commtype"), type);
        // The editor lists the records of the type.
        QCOMPARE(s.txtFields[4]->text(), QString(type == "RS232" ? "131" : "130"));
    }

    // A settings row that cannot be opened closes the dialog, told once; a full disk is told as
    // such, not as a database to replace.
    void missing_settings_row_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("told");
        QTest::newRow("no row") << "no row"
                                << "The configuration record is missing";
        QTest::newRow("full disk") << "full disk"
                                   << "is full. The database is not damaged: free space";
    }
    void missing_settings_row() {
        QFETCH(QString, fault);
        std::optional<testsupport::FullDisk> disk;
        if (fault == "no row") {
            QCOMPARE(db->exec("DELETE FROM syscfg"), QString());
        } else {
            disk.emplace(*db);
            if (!disk->ok()) QSKIP(disk->why());
        }
        // Opened from the shell's menu, which reads the settings again after the dialog.
        main_form().mnu_setups_Click();
        QVERIFY(!setup_form().Loaded());
        QVERIFY2(rec.boxes.size() == 1, qPrintable(rec.texts().join('|')));
        QFETCH(QString, told);
        QVERIFY2(rec.boxes[0].text.contains(told), qPrintable(rec.boxes[0].text));
        QVERIFY(!rec.boxes[0].text.contains("replaced"));
        if (!disk) QCOMPARE(scales(), 0);
    }

    // A change that cannot be stored is reported once as not saved, and the dialog shows what
    // the row holds, not what was typed.
    void failed_save_shows_stored_settings_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("another program holds the lock") << "locked";
        QTest::newRow("write-protected database") << "write-protected";
    }
    void failed_save_shows_stored_settings() {
        QFETCH(QString, fault);
        add_scale(130);
        Setup& s = setup_form();
        s.open();
        QCOMPARE(field("netpolltime"), QString(".33"));
        const int timeout = adodb::busy_timeout_ms();
        adodb::set_busy_timeout_ms(50);
        {
            testsupport::PermissionsBind bind;
            if (fault == "write-protected") QVERIFY(QFile::setPermissions(db->path(), QFile::ReadOwner));
            // Another program holds the database's write lock.
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other-writer");
            other.setDatabaseName(db->path());
            QVERIFY(other.open());
            QSqlQuery q(other);
            if (fault == "locked") QVERIFY(q.exec("BEGIN IMMEDIATE"));
            s.txt_netpolltime->setText(".5");
            s.txt_time_LostFocus();
            // The focus leaves the box again, which the failed save has set back to the row.
            s.txt_time_LostFocus();
            if (fault == "locked") QVERIFY(q.exec("ROLLBACK"));
        }
        QSqlDatabase::removeDatabase("other-writer");
        adodb::set_busy_timeout_ms(timeout);
        QVERIFY2(rec.boxes.size() == 1, qPrintable(rec.texts().join('|')));
        QVERIFY2(rec.boxes[0].text.contains("could not be saved"), qPrintable(rec.boxes[0].text));
        QCOMPARE(s.txt_netpolltime->text(), QString(".33"));
        QCOMPARE(field("netpolltime"), QString(".33"));
    }

    void default_record() {
        QCOMPARE(db->exec("UPDATE syscfg SET commtype='USB485'"), QString());
        Setup& s = setup_form();
        s.open();
        QCOMPARE(rec.texts(), QStringList{kNoRecords});
        QCOMPARE(scales(), 1);
        QCOMPARE(
            db->scalar("SELECT sctype || '|' || Description || '|' || NetID || '|' || Active FROM ScaleCFG")
                .toString(),
            QString("RS485|SCALE RS485|130|1"));
        QCOMPARE(s.txtFields[4]->text(), QString("130"));
        s.Unload();

        // With "RS232" shown and no RS232 record, reopening adds no more network records.
        QCOMPARE(db->exec("UPDATE syscfg SET commtype='RS232'"), QString());
        rec.boxes.clear();
        s.open();
        s.Unload();
        s.open();
        QVERIFY(rec.boxes.isEmpty());
        QCOMPARE(scales(), 1);
    }

    void record_editor() {
        add_scale(140);
        add_scale(130);
        QCOMPARE(db->exec("UPDATE syscfg SET commtype='USB485'"), QString());
        Setup& s = setup_form();
        s.open();
        QCOMPARE(s.txtFields[4]->text(), QString("130")); // ordered by network ID
        s.Command1_Click(1);                              // Prev on the first stays
        QCOMPARE(s.txtFields[4]->text(), QString("130"));
        s.Command1_Click(2);
        s.Command1_Click(2); // Next on the last stays
        QCOMPARE(s.txtFields[4]->text(), QString("140"));

        // An edit is stored when the focus leaves the box; a bad network ID is refused.
        s.txtFields[0]->setText("Line 2");
        s.txtFields_LostFocus();
        QCOMPARE(db->scalar("SELECT Description FROM ScaleCFG WHERE NetID=140").toString(),
                 QString("Line 2"));
        s.txtFields[4]->setText("x1");
        s.txtFields_LostFocus();
        QCOMPARE(rec.boxes.size(), 1);
        QCOMPARE(s.txtFields[4]->text(), QString("140"));

        // Add Scale: the new record is shown with its network ID still empty.
        rec.boxes.clear();
        s.Command2_Click();
        QCOMPARE(scales(), 3);
        QCOMPARE(s.txtFields[5]->text(), QString("RS485"));
        QCOMPARE(s.txtFields[0]->text(), QString("SCALE RS485"));
        QCOMPARE(s.txtFields[4]->text(), QString());
        s.txtFields[4]->setText("150");
        s.Command1_Click(3);
        QCOMPARE(db->scalar("SELECT count(*) FROM ScaleCFG WHERE NetID=150").toInt(), 1);

        // Delete Scale: No keeps the record, Yes deletes it and shows the first.
        rec.answers = {ui::vbNo};
        s.Command3_Click();
        QCOMPARE(scales(), 3);
        QCOMPARE(rec.boxes.last().caption, QString("Record Deletion Request"));
        QCOMPARE(rec.boxes.last().buttons, int(ui::vbYesNo));
        rec.answers = {ui::vbYes};
        s.Command3_Click();
        QCOMPARE(scales(), 2);
        QCOMPARE(db->scalar("SELECT count(*) FROM ScaleCFG WHERE NetID=150").toInt(), 0);
        QCOMPARE(s.txtFields[4]->text(), QString("130"));
        QCOMPARE(rec.beeps, 3);
    }

    // A type typed into a network scale takes it out of the network list only when the list is
    // read again: until then it stays where it was, and "Delete Scale" deletes the scale shown.
    void record_leaving_the_list() {
        for (int id : {130, 131, 132, 133})
            add_scale(id);
        QCOMPARE(db->exec("UPDATE syscfg SET commtype='USB485'"), QString());
        Setup& s = setup_form();
        s.open();
        auto netid_of = [&](const QString& where) {
            return db->scalar("SELECT group_concat(NetID) FROM ScaleCFG WHERE " + where).toString();
        };
        s.Command1_Click(2);
        QCOMPARE(s.txtFields[4]->text(), QString("131"));
        s.txtFields[5]->setText("RS232");
        s.txtFields_LostFocus();
        QCOMPARE(netid_of("sctype='RS232'"), QString("131"));
        rec.answers = {ui::vbYes};
        s.Command3_Click();
        QCOMPARE(netid_of("1"), QString("130,132,133"));
        QCOMPARE(s.txtFields[4]->text(), QString("130"));

        // The same edit, then a description and navigation: nothing is skipped or dropped.
        s.Command1_Click(2);
        s.txtFields[5]->setText("RS232");
        s.txtFields_LostFocus();
        s.txtFields[0]->setText("Bench");
        s.txtFields_LostFocus();
        QCOMPARE(netid_of("Description='Bench' AND sctype='RS232'"), QString("132"));
        QCOMPARE(s.datPrimaryRS->Recordset()->RecordCount(), 3);
        s.Command1_Click(2);
        QCOMPARE(s.txtFields[4]->text(), QString("133"));
        s.Command1_Click(1);
        QCOMPARE(s.txtFields[4]->text(), QString("132"));
        s.Command1_Click(3);
        QCOMPARE(s.txtFields[4]->text(), QString("133"));
        QCOMPARE(rec.texts(), QStringList{"Are you sure that you want to delete this record?"});
    }

    void time_zone_data() {
        QTest::addColumn<QByteArray>("tz");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("stored");
        QTest::newRow("central, winter")
            << QByteArray("America/Chicago") << QDate(2024, 1, 15) << "Central Standard Time"
            << "Central Standard Time";
        QTest::newRow("pacific, summer")
            << QByteArray("America/Los_Angeles") << QDate(2024, 7, 15) << "Pacific Standard Time"
            << "Pacific Standard Time";
        QTest::newRow("no daylight rule")
            << QByteArray("Asia/Tokyo") << QDate(2024, 7, 15) << "Time Zone Unknown!"
            << "";
    }
    void time_zone() {
        QFETCH(QByteArray, tz);
        QFETCH(QDate, date);
        add_scale(130);
        qputenv("TZ", tz);
        tzinfo::set_now(QDateTime(date, QTime(12, 0), Qt::UTC));
        Setup& s = setup_form();
        s.open();
        QTEST(s.txt_Default_Time_Zone->text(), "shown");
        QTEST(setup_state.default_time_zone, "stored");
    }

    void sd_drive_search() {
        add_scale(130);
        volumes::set_fake_table({{"/", "root", "ext4", 0},
                                 card("/media/a", 31227904),
                                 card("/media/b", 31227904),
                                 card("/media/c", 31227904, "FAT32"),
                                 card("/media/d", 64000000)});
        Setup& s = setup_form();
        s.open();
        QCOMPARE(setup_state.sd_drive, QString("/media/b/"));
        QCOMPARE(s.txt_Default_SD_Drive->text(), QString("/media/b/"));
        QVERIFY(rec.boxes.isEmpty());
    }

    void sd_setting_detection_and_choice() {
        volumes::set_fake_table(
            {{"/", "root", "ext4", 0}, card("/media/a", 31227904), card("/media/b", 31227904)});
        SD_Setting& d = sd_setting_form();
        d.Show();
        QCOMPARE(rec.texts(),
                 (QStringList{"Program Found Drive '/media/a/'  [Removable] as Default SD Drive",
                              "Program Found Drive '/media/b/'  [Removable] as Default SD Drive"}));
        QCOMPARE(d.Drive(), QString("/media/b/"));
        QCOMPARE(d.txt_Drive_Type->text(), QString("Removable"));
        QCOMPARE(d.txt_Tot_Space->text(), QString("29.8 MB (31,227,904 bytes)"));
        QCOMPARE(d.txt_Time_Zone->text(), QString("Central Standard Time"));
        // OK on the detected drive is no choice of the user's.
        d.cmd_OK_Click();
        QCOMPARE(setup_state.sd_drive_user_set, int16_t(0));

        rec.boxes.clear();
        d.Show();
        QVERIFY(d.selectDrive("/media/a/"));
        d.cmd_OK_Click();
        QCOMPARE(setup_state.sd_drive_user_set, int16_t(1));
        QCOMPARE(setup_state.sd_drive, QString("/media/a/"));

        // Next time no detection runs; the choice is shown. Cancel stores nothing.
        rec.boxes.clear();
        d.Show();
        QCOMPARE(rec.texts(), QStringList{"User Setted '/media/a/'as Default SD Drive"});
        QVERIFY(d.selectDrive("/"));
        d.cmd_Cancel_Click();
        QCOMPARE(setup_state.sd_drive, QString("/media/a/"));
    }

    void sd_setting_drive_without_media() {
        Volume reader = card("/media/reader", 0);
        reader.present = false;
        volumes::set_fake_table({{"/", "root", "ext4", 0}, reader});
        SD_Setting& d = sd_setting_form();
        d.Show();
        QVERIFY(d.selectDrive("/media/reader/"));
        QCOMPARE(d.txt_Vol_Label->text(), QString("[Disk Not Present]"));
        QCOMPARE(d.txt_Drive_Type->text(), QString("Removable"));
        QCOMPARE(d.txt_Tot_Space->text(), QString());
    }

    // "Drive Setup" opens the dialog modal and shows its choice when it closes.
    void drive_setup_button() {
        add_scale(130);
        volumes::set_fake_table({{"/", "root", "ext4", 0}, card("/media/a", 40000000)});
        Setup& s = setup_form();
        s.open();
        QTimer::singleShot(0, [] {
            SD_Setting& d = sd_setting_form();
            d.selectDrive("/media/a/");
            d.cmd_OK_Click();
        });
        s.cmd_Setup_Click();
        QCOMPARE(s.txt_Default_SD_Drive->text(), QString("/media/a/"));
    }
};

WEYVANE_TEST_MAIN(TestSetupDialog)
#include "test_setup_dialog.moc"
