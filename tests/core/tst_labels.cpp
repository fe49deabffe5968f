// SPDX-License-Identifier: MIT
#include "filename.h"
#include "sizelabel.h"

#include <QtTest>

class TestLabels final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sizeUsesDecimalUnitsAndTheLargestThatFits_data()
    {
        QTest::addColumn<qulonglong>("bytes");
        QTest::addColumn<QString>("label");
        QTest::newRow("zero") << 0ull << QStringLiteral("0 bytes");
        QTest::newRow("under a kilobyte") << 999ull << QStringLiteral("999 bytes");
        QTest::newRow("one kilobyte is 1000 bytes") << 1000ull << QStringLiteral("1 kB");
        QTest::newRow("2,000,000 bytes") << 2'000'000ull << QStringLiteral("2 MB");
        QTest::newRow("one fraction digit in MB") << 1'560'000ull << QStringLiteral("1.6 MB");
        QTest::newRow("a mebibyte is not a megabyte") << 1'048'576ull << QStringLiteral("1 MB");
        QTest::newRow("two fraction digits in GB") << 1'234'567'890ull << QStringLiteral("1.23 GB");
        QTest::newRow("trailing zero dropped") << 1'500'000'000ull << QStringLiteral("1.5 GB");
        QTest::newRow("terabytes") << 3'000'000'000'000ull << QStringLiteral("3 TB");
    }
    void sizeUsesDecimalUnitsAndTheLargestThatFits()
    {
        QFETCH(qulonglong, bytes);
        QFETCH(QString, label);
        QCOMPARE(sizeLabel(bytes, QLocale::c()), label);
    }

    void sizeIsWrittenInTheUsersLocale()
    {
        QCOMPARE(sizeLabel(1'500'000, QLocale(QLocale::Italian)), QStringLiteral("1,5 MB"));
        QCOMPARE(sizeLabel(2'000'000, QLocale(QLocale::Italian)), QStringLiteral("2 MB"));
    }

    void lastComponentIgnoresTrailingSlashes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("file") << QStringLiteral("/a/b.txt") << QStringLiteral("b.txt");
        QTest::newRow("folder with slash") << QStringLiteral("/a/b/") << QStringLiteral("b");
        QTest::newRow("many slashes") << QStringLiteral("/a/b///") << QStringLiteral("b");
        QTest::newRow("root") << QStringLiteral("/") << QString();
        QTest::newRow("dot dot") << QStringLiteral("/a/..") << QStringLiteral("..");
    }
    void lastComponentIgnoresTrailingSlashes()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(QString::fromStdString(FileName::lastComponent(path.toStdString())), name);
    }

    void usableNames()
    {
        QVERIFY(FileName::isUsable("a"));
        QVERIFY(FileName::isUsable(".hidden"));
        QVERIFY(FileName::isUsable("..."));
        QVERIFY(!FileName::isUsable(""));
        QVERIFY(!FileName::isUsable("."));
        QVERIFY(!FileName::isUsable(".."));
        QVERIFY(!FileName::isUsable("a/b"));
        QVERIFY(!FileName::isUsable(std::string("a\0b", 3)));
    }
};

QTEST_GUILESS_MAIN(TestLabels)
#include "tst_labels.moc"
