// The import of the SD card's "KL.Dat" into datacol, and its emptying: the line layout, the
// time-zone shift, what lands in the database and what happens to the card's file.
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "app/module_state.h"
#include "core/core_state.h"
#include "links/links_state.h"
#include "platform/ui/message_box.h"
#include "platform/volumes/volumes.h"
#include "setup/Setup.h"
#include "setup/sd_import.h"
#include "setup/setup_state.h"
#include "tests/support/temp_database.h"
#include "tests/support/test_main.h"

namespace {

QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write_file(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// An address character of 130 (0x82) as the scale writes it.
const QByteArray kAddr("\x82");

} // namespace

class TestSdImport : public QObject {
    Q_OBJECT

    ui::UiRecorder rec;
    std::unique_ptr<testsupport::TempDatabase> db;
    std::unique_ptr<QTemporaryDir> card;

    QString dat() const { return card->path() + "/KL.Dat"; }
    int rows() const { return db->scalar("SELECT count(*) FROM datacol").toInt(); }

    Setup& open_setup() {
        Setup& s = setup_form();
        s.Show();
        rec.boxes.clear();
        setup_state.sd_drive = card->path() + "/";
        return s;
    }

private slots:
    void init() {
        reset_module_state();
        rec = ui::UiRecorder();
        ui::set_backend(&rec);
        volumes::set_fake_table({{"/", "root", "ext4", 0}});
        db = std::make_unique<testsupport::TempDatabase>();
        QVERIFY(db->ok());
        QCOMPARE(db->exec("DELETE FROM datacol; INSERT INTO ScaleCFG (sctype, NetID, Description, Active) "
                          "VALUES ('RS485', 130, 'SCALE RS485', 1)"),
                 QString());
        core.conn_str = db->conn_str;
        card = std::make_unique<QTemporaryDir>();
    }
    void cleanup() {
        setup_form().Unload();
        reset_module_state();
    }

    void lines_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<int>("scale");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        const QString a = QString::fromLatin1(kAddr);
        QTest::newRow("full layout") << a + "!T1 T22#3  12.50 kg%01/02/24@14:05:09"
                                     << "" << 130 << "T22"
                                     << "3"
                                     << "  12.50 kg"
                                     << "01/02/24"
                                     << "14:05:09";
        QTest::newRow("leading blanks") << "   " + a + "#1 5.0kg%01/02/24@08:00"
                                        << "" << 130 << ""
                                        << "1"
                                        << " 5.0kg"
                                        << "01/02/24"
                                        << "08:00";
        QTest::newRow("no tag, no group") << "A 1234.5 lb%3/4/2024@9:30"
                                          << "" << 65 << ""
                                          << ""
                                          << " 1234.5 lb"
                                          << "3/4/2024"
                                          << "9:30";
        QTest::newRow("pacific 14") << "A 12.5 kg%01/02/24@14:05"
                                    << "Pacific Standard Time" << 65 << ""
                                    << ""
                                    << " 12.5 kg"
                                    << "01/02/24"
                                    << "11:05";
        QTest::newRow("pacific 08") << "A 12.5 kg%01/02/24@08:05"
                                    << "Pacific Standard Time" << 65 << ""
                                    << ""
                                    << " 12.5 kg"
                                    << "01/02/24"
                                    << "5:05";
        // An hour before the shift wraps into the day before.
        QTest::newRow("pacific 01 wraps") << "A 12.5 kg%01/02/24@01:05"
                                          << "Pacific Standard Time" << 65 << ""
                                          << ""
                                          << " 12.5 kg"
                                          << "01/01/24"
                                          << "22:05";
        QTest::newRow("pacific 00 wraps") << "A 12.5 kg%01/02/24@00:05"
                                          << "Pacific Standard Time" << 65 << ""
                                          << ""
                                          << " 12.5 kg"
                                          << "01/01/24"
                                          << "21:05";
        QTest::newRow("central 00 new year") << "A 12.5 kg%1-1-2024@00:05"
                                             << "Central Standard Time" << 65 << ""
                                             << ""
                                             << " 12.5 kg"
                                             << "12-31-2023"
                                             << "23:05";
        QTest::newRow("mountain 01 leap day") << "A 12.5 kg%03/01/24@01:05"
                                              << "Mountain Standard Time" << 65 << ""
                                              << ""
                                              << " 12.5 kg"
                                              << "02/29/24"
                                              << "23:05";
        QTest::newRow("pacific 00 unreadable date") << "A 12.5 kg%day two@00:05"
                                                    << "Pacific Standard Time" << 65 << ""
                                                    << ""
                                                    << " 12.5 kg"
                                                    << "day two"
                                                    << "21:05";
        QTest::newRow("mountain") << "A 12.5 kg%01/02/24@14:05"
                                  << "Mountain Standard Time" << 65 << ""
                                  << ""
                                  << " 12.5 kg"
                                  << "01/02/24"
                                  << "12:05";
        QTest::newRow("central") << "A 12.5 kg%01/02/24@14:05"
                                 << "Central Standard Time" << 65 << ""
                                 << ""
                                 << " 12.5 kg"
                                 << "01/02/24"
                                 << "13:05";
        QTest::newRow("other zone") << "A 12.5 kg%01/02/24@08:05"
                                    << "Eastern Standard Time" << 65 << ""
                                    << ""
                                    << " 12.5 kg"
                                    << "01/02/24"
                                    << "08:05";
        QTest::newRow("bang in reading is no tag") << "A#1 12!5%01/02/24@08:05"
                                                   << "" << 65 << ""
                                                   << "1"
                                                   << " 12!5"
                                                   << "01/02/24"
                                                   << "08:05";
    }
    void lines() {
        QFETCH(QString, line);
        QFETCH(QString, zone);
        KlDatParser p(zone);
        KlDatRecord r;
        links.rx_buf[0] = "left over";
        QCOMPARE(p.parse(line, r), KlDatParser::Taken);
        QVERIFY(links.rx_buf[0].isEmpty());
        QTEST(r.ScaleID, "scale");
        QTEST(r.TagID, "tag");
        QTEST(r.Group, "group");
        QTEST(r.Reading, "reading");
        QTEST(r.Date, "date");
        QTEST(r.Time, "time");
    }

