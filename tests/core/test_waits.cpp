// Busy waits on the seconds clock, including the midnight rule, on the fake clock.
#include <QtTest>
#include <cmath>
#include <limits>
#include <sys/resource.h>

#include "app/module_state.h"
#include "core/waits.h"
#include "platform/clock/clock.h"
#include "tests/support/test_main.h"

class TestWaits : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { reset_module_state(); }

    void busy_wait_lasts_four_tenths() {
        wclock::use_fake(1000.0, 0.001);
        busy_wait();
        const double t = wclock::Timer();
        QVERIFY(t >= 1000.4 - 1e-3);
        QVERIFY(t < 1000.45);
    }

    // Started 0.2 s before 86398 s: waits for midnight, then 0.4 s from the first reading at or
    // below 80000 s.
    void busy_wait_across_midnight() {
        wclock::use_fake(86397.8, 0.01);
        double first_after_midnight = -1;
        wclock::set_slice_hook([&] {
            if (first_after_midnight < 0 && wclock::Timer() <= 80000.0)
                first_after_midnight = wclock::Timer();
        });
        busy_wait();
        QVERIFY(first_after_midnight >= 0);
        const double t = wclock::Timer();
        QVERIFY(t < 80000.0);
        QVERIFY(t >= first_after_midnight + 0.4 - 0.011);
        QVERIFY(t < first_after_midnight + 0.45);
    }

    void busy_wait_a_second_before_the_guard() {
        wclock::use_fake(86397.0, 0.001);
        busy_wait();
        const double t = wclock::Timer();
        QVERIFY(t >= 86397.39 && t < 86397.5);
    }

    // The wall clock is stepped while a 0.4 s pause runs: the pause lasts its length (plus the
    // time midnight was away when it began) and one slice at most, never an hour more.
    void wall_clock_steps_do_not_stretch_a_wait_data() {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("step");
        QTest::addColumn<double>("longest");
        QTest::newRow("set back an hour") << 1000.0 << -3600.0 << 0.4;
        QTest::newRow("set back past midnight") << 100.0 << -3600.0 << 0.4;
        QTest::newRow("set forward past midnight") << 86000.0 << 3600.0 << 0.4;
        QTest::newRow("set back in the midnight guard") << 86397.75 << -3600.0 << 2.25 + 0.4;
    }
    void wall_clock_steps_do_not_stretch_a_wait() {
        QFETCH(double, start);
        QFETCH(double, step);
        QFETCH(double, longest);
        const double slice = 1.0 / 128; // exact in binary, as the starts are in single precision
        wclock::use_fake(start, slice);
        bool stepped = false;
        wclock::set_slice_hook([&] {
            if (!stepped) wclock::step_wall(step);
            stepped = true;
        });
        const double begun = wclock::Monotonic();
        busy_wait();
        const double waited = wclock::Monotonic() - begun;
        QVERIFY(stepped);
        QVERIFY2(waited >= 0.4 - 1e-9 && waited <= longest + slice, qPrintable(QString::number(waited)));
    }

    // A delay that is not a number, negative or huge (a bad setting) never freezes the program.
    void bad_lengths_are_bounded_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("longest");
        QTest::newRow("nan") << std::nan("") << 0.0;
        QTest::newRow("inf") << std::numeric_limits<double>::infinity() << 0.0;
        QTest::newRow("negative") << -5.0 << 0.0;
        QTest::newRow("a day") << 90000.0 << 60.0;
    }
    void bad_lengths_are_bounded() {
        QFETCH(double, seconds);
        QFETCH(double, longest);
        wclock::use_fake(1000.0, 0.05);
        wait_seconds(seconds);
        QVERIFY(wclock::Timer() <= 1000.0 + longest + 0.1);
    }

    // The event pump runs only when asked.
    void waits_serve_events_only_when_asked() {
        wclock::use_fake(500.0, 0.01);
        int fired = 0;
        QTimer::singleShot(0, [&] { ++fired; });
        busy_wait();
        QCOMPARE(fired, 0);
        wait_seconds(0.1, true);
        QCOMPARE(fired, 1);
    }

    // On the real clock a wait sleeps in slices instead of holding the processor: the thread gives
    // the processor up (a voluntary context switch) at each slice, where a spinning wait never
    // does, however fast or busy the machine. Four in 0.2 s allow for slices of up to 50 ms.
    void real_wait_sleeps() {
        rusage before{}, after{};
        QCOMPARE(getrusage(RUSAGE_THREAD, &before), 0);
        wait_seconds(0.2);
        QCOMPARE(getrusage(RUSAGE_THREAD, &after), 0);
        const long yielded = after.ru_nvcsw - before.ru_nvcsw;
        QVERIFY2(yielded >= 4, qPrintable(QString("%1 voluntary context switches").arg(yielded)));
    }
};

WEYVANE_TEST_MAIN(TestWaits)
#include "test_waits.moc"
