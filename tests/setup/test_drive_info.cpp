// The drive-information class over a fake volume table, its size texts, and the SD-card rule.
#include <QDir>
#include <QtTest>

#include "app/module_state.h"
#include "platform/volumes/volumes.h"
#include "setup/CDriveInfo.h"
#include "tests/support/test_main.h"

using volumes::Volume;

namespace {

Volume drive(const QString& root, qint64 total, int type = volumes::DRIVE_REMOVABLE,
             const QString& fs = "FAT", bool present = true) {
    Volume v{root, "CARD", "vfat", total};
    v.drive_type = type;
    v.present = present;
    v.label = "CARD";
    v.serial = 0xA1B2C3D4;
    v.fs_name = fs;
    v.bytes_free = total / 2;
    v.bytes_available = total / 4;
    v.max_component_length = 255;
    return v;
}

} // namespace

class TestDriveInfo : public QObject {
    Q_OBJECT

private slots:
    void init() {
        reset_module_state();
        volumes::set_fake_table({drive("/", 0, volumes::DRIVE_FIXED, "ext4"), drive("/media/card", 31227904),
                                 drive("/media/reader", 0, volumes::DRIVE_REMOVABLE, "", false),
                                 drive("/media/cd", 0, volumes::DRIVE_CDROM, "", false)});
    }
    void cleanup() { reset_module_state(); }

    void format_size_data() {
        QTest::addColumn<quint64>("size");
        QTest::addColumn<bool>("long_display");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << quint64(0) << true << "0 bytes";
        QTest::newRow("1") << quint64(1) << true << "1 byte";
        QTest::newRow("1023") << quint64(1023) << true << "1,023 bytes";
        QTest::newRow("1024") << quint64(1024) << true << "1.00 KB (1,024 bytes)";
        QTest::newRow("card") << quint64(31227904) << true << "29.8 MB (31,227,904 bytes)";
        QTest::newRow("10 KB") << quint64(10240) << false << "10.0 KB";
        QTest::newRow("100 KB") << quint64(102400) << false << "100 KB";
        QTest::newRow("1 TB") << quint64(1099511627776ULL) << false << "1.00 TB";
        QTest::newRow("rounds to 100 MB") << quint64(104857590) << false << "100 MB";
        QTest::newRow("rounds to 10 MB") << quint64(10485750) << false << "10.0 MB";
        QTest::newRow("past 32 bits") << quint64(5368709120ULL) << true << "5.00 GB (5,368,709,120 bytes)";
        QTest::newRow("largest") << quint64(~0ULL) << false << "16777216 TB";
    }
    void format_size() {
        QFETCH(quint64, size);
        QFETCH(bool, long_display);
        QFETCH(QString, text);
        QCOMPARE(CDriveInfo::FormatSize(size, long_display), text);
    }

    void drive_roots_data() {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("root");
        QTest::newRow("mount point") << "/media/card"
                                     << "/media/card/";
        QTest::newRow("with separator") << "/media/card/"
                                        << "/media/card/";
        QTest::newRow("root folder") << "/"
                                     << "/";
    }
    void drive_roots() {
        QFETCH(QString, given);
        QFETCH(QString, root);
        CDriveInfo d;
        d.setDrive(given);
        QCOMPARE(d.Drive(), root);
    }

    void describes_a_present_drive() {
        CDriveInfo d;
        QCOMPARE(d.Drive(), QString("/")); // the current directory's volume in the fake table
        d.setDrive("/media/card");
        QVERIFY(d.Present());
        QCOMPARE(d.TotalSpace(), quint64(31227904));
        QCOMPARE(d.FreeSpace(), quint64(31227904 / 2));
        QCOMPARE(d.AvailableSpace(), quint64(31227904 / 4));
        QCOMPARE(d.DriveTypeEx(), QString("Removable"));
        QCOMPARE(d.FileSystem(), QString("FAT"));
        QCOMPARE(d.Label(), QString("CARD"));
        QCOMPARE(d.SerialNumberEx(), QString("A1B2-C3D4"));
        QCOMPARE(d.SerialNumber(), QString::number(qint32(0xA1B2C3D4)));
        QVERIFY(d.SerialNumber().startsWith('-'));
        QVERIFY(d.FileSystemFlag(0));
        QVERIFY(!d.FileSystemFlag(volumes::FILE_VOLUME_IS_COMPRESSED));
        QVERIFY(looks_like_sd_card(d));

        // Relabelling goes through the table and is read back; removing passes no label.
        d.setLabel("SCALE1");
        QCOMPARE(d.Label(), QString("SCALE1"));
        d.setLabel("");
        QCOMPARE(d.Label(), QString());
    }