    void line_lengths_and_carry_over() {
        KlDatParser p("");
        KlDatRecord r;
        QCOMPARE(p.parse(QString(15, 'A'), r), KlDatParser::Skipped);
        QCOMPARE(p.parse(QString(70, 'A'), r), KlDatParser::Skipped);
        QCOMPARE(p.parse(QString(20, ' '), r), KlDatParser::Skipped);
        // 16 characters are taken; without "%" the first line has no reading yet.
        QCOMPARE(p.parse("A#1 5.0kg 1/2@3:", r), KlDatParser::Taken);
        QCOMPARE(r.Reading, QString());
        QCOMPARE(p.parse("B#2 7.5kg%01/02/24@10:00", r), KlDatParser::Taken);
        // A line without "%", "@" and ":" keeps the reading, date and time of the line before.
        QCOMPARE(p.parse("C#3 no separators here", r), KlDatParser::Taken);
        QCOMPARE(r.Group, QString("3"));
        QCOMPARE(r.Reading, QString(" 7.5kg"));
        QCOMPARE(r.Date, QString("01/02/24"));
        QCOMPARE(r.Time, QString("10:00"));
        QCOMPARE(p.parse("A!T1 5.0kg%01/02/24@10:00", r), KlDatParser::Malformed);
        QCOMPARE(p.parse("A!   #1 5.0kg%01/02/24@10:00", r), KlDatParser::Malformed);
    }

    void import_stores_readings_and_empties_the_file() {
        Setup& s = open_setup();
        write_file(dat(), kAddr + "!T1 T22#3  12.50 kg%01/02/24@14:05:09\r\n"
                                  "     \r\n"
                                  "A#1 99.0 kg%02/02/24@09:10\r\n");
        s.Read_Dat_File_Click();
        QCOMPARE(rec.texts(), QStringList{"Finished reading Data and Erased KL.Dat file"});
        QCOMPARE(rows(), 2);
        QCOMPARE(
            db->scalar("SELECT ScaleID || '|' || \"Group\" || '|' || Reading || '|' || \"Time\" || '|' || "
                       "\"Date\" || '|' || TagID FROM datacol ORDER BY ID LIMIT 1")
                .toString(),
            QString("130|3|  12.50 kg|14:05:09|01/02/24|T22"));
        QCOMPARE(read_all(dat()), QByteArray(" \r\n"));

        // The erased file imports nothing.
        rec.boxes.clear();
        s.Read_Dat_File_Click();
        QCOMPARE(rec.texts(), QStringList{"Finished reading Data and Erased KL.Dat file"});
        QCOMPARE(rows(), 2);
    }

