// SPDX-License-Identifier: MIT
#include "dispatchgroup.h"

#include <QCoreApplication>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <vector>

class TestDispatchGroup final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void idleGroupNotifiesSoonAndAnUnmatchedLeaveNeverEarly()
    {
        DispatchGroup group;
        bool ran = false;
        group.notify([&] { ran = true; });
        QVERIFY(!ran);
        QTRY_VERIFY(ran);

        QTest::ignoreMessage(QtWarningMsg, "DispatchGroup::leave() without a matching enter()");
        group.leave();
        group.enter();
        ran = false;
        group.notify([&] { ran = true; });
        QCoreApplication::sendPostedEvents();
        QVERIFY(!ran);
        group.leave();
        QVERIFY(!ran); // queued, not run inside leave()
        QTRY_VERIFY(ran);
    }

    void leavesFromManyThreadsNotifyOnceOnTheMainThreadAfterTheLast()
    {
        constexpr int kWorkers = 16;
        DispatchGroup group;
        std::atomic_int finished{0};
        int calls = 0;
        int finishedAtNotify = -1;
        bool onMain = false;
        std::vector<QThread *> threads;
        for (int i = 0; i < kWorkers; ++i) {
            group.enter(); // before the work starts, as a drop does
            threads.push_back(QThread::create([group, &finished]() mutable {
                QThread::usleep(200);
                ++finished;
                group.leave();
            }));
        }
        group.notify([&] {
            ++calls;
            finishedAtNotify = finished.load();
            onMain = QThread::currentThread() == qApp->thread();
        });
        for (QThread *t : threads) {
            t->start();
        }
        for (QThread *t : threads) {
            QVERIFY(t->wait(10'000));
            delete t;
        }
        QTRY_COMPARE(calls, 1);
        QCOMPARE(finishedAtNotify, kWorkers);
        QVERIFY(onMain);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(calls, 1);
    }
};

QTEST_GUILESS_MAIN(TestDispatchGroup)
#include "tst_dispatchgroup.moc"
