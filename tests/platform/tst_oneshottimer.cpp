// SPDX-License-Identifier: MIT
#include "oneshottimer.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

class TestOneShotTimer final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firesOnceAfterItsInterval()
    {
        int calls = 0;
        QElapsedTimer clock;
        clock.start();
        qint64 firedAfter = -1;
        OneShotTimer timer(50ms, [&] {
            ++calls;
            firedAfter = clock.elapsed();
        });
        QVERIFY(timer.isValid());
        QTRY_COMPARE(calls, 1);
        QVERIFY(firedAfter >= 50);
        QVERIFY(!timer.isValid());
        timer.invalidate(); // too late: changes nothing
        QTest::qWait(120);
        QCOMPARE(calls, 1);
    }

    void invalidatedTimerNeverFires()
    {
        int calls = 0;
        OneShotTimer timer(20ms, [&] { ++calls; });
        timer.invalidate();
        QVERIFY(!timer.isValid());
        QTest::qWait(80);
        QCOMPARE(calls, 0);
    }

    void blockMayDestroyItsOwnTimer()
    {
        // A new banner message replaces the running timer from inside a block.
        std::unique_ptr<OneShotTimer> timer;
        bool ran = false;
        timer = std::make_unique<OneShotTimer>(1ms, [&] {
            timer.reset();
            ran = true;
        });
        QTRY_VERIFY(ran);
        QVERIFY(!timer);
    }
};

QTEST_GUILESS_MAIN(TestOneShotTimer)
#include "tst_oneshottimer.moc"