    // Every line end ends a line; a line that is not stored stays on the card, alone, and a
    // second import neither stores it nor anything else twice.
    void line_ends_and_lines_left_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QByteArray>("left");
        const QByteArray a = "A#1 99.0 kg%02/02/24@09:10", b = "B#2 12.5 kg%02/02/24@09:11";
        const QByteArray long_line = "C#3 " + QByteArray(70, '7') + "%02/02/24@09:12";
        const QStringList erased{"Finished reading Data and Erased KL.Dat file"};
        QTest::newRow("CR alone") << a + "\r" + b + "\r" + a + "\r" << 3 << erased << QByteArray(" \r\n");
        QTest::newRow("LF alone, no end on the last") << a + "\n" + b << 2 << erased << QByteArray(" \r\n");
        QTest::newRow("mixed") << a + "\r\n" + b + "\r" + a + "\n  \r\n"
                               << 3 << erased << QByteArray(" \r\n");
        const auto left_lines = [](int stored, int left) {
            return QStringList{
                QString("Finished reading Data\rReadings stored: %1\rLines left in KL.Dat file, "
                        "not readings of 16 to 69 characters: %2")
                    .arg(stored)
                    .arg(left)};
        };
        QTest::newRow("one over-long line") << a + "\r\n" + long_line + "\r\n" + b + "\r\n"
                                            << 2 << left_lines(2, 1) << long_line + "\r\n";
        // Lines kept keep their own line ends; a line longer than what is read at once is kept whole.
        const QByteArray huge(200000, 'x');
        QTest::newRow("kept lines byte for byte")
            << a + "\n" + long_line + "\n" + b + "\r\n" + huge + "\r" + huge << 2 << left_lines(2, 3)
            << long_line + "\n" + huge + "\r" + huge;
        // A file in UTF-16 holds no reading's text: nothing is stored and the card keeps it as it was.
        const QString text = QString::fromLatin1(a + "\r\n" + b + "\r\n");
        const QByteArray utf16 =
            QByteArray("\xff\xfe") + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        QTest::newRow("UTF-16") << utf16 << 0 << left_lines(0, 5) << utf16;
    }
    void line_ends_and_lines_left() {
        QFETCH(QByteArray, data);
        QFETCH(int, stored);
        QFETCH(QByteArray, left);
        Setup& s = open_setup();
        write_file(dat(), data);
        s.Read_Dat_File_Click();
        QTEST(rec.texts(), "texts");
        QCOMPARE(rows(), stored);
        QCOMPARE(read_all(dat()), left);
        rec.boxes.clear();
        s.Read_Dat_File_Click();
        QCOMPARE(rows(), stored);
        QCOMPARE(read_all(dat()), left);
    }

    void import_without_erase_keeps_the_file() {
        Setup& s = open_setup();
        s.chk_erase_after_read->setChecked(false);
        const QByteArray data = "A#1 99.0 kg%02/02/24@09:10\r\n";
        write_file(dat(), data);
        s.Read_Dat_File_Click();
        QCOMPARE(rec.texts(), QStringList{"Finished reading Data"});
        QCOMPARE(rows(), 1);
        QCOMPARE(read_all(dat()), data);
    }

    // A malformed line stops the import before anything is stored, and the card keeps its file.
    void malformed_line_stores_nothing() {
        Setup& s = open_setup();
        const QByteArray data = "A#1 99.0 kg%02/02/24@09:10\r\n"
                                "B!T1 T2 12.0 kg%02/02/24@09:11\r\n";
        write_file(dat(), data);
        s.Read_Dat_File_Click();
        QCOMPARE(rec.boxes.size(), 1);
        QVERIFY(rec.boxes[0].text.startsWith("Error Reading File!\rLine 2:"));
        QCOMPARE(rows(), 0);
        QCOMPARE(read_all(dat()), data);
    }

    void failures_leave_the_card_alone_data() {
        QTest::addColumn<bool>("file_missing");
        QTest::addColumn<bool>("database_missing");
        QTest::newRow("no file") << true << false;
        QTest::newRow("no database") << false << true;
    }
    void failures_leave_the_card_alone() {
        QFETCH(bool, file_missing);
        QFETCH(bool, database_missing);
        Setup& s = open_setup();
        const QByteArray data = "A#1 99.0 kg%02/02/24@09:10\r\n";
        if (!file_missing) write_file(dat(), data);
        if (database_missing)
            core.conn_str = "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + card->path() + "\\x.mdb";
        s.Read_Dat_File_Click();
        QCOMPARE(rec.texts(), QStringList{"Error Reading File!"});
        QCOMPARE(rows(), 0);
        QCOMPARE(QFile::exists(dat()), !file_missing);
        if (!file_missing) QCOMPARE(read_all(dat()), data);
    }

    void no_sd_drive() {
        Setup& s = open_setup();
        setup_state.sd_drive.clear();
        const QString stray = QDir::current().filePath("KL.Dat");
        QVERIFY(!QFile::exists(stray));
        s.Read_Dat_File_Click();
        QVERIFY(rec.boxes.isEmpty());
        // Erasing without a card writes no file anywhere and says so.
        s.Erase_Dat_File_Click();
        QCOMPARE(rec.texts(), QStringList{"Error Erase File !\rNo SD drive is chosen."});
        QVERIFY(!QFile::exists(stray));
    }

    // Only a regular file is read or erased: a FIFO is not waited on, a link is not followed (to
    // a device read without end, or to a file elsewhere that is not the card's), and neither is
    // written to.
    void card_file_not_regular_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("why");
        const QString link = "KL.Dat is a symbolic link, not the card's own file.";
        QTest::newRow("FIFO") << "fifo"
                              << "KL.Dat is not a regular file.";
        QTest::newRow("link to /dev/zero") << "zero" << link;
        QTest::newRow("link to a text file") << "text" << link;
    }
    void card_file_not_regular() {
        QFETCH(QString, kind);
        QFETCH(QString, why);
        Setup& s = open_setup();
        const QString elsewhere = card->path() + "/elsewhere.txt";
        const QByteArray text = "A#1 99.0 kg%02/02/24@09:10\r\n";
        if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(dat()).constData(), 0600), 0);
        } else if (kind == "zero") {
            QVERIFY(QFile::link("/dev/zero", dat()));
        } else {
            write_file(elsewhere, text);
            QVERIFY(QFile::link(elsewhere, dat()));
        }
        s.Read_Dat_File_Click();
        QCOMPARE(rec.texts(), QStringList{"Error Reading File!\r" + why});
        QCOMPARE(rows(), 0);
        rec.boxes.clear();
        s.chk_erase_after_read->setChecked(false);
        s.Erase_Dat_File_Click();
        QCOMPARE(rec.texts(), QStringList{"Error Erase File !\r" + why});
        if (kind == "text") QCOMPARE(read_all(elsewhere), text);
    }

    // The lines left are written over the file that was read, and only while its name still
    // leads to it: a card taken out, or a file put in its place, is not written to. What the
    // scale appended after the import read the file is kept after the lines left.
    void rewrites_only_the_file_read_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("name leads nowhere") << "moved";
        QTest::newRow("another file under the name") << "replaced";
        QTest::newRow("file grew after it was read") << "grown";
    }
    void rewrites_only_the_file_read() {
        QFETCH(QString, change);
        const QByteArray data = "A#1 99.0 kg%02/02/24@09:10\r\n";
        const QByteArray appended = "B#2 12.5 kg%02/02/24@09:11\r\nC#3 1";
        write_file(dat(), data);
        CardFile file(dat());
        QFile in;
        QVERIFY(file.open(in, nullptr));
        QCOMPARE(in.readAll(), data);
        QBuffer rest;
        rest.setData("left\r\n");
        QVERIFY(rest.open(QIODevice::ReadOnly));
        QString why;
        if (change == "grown") {
            QFile grow(dat());
            QVERIFY(grow.open(QIODevice::Append));
            grow.write(appended);
            grow.close();
            QVERIFY(file.rewrite(rest, data.size(), &why));
            QCOMPARE(read_all(dat()), "left\r\n" + appended);
            return;
        }
        const QString moved = card->path() + "/moved.Dat";
        QVERIFY(QFile::rename(dat(), moved));
        if (change == "replaced") write_file(dat(), "other");
        QVERIFY(!file.rewrite(rest, data.size(), &why));
        QVERIFY(why.contains("no longer the file that was read"));
        QCOMPARE(read_all(moved), data);
        QCOMPARE(QFile::exists(dat()), change == "replaced");
        if (change == "replaced") QCOMPARE(read_all(dat()), QByteArray("other"));
        // Under its own name the file read is rewritten in place.
        QVERIFY(QFile::remove(dat()) || change != "replaced");
        QVERIFY(QFile::rename(moved, dat()));
        QVERIFY(rest.seek(0));
        QVERIFY(file.rewrite(rest, data.size(), &why));
        QCOMPARE(read_all(dat()), QByteArray("left\r\n"));
    }

    void erase_messages_data() {
        QTest::addColumn<bool>("erase_after_read");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("erase after read set") << true << QStringList();
        QTest::newRow("erase after read clear") << false << QStringList{"Finished Erase Data"};
    }
    void erase_messages() {
        QFETCH(bool, erase_after_read);
        Setup& s = open_setup();
        s.chk_erase_after_read->setChecked(erase_after_read);
        write_file(dat(), "A#1 99.0 kg%02/02/24@09:10\r\n");
        s.Erase_Dat_File_Click();
        QTEST(rec.texts(), "texts");
        QCOMPARE(read_all(dat()), QByteArray(" \r\n"));
    }
};

WEYVANE_TEST_MAIN(TestSdImport)
#include "test_sd_import.moc"
