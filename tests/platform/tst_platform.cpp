// SPDX-License-Identifier: MIT
#include "backgroundpool.h"
#include "mainqueue.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

namespace {
bool onMainThread()
{
    return QThread::currentThread() == qApp->thread();
}
} // namespace

class TestPlatform final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void mainQueueRunsLaterOnTheMainThreadInEachThreadsOrder()
    {
        std::vector<int> order;
        MainQueue::async([&] {
            order.push_back(1);
            // Queued from inside a block: runs after the blocks already queued.
            MainQueue::async([&] { order.push_back(3); });
        });
        MainQueue::async([&] { order.push_back(onMainThread() ? 2 : -2); });
        QVERIFY(order.empty()); // never before the caller has returned
        QTRY_COMPARE(order, (std::vector<int>{1, 2, 3}));

        constexpr int kPerThread = 500;
        std::vector<std::vector<int>> seen(4);
        std::vector<std::jthread> threads;
        for (size_t t = 0; t < seen.size(); ++t) {
            threads.emplace_back([t, &seen] {
                for (int i = 0; i < kPerThread; ++i) {
                    MainQueue::async([t, i, &seen] { seen[t].push_back(i); });
                }
            });
        }
        threads.clear();
        QTRY_VERIFY(std::all_of(seen.begin(), seen.end(),
                                [](const auto &s) { return s.size() == size_t(kPerThread); }));
        for (const auto &s : seen) {
            QVERIFY(std::is_sorted(s.begin(), s.end()));
        }
    }

    void poolRunsWorkInParallelAndItsEndCancelsWhatRuns()
    {
        std::atomic_int sawTheOther{0};
        std::atomic_bool stopped{false};
        {
            BackgroundPool pool(4);
            QSemaphore started;
            for (int i = 0; i < 2; ++i) {
                pool.async([&](const CancelToken &) {
                    started.release();
                    // Each waits for both to have started: one after the other, they time out.
                    if (!onMainThread() && started.tryAcquire(2, 10'000)) {
                        ++sawTheOther;
                        started.release(2);
                    }
                });
            }
            QVERIFY(pool.waitForDone(30'000));
            pool.async([&](const CancelToken &token) {
                started.release();
                while (!token.isCancelled()) {
                    QThread::msleep(1);
                }
                stopped = true;
            });
            QVERIFY(started.tryAcquire(3, 10'000));
        } // would hang here if the destructor only waited
        QCOMPARE(sawTheOther.load(), 2);
        QVERIFY(stopped);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