    void drive_without_media_data() {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("type");
        QTest::newRow("card reader") << "/media/reader"
                                     << "Removable";
        QTest::newRow("cd drive") << "/media/cd"
                                  << "CD-ROM";
        QTest::newRow("no such root") << "/media/none"
                                      << "No Root Directory";
    }
    void drive_without_media() {
        QFETCH(QString, root);
        QFETCH(QString, type);
        CDriveInfo d;
        d.setDrive(root);
        QVERIFY(!d.Present());
        QCOMPARE(d.TotalSpace(), quint64(0));
        QCOMPARE(d.FreeSpace(), quint64(0));
        QCOMPARE(d.AvailableSpace(), quint64(0));
        QCOMPARE(d.DriveTypeEx(), type);
    }

    void serial_texts_data() {
        QTest::addColumn<quint32>("serial");
        QTest::addColumn<QString>("ex");
        QTest::newRow("none") << 0u << "";
        QTest::newRow("small") << 1234u << "0000-04D2";
        QTest::newRow("mixed") << 0x1234ABCDu << "1234-ABCD";
    }
    void serial_texts() {
        QFETCH(quint32, serial);
        QFETCH(QString, ex);
        Volume v = drive("/media/card", 31227904);
        v.serial = serial;
        volumes::set_fake_table({v});
        CDriveInfo d;
        d.setDrive("/media/card");
        QCOMPARE(d.SerialNumberEx(), ex);
    }

    // Without the 64-bit space function the cluster counts are used; a large volume keeps its size.
    void cluster_space_query_does_not_wrap() {
        volumes::set_missing_function("GetDiskFreeSpaceExA");
        volumes::set_fake_table({drive("/media/big", 5368709120LL, volumes::DRIVE_FIXED, "NTFS")});
        CDriveInfo d;
        d.setDrive("/media/big");
        QVERIFY(d.Present());
        QCOMPARE(d.TotalSpace(), quint64(5368709120ULL));
        QCOMPARE(d.FreeSpace(), d.AvailableSpace());
    }

    void sd_card_rule_data() {
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("fs");
        QTest::addColumn<bool>("taken");
        QTest::newRow("32 MB FAT card") << qint64(31227904) << int(volumes::DRIVE_REMOVABLE) << "FAT" << true;
        QTest::newRow("lower bound") << qint64(28500000) << int(volumes::DRIVE_REMOVABLE) << "FAT" << false;
        QTest::newRow("just above lower")
            << qint64(28500001) << int(volumes::DRIVE_REMOVABLE) << "FAT" << true;
        QTest::newRow("upper bound") << qint64(33000000) << int(volumes::DRIVE_REMOVABLE) << "FAT" << false;
        QTest::newRow("FAT32") << qint64(31227904) << int(volumes::DRIVE_REMOVABLE) << "FAT32" << false;
        QTest::newRow("lower-case fat")
            << qint64(31227904) << int(volumes::DRIVE_REMOVABLE) << "fat" << false;
        QTest::newRow("fixed disk") << qint64(31227904) << int(volumes::DRIVE_FIXED) << "FAT" << false;
    }
    void sd_card_rule() {
        QFETCH(qint64, total);
        QFETCH(int, type);
        QFETCH(QString, fs);
        QFETCH(bool, taken);
        volumes::set_fake_table({drive("/media/card", total, type, fs)});
        CDriveInfo d;
        d.setDrive("/media/card");
        QCOMPARE(looks_like_sd_card(d), taken);
    }
};

WEYVANE_TEST_MAIN(TestDriveInfo)
#include "test_drive_info.moc"
