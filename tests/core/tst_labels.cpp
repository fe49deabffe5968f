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
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("label");
        const QLocale c = QLocale::c(), it(QLocale::Italian);
        QTest::newRow("zero") << 0ull << c << QStringLiteral("0 bytes");
        QTest::newRow("under a kilobyte") << 999ull << c << QStringLiteral("999 bytes");
        QTest::newRow("one kilobyte is 1000 bytes") << 1000ull << c << QStringLiteral("1 kB");
        QTest::newRow("one fraction digit in MB") << 1'560'000ull << c << QStringLiteral("1.6 MB");
        QTest::newRow("a mebibyte is not a megabyte")
            << 1'048'576ull << c << QStringLiteral("1 MB");
        QTest::newRow("two fraction digits in GB")
            << 1'234'567'890ull << c << QStringLiteral("1.23 GB");
        QTest::newRow("trailing zero dropped") << 1'500'000'000ull << c << QStringLiteral("1.5 GB");
        QTest::newRow("terabytes") << 3'000'000'000'000ull << c << QStringLiteral("3 TB");
        QTest::newRow("Italian") << 1'500'000ull << it << QStringLiteral("1,5 MB");
        QTest::newRow("Italian, whole") << 2'000'000ull << it << QStringLiteral("2 MB");
    }
    void sizeUsesDecimalUnitsAndTheLargestThatFits()
    {
        QFETCH(qulonglong, bytes);
        QFETCH(QLocale, locale);
        QFETCH(QString, label);
        QCOMPARE(sizeLabel(bytes, locale), label);
    }

    void lastComponentIgnoresTrailingSlashes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("file") << QStringLiteral("/a/b.txt") << QStringLiteral("b.txt");
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
        for (const char *name : {"a", ".hidden", "..."}) {
            QVERIFY(FileName::isUsable(name));
        }
        for (const std::string &name : {std::string(), std::string("."), std::string(".."),
                                        std::string("a/b"), std::string("a\0b", 3)}) {
            QVERIFY(!FileName::isUsable(name));
        }
    }
};

QTEST_GUILESS_MAIN(TestLabels)
#include "tst_labels.moc"
