// SPDX-License-Identifier: MIT
#include "pixels.h"
#include "snappybutton.h"
#include "ticker.h"

#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

namespace {
void runFor(
    Ticker &ticker, double seconds, const std::function<void()> &sample = [] {})
{
    for (double t = 0.0; t < seconds; t += 0.002) {
        ticker.advance(0.002);
        sample();
    }
}

// A label that fills the whole button, so what the press does is visible.
void solidLabel(QPainter &painter, const QRectF &frame)
{
    painter.fillRect(frame, Qt::black);
}
} // namespace

class TestSnappyButton final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_ticker = std::make_unique<Ticker>();
        m_window = std::make_unique<QWidget>();
        auto *layout = new QHBoxLayout(m_window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        m_button = new SnappyButton(m_window.get(), m_ticker.get());
        m_button->setLabelSize(QSize(40, 20));
        m_button->setLabelPainter(solidLabel);
        m_neighbour = new SnappyButton(m_window.get(), m_ticker.get());
        m_neighbour->setLabelSize(QSize(40, 20));
        layout->addWidget(m_button);
        layout->addWidget(m_neighbour);
        layout->addStretch();
        m_window->resize(200, 20);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_window.reset();
        m_ticker.reset();
    }

    void pressShrinksAndFadesOnlyTheDrawnLabelUntilReleased()
    {
        const QImage atRest = m_button->grab().toImage();
        QCOMPARE(coverage(atRest), QRect(0, 0, 40, 20));
        QCOMPARE(qAlpha(atRest.pixel(20, 10)), 255);
        const QSize hint = m_button->sizeHint();
        const QRect button = m_button->geometry();
        const QRect neighbour = m_neighbour->geometry();
        bool moved = false;
        const auto watch = [&] {
            QCoreApplication::processEvents();
            moved = moved || m_button->sizeHint() != hint || m_button->geometry() != button ||
                    m_neighbour->geometry() != neighbour;
        };

        QTest::mousePress(m_button, Qt::LeftButton);
        runFor(*m_ticker, 2.0, watch);
        const QImage pressed = m_button->grab().toImage();
        // 0.9 of 40 x 20 about the centre: 36 x 18 from (2, 1).
        QCOMPARE(coverage(pressed, 128), QRect(2, 1, 36, 18));
        QVERIFY(qAbs(qAlpha(pressed.pixel(20, 10)) - 191) <= 1);

        QTest::mouseRelease(m_button, Qt::LeftButton);
        runFor(*m_ticker, 1.0, watch);
        QCOMPARE(m_button->grab().toImage(), atRest);
        QCOMPARE(m_neighbour->labelScale(), 1.0);
        QVERIFY(!moved);
    }

    void keyboardActivates_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("space") << int(Qt::Key_Space);
        QTest::newRow("return") << int(Qt::Key_Return);
        QTest::newRow("keypad enter") << int(Qt::Key_Enter);
    }

    void keyboardActivates()
    {
        QFETCH(int, key);
        QVERIFY(m_button->focusPolicy() & Qt::TabFocus);
        m_button->setFocus();
        QSignalSpy clicked(m_button, &QAbstractButton::clicked);
        QSignalSpy pressed(m_button, &QAbstractButton::pressed);
        QTest::keyClick(m_button, Qt::Key(key));
        QTRY_COMPARE(clicked.count(), 1);
        QCOMPARE(pressed.count(), 1);
    }

private:
    std::unique_ptr<Ticker> m_ticker;
    std::unique_ptr<QWidget> m_window;
    SnappyButton *m_button = nullptr;
    SnappyButton *m_neighbour = nullptr;
};

QTEST_MAIN(TestSnappyButton)
#include "tst_snappybutton.moc"
