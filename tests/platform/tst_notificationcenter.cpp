// SPDX-License-Identifier: MIT
#include "notificationcenter.h"

#include <QtTest>

#include <vector>

class TestNotificationCenter final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void deliversByNameInRegistrationOrderUntilUnregistered()
    {
        NotificationCenter center;
        std::vector<QString> seen;
        const auto first = center.observe(QStringLiteral("closePopover"),
                                          [&] { seen.push_back(QStringLiteral("first")); });
        center.observe(QStringLiteral("closePopover"),
                       [&] { seen.push_back(QStringLiteral("second")); });
        center.observe(QStringLiteral("other"), [&] { seen.push_back(QStringLiteral("other")); });

        center.post(QStringLiteral("closePopover"));
        QCOMPARE(seen, (std::vector<QString>{QStringLiteral("first"), QStringLiteral("second")}));

        center.unregister(first);
        seen.clear();
        center.post(QStringLiteral("closePopover"));
        QCOMPARE(seen, std::vector<QString>{QStringLiteral("second")});

        seen.clear();
        center.post(QStringLiteral("nobody listens"));
        QVERIFY(seen.empty());
    }

    void observerMayUnregisterItselfAndOthersWhileDelivering()
    {
        NotificationCenter center;
        int firstCalls = 0;
        int secondCalls = 0;
        NotificationCenter::Token first = 0;
        NotificationCenter::Token second = 0;
        first = center.observe(QStringLiteral("n"), [&] {
            ++firstCalls;
            center.unregister(first);
            center.unregister(second);
        });
        second = center.observe(QStringLiteral("n"), [&] { ++secondCalls; });
        center.post(QStringLiteral("n"));
        center.post(QStringLiteral("n"));
        QCOMPARE(firstCalls, 1);
        QCOMPARE(secondCalls, 0);
    }
};

QTEST_GUILESS_MAIN(TestNotificationCenter)
#include "tst_notificationcenter.moc"
