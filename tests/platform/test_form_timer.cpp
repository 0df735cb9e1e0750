// Form timers: Enabled, Interval, interval 0 stopping without changing Enabled, arrays.
#include <QtTest>

#include "platform/ui/form_timer.h"
#include "tests/support/test_main.h"

class TestFormTimer : public QObject {
    Q_OBJECT
private slots:
    void interval_zero_stops_but_keeps_enabled() {
        ui::FormTimer t;
        int ticks = 0;
        connect(&t, &ui::FormTimer::Timer, [&] { ++ticks; });
        t.setInterval(10);
        QVERIFY(t.running());
        QTRY_VERIFY(ticks > 0);
        t.setInterval(0);
        QVERIFY(t.Enabled());
        QVERIFY(!t.running());
        const int seen = ticks;
        QTest::qWait(40);
        QCOMPARE(ticks, seen);
        t.setInterval(10);
        QVERIFY(t.running());
    }

    void disabled_timer_never_fires() {
        ui::FormTimer t;
        int ticks = 0;
        connect(&t, &ui::FormTimer::Timer, [&] { ++ticks; });
        t.setEnabled(false);
        t.setInterval(5);
        QVERIFY(!t.running());
        QTest::qWait(30);
        QCOMPARE(ticks, 0);
        t.setEnabled(true);
        QVERIFY(t.running());
        QTRY_VERIFY(ticks > 0);
    }

    void array_elements_report_their_index() {
        std::vector<std::unique_ptr<ui::FormTimer>> timers;
        QList<int> fired;
        for (int i = 0; i < 10; ++i) {
            timers.push_back(std::make_unique<ui::FormTimer>(nullptr, i));
            connect(timers.back().get(), &ui::FormTimer::Timer, [&](int index) { fired << index; });
        }
        timers[9]->fire();
        timers[0]->fire();
        QCOMPARE(fired, (QList<int>{9, 0}));
    }

    void negative_interval_is_zero() {
        ui::FormTimer t;
        t.setInterval(-5);
        QCOMPARE(t.Interval(), 0);
        QVERIFY(!t.running());
    }
};

WEYVANE_TEST_MAIN(TestFormTimer)
#include "test_form_timer.moc"
