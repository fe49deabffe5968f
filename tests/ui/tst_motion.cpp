// SPDX-License-Identifier: MIT
#include "animatedvalue.h"
#include "ticker.h"

#include <QTest>

#include <cmath>
#include <functional>

namespace {

void run(Ticker &ticker, double seconds, const std::function<void()> &sample = {})
{
    for (int i = 0; i < std::lround(seconds * 1000); ++i) {
        ticker.advance(0.001);
        if (sample)
            sample();
    }
}

} // namespace

class TestMotion final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A critically damped spring gets there, never past, and stops the ticker.
    void criticalSpringSettlesWithoutOvershoot()
    {
        Ticker ticker;
        AnimatedValue value(2.0, nullptr, &ticker);
        value.animateTo(5.0, Animation::spring(0.5, 1.0));
        run(ticker, 0.1);
        QVERIFY(value.value() > 2.1 && value.value() < 4.9);
        double peak = 0.0;
        run(ticker, 3.0, [&] { peak = std::max(peak, value.value()); });
        QVERIFY2(peak <= 5.0, qPrintable(QString::number(peak)));
        QVERIFY(!value.isAnimating() && !ticker.isRunning());
        QCOMPARE(value.value(), 5.0);
    }

    // A new target takes over the value and velocity as they are; only a
    // spring interrupted is blended into the next, not a timed motion.
    void retargetContinuesFromTheCurrentValueAndVelocity()
    {
        Ticker ticker;
        AnimatedValue blended(0.0, nullptr, &ticker);
        AnimatedValue plain(0.0, nullptr, &ticker);
        for (AnimatedValue *value : {&blended, &plain})
            value->animateTo(1.0, Animation::easeInOut(0.4));
        run(ticker, 0.12);
        const double x0 = blended.value();
        const double v0 = blended.velocity();
        QVERIFY(v0 > 0.5);
        blended.animateTo(-1.0, Animation::spring(0.25, 0.5, 0.25));
        plain.animateTo(-1.0, Animation::spring(0.25, 0.5));
        QCOMPARE(blended.value(), x0);
        QCOMPARE(blended.velocity(), v0);
        double gap = 0.0;
        run(ticker, 0.6, [&] { gap = std::max(gap, std::abs(blended.value() - plain.value())); });
        QCOMPARE(gap, 0.0);
        run(ticker, 3.0);
        QCOMPARE(blended.value(), -1.0);
    }

    // At every 1.1 s, the quarter points of a 4.4 s cycle.
    void repeatForeverSwingsWithItsPeriod()
    {
        Ticker ticker;
        AnimatedValue value(1.0, nullptr, &ticker);
        value.animateTo(1.05, Animation::easeInOut(2.2).repeatForever(true));
        const double cycle[] = {1.025, 1.05, 1.025, 1.0};
        for (int i = 0; i < 12; ++i) {
            run(ticker, 1.1);
            QVERIFY2(std::abs(value.value() - cycle[i % 4]) < 1e-6, qPrintable(QString::number(i)));
        }
        QVERIFY(value.isAnimating() && ticker.isRunning());
    }

    // Hiding mid-flight: a finite motion ends where it was going, an endless
    // one waits where it is until the panel shows again.
    void hiddenPanelNeverTicks()
    {
        Ticker ticker;
        AnimatedValue press(1.0, nullptr, &ticker);
        AnimatedValue breathe(1.0, nullptr, &ticker);
        breathe.animateTo(1.05, Animation::easeInOut(2.2).repeatForever(true));
        press.animateTo(0.9, Animation::spring(0.5, 1.0));
        QVERIFY(ticker.isRunning());
        ticker.setPanelVisible(false);
        QVERIFY(!ticker.isRunning());
        QCOMPARE(press.value(), 0.9);
        QVERIFY(!press.isAnimating());
        const double paused = breathe.value();
        QTest::qWait(50);
        QCOMPARE(breathe.value(), paused);

        press.animateTo(1.0, Animation::spring(0.5, 1.0));
        QVERIFY(!ticker.isRunning());
        QCOMPARE(press.value(), 1.0);
        ticker.setPanelVisible(true);
        QVERIFY(ticker.isRunning());
        QTRY_VERIFY(breathe.value() != paused);
    }
};

QTEST_MAIN(TestMotion)
#include "tst_motion.moc"
