// SPDX-License-Identifier: MIT
#include "animatedvalue.h"
#include "ticker.h"

#include <QTest>

#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kFrame = 1.0 / 1000.0;

// Textbook solution of u'' + 2 z w u' + w^2 u = 0 for the displacement u
// from the target, given u(0) and u'(0); w = 2 pi / response.
double closedForm(double response, double z, double u0, double v0, double t)
{
    const double w = 2.0 * kPi / response;
    if (z < 1.0) {
        const double wd = w * std::sqrt(1.0 - z * z);
        return std::exp(-z * w * t) *
               (u0 * std::cos(wd * t) + (v0 + z * w * u0) / wd * std::sin(wd * t));
    }
    if (z == 1.0)
        return (u0 + (v0 + w * u0) * t) * std::exp(-w * t);
    const double root = std::sqrt(z * z - 1.0);
    const double r1 = -w * (z - root);
    const double r2 = -w * (z + root);
    const double a = (v0 - r2 * u0) / (r1 - r2);
    return a * std::exp(r1 * t) + (u0 - a) * std::exp(r2 * t);
}

// Steps the ticker in small frames, calling `sample` after each.
template <typename F> void run(Ticker &ticker, double seconds, F sample)
{
    const int frames = static_cast<int>(std::lround(seconds / kFrame));
    for (int i = 1; i <= frames; ++i) {
        ticker.advance(kFrame);
        sample(i * kFrame);
    }
}

} // namespace

Q_DECLARE_METATYPE(Animation)

class TestMotion final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void springFollowsClosedForm_data()
    {
        QTest::addColumn<double>("response");
        QTest::addColumn<double>("damping");
        QTest::newRow("press spring, underdamped") << 0.08 << 0.5;
        QTest::newRow("settle spring, critical") << 0.5 << 1.0;
        QTest::newRow("overdamped") << 0.3 << 1.6;
        QTest::newRow("lightly damped") << 0.4 << 0.3;
    }
    void springFollowsClosedForm()
    {
        QFETCH(double, response);
        QFETCH(double, damping);
        Ticker ticker;
        AnimatedValue value(2.0, nullptr, &ticker);
        value.animateTo(5.0, Animation::spring(response, damping));
        double worst = 0.0;
        run(ticker, 3.0, [&](double t) {
            const double expected = 5.0 + closedForm(response, damping, -3.0, 0.0, t);
            worst = std::max(worst, std::abs(value.value() - expected));
        });
        QVERIFY2(worst < 1e-3, qPrintable(QString::number(worst)));
        QVERIFY(!value.isAnimating() && !ticker.isRunning());
        QCOMPARE(value.value(), 5.0);
    }

    void retargetContinuesFromTheCurrentValueAndVelocity_data()
    {
        QTest::addColumn<Animation>("first");
        QTest::addColumn<double>("response");
        QTest::addColumn<double>("damping");
        QTest::addColumn<double>("blend");
        const Animation spring = Animation::spring(0.4, 0.8);
        QTest::newRow("spring into spring") << spring << 0.25 << 0.5 << 0.0;
        QTest::newRow("spring into spring, blended") << spring << 0.25 << 0.5 << 0.25;
        // Only a spring interrupted is blended into the next.
        QTest::newRow("ease into spring") << Animation::easeInOut(0.4) << 0.2 << 1.0 << 0.25;
    }
    void retargetContinuesFromTheCurrentValueAndVelocity()
    {
        QFETCH(Animation, first);
        QFETCH(double, response);
        QFETCH(double, damping);
        QFETCH(double, blend);
        Ticker ticker;
        AnimatedValue value(0.0, nullptr, &ticker);
        value.animateTo(1.0, first);
        run(ticker, 0.12, [](double) {});
        const double x0 = value.value();
        const double v0 = value.velocity();
        QVERIFY(v0 > 0.5);
        value.animateTo(-1.0, Animation::spring(response, damping, blend));
        QCOMPARE(value.value(), x0);
        QCOMPARE(value.velocity(), v0);

        // Unblended, the new spring starts from that state; a blend carries
        // the old motion's momentum for longer, so the value rises further.
        double worst = 0.0;
        double peak = x0;
        double unblendedPeak = x0;
        run(ticker, 0.6, [&](double t) {
            const double expected = -1.0 + closedForm(response, damping, x0 + 1.0, v0, t);
            worst = std::max(worst, std::abs(value.value() - expected));
            peak = std::max(peak, value.value());
            unblendedPeak = std::max(unblendedPeak, expected);
        });
        if (first.kind() == Animation::Kind::Spring && blend > 0.0) {
            QVERIFY2(peak > unblendedPeak + 0.02, qPrintable(QString::number(peak)));
        } else {
            QVERIFY2(worst < 1e-3, qPrintable(QString::number(worst)));
        }
        run(ticker, 3.0, [](double) {});
        QCOMPARE(value.value(), -1.0);
    }

    // At every 1.1 s, the quarter points of a 4.4 s cycle.
    void repeatForeverSwingsWithItsPeriod()
    {
        Ticker ticker;
        AnimatedValue value(1.0, nullptr, &ticker);
        value.animateTo(1.05, Animation::easeInOut(2.2).repeatForever(true));
        const double cycle[] = {1.025, 1.05, 1.025, 1.0};
        for (int i = 0; i < 12; ++i) {
            run(ticker, 1.1, [](double) {});
            QVERIFY2(std::abs(value.value() - cycle[i % 4]) < 1e-6, qPrintable(QString::number(i)));
        }
        QVERIFY(value.isAnimating() && ticker.isRunning());
    }

    void slowEndlessMotionTicksOnlyForVisibleSteps()
    {
        // The breathing, with an eighth of a pixel on the 40 px radius as the
        // smallest step worth a frame: as the ticker would, wait each time
        // until the value has moved that far.
        constexpr double kResolution = 1.0 / 320;
        constexpr double kFrame = 1.0 / 60;
        Ticker ticker;
        AnimatedValue breathe(1.0, nullptr, &ticker);
        breathe.setResolution(kResolution);
        breathe.animateTo(1.05, Animation::easeInOut(2.2).repeatForever(true));
        int ticks = 0;
        double peak = 1.0;
        for (double t = 0; t < 4.4;) {
            const double before = breathe.value();
            const double wait = breathe.secondsToVisibleChange(kFrame);
            QVERIFY(wait >= kFrame);
            breathe.step(wait);
            t += wait;
            ++ticks;
            peak = std::max(peak, breathe.value());
            // Every tick shows a step, and no step is a visible jump.
            const double moved = std::abs(breathe.value() - before);
            QVERIFY2((moved >= kResolution || wait >= 0.5) && moved < 2.5 * kResolution,
                     qPrintable(QStringLiteral("%1 at %2 s").arg(moved).arg(t)));
        }
        QVERIFY(peak > 1.049);
        QVERIFY2(ticks < 60, qPrintable(QString::number(ticks))); // 264 frames at 60 Hz
    }

    void hiddenPanelNeverTicks()
    {
        Ticker ticker;
        AnimatedValue press(1.0, nullptr, &ticker);
        AnimatedValue breathe(1.0, nullptr, &ticker);
        breathe.animateTo(1.05, Animation::easeInOut(2.2).repeatForever(true));
        press.animateTo(0.9, Animation::spring(0.5, 1.0));
        QVERIFY(ticker.isRunning());

        // Hiding mid-flight: the finite motion ends where it was going, the
        // endless one waits where it is.
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
