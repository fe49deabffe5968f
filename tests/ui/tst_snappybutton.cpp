// SPDX-License-Identifier: MIT
#include "pixels.h"
#include "snappybutton.h"
#include "ticker.h"

#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>

class TestSnappyButton final : public QObject {
    Q_OBJECT

    Ticker m_ticker;
    QWidget m_window;
    SnappyButton *m_button = new SnappyButton(&m_window, &m_ticker);
    SnappyButton *m_neighbour = new SnappyButton(&m_window, &m_ticker);

private Q_SLOTS:
    void initTestCase()
    {
        auto *layout = new QHBoxLayout(&m_window);
        layout->setContentsMargins(0, 0, 0, 0);
        for (SnappyButton *button : {m_button, m_neighbour}) {
            button->setLabelSize(QSize(40, 20));
            layout->addWidget(button);
        }
        layout->addStretch();
        // A label that fills the whole button, so what the press does is visible.
        m_button->setLabelPainter(
            [](QPainter &p, const QRectF &frame) { p.fillRect(frame, Qt::black); });
        m_window.resize(200, 20);
        m_window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
    }

    void pressShrinksAndFadesOnlyTheDrawnLabelUntilReleased()
    {
        const QImage atRest = m_button->grab().toImage();
        QCOMPARE(coverage(atRest), QRect(0, 0, 40, 20));
        const QList<QRect> layout{m_button->geometry(), m_neighbour->geometry()};
        const QSize hint = m_button->sizeHint();
        bool moved = false;
        const auto runFor = [&](double seconds) {
            for (double t = 0.0; t < seconds; t += 0.002) {
                m_ticker.advance(0.002);
                QCoreApplication::processEvents();
                moved = moved || m_button->sizeHint() != hint ||
                        layout != QList<QRect>{m_button->geometry(), m_neighbour->geometry()};
            }
        };
        QTest::mousePress(m_button, Qt::LeftButton);
        runFor(2.0);
        const QImage pressed = m_button->grab().toImage();
        // 0.9 of 40 x 20 about the centre: 36 x 18 from (2, 1), at 0.75 opacity.
        QCOMPARE(coverage(pressed, 128), QRect(2, 1, 36, 18));
        QVERIFY(qAbs(qAlpha(pressed.pixel(20, 10)) - 191) <= 1);
        QTest::mouseRelease(m_button, Qt::LeftButton);
        runFor(1.0);
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
};

QTEST_MAIN(TestSnappyButton)
#include "tst_snappybutton.moc"
