// SPDX-License-Identifier: MIT
#include "backgroundpool.h"
#include "mainqueue.h"
#include "oneshottimer.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class TestMainQueue final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void runsLaterOnTheMainThreadInSubmissionOrder()
    {
        std::vector<int> order;
        bool onMain = true;
        MainQueue::async([&] {
            order.push_back(1);
            // Queued from inside a block: runs after the blocks already queued.
            MainQueue::async([&] { order.push_back(4); });
        });
        MainQueue::async([&] { order.push_back(2); });
        MainQueue::async([&] {
            onMain = QThread::currentThread() == qApp->thread();
            order.push_back(3);
        });
        QVERIFY(order.empty()); // never before the caller has returned
        QTRY_COMPARE(order.size(), size_t(4));
        QCOMPARE(order, (std::vector<int>{1, 2, 3, 4}));
        QVERIFY(onMain);
    }

    void keepsOrderOfBlocksFromOtherThreads()
    {
        // Each thread's blocks arrive in the order that thread queued them.
        constexpr int kThreads = 4;
        constexpr int kPerThread = 500;
        std::vector<std::vector<int>> seen(kThreads);
        std::vector<QThread *> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.push_back(QThread::create([t, &seen] {
                for (int i = 0; i < kPerThread; ++i) {
                    MainQueue::async([t, i, &seen] { seen[size_t(t)].push_back(i); });
                }
            }));
            threads.back()->start();
        }
        for (QThread *thread : threads) {
            QVERIFY(thread->wait(10'000));
            delete thread;
        }
        QTRY_VERIFY(std::all_of(seen.begin(), seen.end(),
                                [](const auto &s) { return s.size() == size_t(kPerThread); }));
        for (const auto &s : seen) {
            QVERIFY(std::is_sorted(s.begin(), s.end()));
        }
    }

    void poolRunsWorkInParallelOffTheMainThread()
    {
        BackgroundPool pool(4);
        QSemaphore started;
        std::atomic_int offMain{0};
        std::atomic_int sawTheOther{0};
        for (int i = 0; i < 2; ++i) {
            pool.async([&](const CancelToken &) {
                if (QThread::currentThread() != qApp->thread()) {
                    ++offMain;
                }
                started.release();
                // Each waits for both to have started: run one after the other, they time out.
                if (started.tryAcquire(2, 10'000)) {
                    ++sawTheOther;
                    started.release(2);
                }
            });
        }
        QVERIFY(pool.waitForDone(30'000));
        QCOMPARE(offMain.load(), 2);
        QCOMPARE(sawTheOther.load(), 2);
    }

    void destroyingThePoolCancelsWorkInFlight()
    {
        std::atomic_bool stopped{false};
        QSemaphore running;
        {
            BackgroundPool pool;
            pool.async([&](const CancelToken &token) {
                running.release();
                while (!token.isCancelled()) {
                    QThread::msleep(1);
                }
                stopped = true;
            });
            QVERIFY(running.tryAcquire(1, 10'000));
        } // would hang here if the destructor only waited
        QVERIFY(stopped);
    }

    void oneShotBlockMayDestroyItsOwnTimer()
    {
        // A new banner message replaces the running timer from inside a block.
        std::unique_ptr<OneShotTimer> timer;
        bool ran = false;
        timer = std::make_unique<OneShotTimer>(std::chrono::milliseconds(1), [&] {
            timer.reset();
            ran = true;
        });
        QTRY_VERIFY(ran);
        QVERIFY(!timer);
    }
};

QTEST_GUILESS_MAIN(TestMainQueue)
#include "tst_mainqueue.moc"
