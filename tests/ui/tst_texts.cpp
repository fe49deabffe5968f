// SPDX-License-Identifier: MIT
#include "dropintake.h"

#include <QTest>
#include <QTranslator>

namespace {
// Stands for a translation file: every text of the table comes back marked.
class MarkingTranslator final : public QTranslator {
public:
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        if (qstrcmp(context, "Texts") != 0)
            return {};
        return u'<' + QString::fromUtf8(source) + u'>';
    }
    bool isEmpty() const override { return false; }
};
} // namespace

class TestTexts final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A translation takes over the banner, count and all, with no change to
    // the code; without one the Italian text shows as it always has.
    void bannerFollowsTheInstalledTranslation_data()
    {
        QTest::addColumn<bool>("translated");
        QTest::addColumn<QString>("message");
        QTest::newRow("Italian") << false
                                 << QStringLiteral("Hai già raggiunto il limite di 5 file");
        QTest::newRow("translated")
            << true << QStringLiteral("<Hai già raggiunto il limite di 5 file>");
    }
    void bannerFollowsTheInstalledTranslation()
    {
        QFETCH(bool, translated);
        QFETCH(QString, message);
        MarkingTranslator translator;
        if (translated)
            QVERIFY(QCoreApplication::installTranslator(&translator));
        DropIntake intake([] { return qsizetype(5); }, [](const std::filesystem::path &) {});
        QVERIFY(!intake.handleDrop({}));
        QCOMPARE(intake.errorMessage(), std::optional<QString>(message));
        intake.dismissError();
    }
};

QTEST_GUILESS_MAIN(TestTexts)
#include "tst_texts.moc"
