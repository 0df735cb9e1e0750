// The word splitters and the shared word list.
#include <QtTest>

#include "app/module_state.h"
#include "core/core_state.h"
#include "core/text_split.h"
#include "tests/support/test_main.h"

class TestTextSplit : public QObject {
    Q_OBJECT

    static QStringList stored() {
        QStringList out;
        for (int i = 0; i < core.word_count; ++i)
            out << core.word[i];
        return out;
    }

private slots:
    void init() { reset_module_state(); }

    void words_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("trimmed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("runs of blanks") << "  12   kg  G "
                                        << "12   kg  G" << QStringList{"12", "kg", "G"};
        QTest::newRow("blanks only") << "     "
                                     << "" << QStringList{};
        QTest::newRow("empty") << ""
                               << "" << QStringList{};
        QTest::newRow("one word") << "1234.5"
                                  << "1234.5" << QStringList{"1234.5"};
        QTest::newRow("one character") << "x"
                                       << "x" << QStringList{"x"};
        QTest::newRow("tabs stay inside words") << "a\tb c"
                                                << "a\tb c" << QStringList{"a\tb", "c"};
        QTest::newRow("leading tab is no blank") << "\ta b"
                                                 << "\ta b" << QStringList{"\ta", "b"};
    }
    void words() {
        QFETCH(QString, line);
        QFETCH(QString, trimmed);
        QFETCH(QStringList, expected);
        parse_words(line);
        QCOMPARE(line, trimmed);
        QCOMPARE(stored(), expected);
    }

    void tab_fields_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("empty field between tabs") << "a\t\tb" << QStringList{"a", "", "b"};
        QTest::newRow("blanks after tab skipped") << "a\t  b c" << QStringList{"a", "b c"};
        QTest::newRow("leading tab") << "\ta" << QStringList{"", "a"};
        QTest::newRow("trailing tab adds nothing") << "a\t" << QStringList{"a"};
        QTest::newRow("two trailing tabs") << "a\t\t" << QStringList{"a", ""};
        QTest::newRow("fields trimmed") << " J \t 10 kg \t x " << QStringList{"J", "10 kg", "x"};
        QTest::newRow("no tab") << "abc def" << QStringList{"abc def"};
    }
    void tab_fields() {
        QFETCH(QString, line);
        QFETCH(QStringList, expected);
        parse_tab_fields(line);
        QCOMPARE(stored(), expected);
    }

    // Entries 50 and up survive a shorter split; 0 to 49 are cleared.
    void older_words_above_fifty_survive() {
        QStringList sixty;
        for (int i = 0; i < 60; ++i)
            sixty << QString("w%1").arg(i);
        QString line = sixty.join(' ');
        parse_words(line);
        QCOMPARE(core.word_count, int16_t(60));
        QString two = "x y";
        parse_words(two);
        QCOMPARE(core.word_count, int16_t(2));
        for (int i = 2; i < 50; ++i)
            QVERIFY(core.word[i].isEmpty());
        for (int i = 50; i < 60; ++i)
            QCOMPARE(core.word[i], QString("w%1").arg(i));
    }

    // A line with more words than the list holds keeps the first 101 and writes nothing beyond.
    void overlong_line_keeps_first_101() {
        QStringList many;
        for (int i = 0; i < 250; ++i)
            many << QString::number(i);
        QString line = many.join(' ');
        parse_words(line);
        QCOMPARE(core.word_count, int16_t(101));
        QCOMPARE(core.word[100], QString("100"));
        QString tabs = many.join('\t');
        parse_tab_fields(tabs);
        QCOMPARE(core.word_count, int16_t(101));
        QCOMPARE(core.word[0], QString("0"));
        QCOMPARE(core.word[100], QString("100"));
    }
};

WEYVANE_TEST_MAIN(TestTextSplit)
#include "test_text_split.moc"
