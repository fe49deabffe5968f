// SPDX-License-Identifier: MIT
#include "dbustypes.h"
#include "fakewatcher.h"
#include "shelftestenv.h"
#include "skiporfail.h"
#include "texts.h"

#include <QDBusArgument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

namespace {

// Texts that read the same in every language.
const QStringList kSameEverywhere{QStringLiteral("%1/%2"), QStringLiteral("%1, %2")};

// Every text Texts hands to tr(), read from its source, so one added there
// without a translation is caught here.
QStringList textsOfTexts()
{
    QFile header(QStringLiteral(STASHLET_TEXTS_HEADER));
    if (!header.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QString source = QString::fromUtf8(header.readAll());
    static const QRegularExpression call(
        QStringLiteral(R"re(\btr\(((?:\s*"(?:[^"\\]|\\.)*")+))re"));
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    QStringList texts;
    for (const auto &match : call.globalMatch(source)) {
        QString text;
        for (const auto &piece : literal.globalMatch(match.captured(1))) {
            text += piece.captured(1).replace(QStringLiteral("\\\""), QStringLiteral("\""));
        }
        texts.append(text);
    }
    return texts;
}

QStringList placeholders(const QString &text)
{
    static const QRegularExpression marker(QStringLiteral("%[0-9n]"));
    QStringList found;
    for (const auto &match : marker.globalMatch(text)) {
        found.append(match.captured());
    }
    found.sort();
    return found;
}

// The labels of the tray menu that `item` (service@path) serves, found as a
// tray finds it: through the item's Menu property.
QStringList menuLabels(const QDBusConnection &bus, const QString &item)
{
    const auto call = [&](const QString &path, const QString &interface, const QString &method,
                          const QVariantList &arguments) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(item.section(u'@', 0, 0), path, interface, method);
        message.setArguments(arguments);
        return bus.call(message, QDBus::Block, 10'000).arguments();
    };
    const QVariantList menu =
        call(item.section(u'@', 1), QStringLiteral("org.freedesktop.DBus.Properties"),
             QStringLiteral("Get"),
             {QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Menu")});
    const QVariant path = qvariant_cast<QDBusVariant>(menu.value(0)).variant();
    const QVariantList reply =
        call(qvariant_cast<QDBusObjectPath>(path).path(), QStringLiteral("com.canonical.dbusmenu"),
             QStringLiteral("GetLayout"), {0, -1, QStringList()});
    QStringList labels;
    for (const DBusMenuLayoutItem &child :
         qdbus_cast<DBusMenuLayoutItem>(reply.value(1)).children) {
        const QString label = child.properties.value(QStringLiteral("label")).toString();
        if (!label.isEmpty()) {
            labels.append(label);
        }
    }
    return labels;
}

} // namespace

class TestTexts final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void namesThatLookLikePlaceholdersAreKeptAsTheyAre()
    {
        QCOMPARE(Texts::copying(QStringLiteral("a%2.txt"), 45),
                 QStringLiteral("a%2.txt, copia al 45%"));
        QCOMPARE(Texts::copying(QStringLiteral("%1%2"), -1),
                 QStringLiteral("%1%2, copia in corso"));
        QCOMPARE(Texts::card(QStringLiteral("a%1 %2.txt"), QStringLiteral("4 kB")),
                 QStringLiteral("a%1 %2.txt, 4 kB"));
    }

    void everyTextIsTranslatedInEveryShippedLanguage_data()
    {
        QTest::addColumn<QString>("language");
        for (const char *language : {"en", "de", "fr", "es"}) {
            QTest::newRow(language) << QString::fromLatin1(language);
        }
    }
    void everyTextIsTranslatedInEveryShippedLanguage()
    {
        QFETCH(QString, language);
        const QStringList texts = textsOfTexts();
        QVERIFY2(texts.size() >= 15, "the texts were not read from their header");
        QTranslator translator;
        QVERIFY(
            translator.load(QStringLiteral(STASHLET_TRANSLATIONS_DIR "/qel-stashlet_") + language));
        for (const QString &source : texts) {
            const QByteArray text = source.toUtf8();
            const QString one = translator.translate("Texts", text.constData(), nullptr, 1);
            QVERIFY2(!one.isEmpty(), text.constData());
            QVERIFY2(one != source || kSameEverywhere.contains(source), text.constData());
            QCOMPARE(placeholders(one), placeholders(source));
            // A %n text has a form per count: none of the four says "1 files" or "2 file".
            if (source.contains(QStringLiteral("%n"))) {
                const QString two = translator.translate("Texts", text.constData(), nullptr, 2);
                QVERIFY2(!two.isEmpty() && two != one, text.constData());
                QCOMPARE(placeholders(two), placeholders(source));
            }
        }
    }

    // The real program, as a desktop in that language starts it, read where
    // the user reads it: its tray menu, served to the tray over D-Bus.
    void theProgramSpeaksTheDesktopsLanguage_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("languages"); // LANGUAGE, the desktop's preference list
        QTest::addColumn<QStringList>("menu");
        const QStringList italian{Texts::showPanel(), Texts::startAtLogin(), Texts::quit()};
        QTest::newRow("German") << "de_DE.UTF-8"
                                << "de"
                                << QStringList{QStringLiteral("Panel anzeigen"),
                                               QStringLiteral("Beim Anmelden starten"),
                                               QStringLiteral("Beenden")};
        QTest::newRow("Spanish from LANG alone")
            << "es_ES.UTF-8"
            << ""
            << QStringList{QStringLiteral("Mostrar panel"),
                           QStringLiteral("Abrir al iniciar sesión"), QStringLiteral("Salir")};
        QTest::newRow("Italian before English") << "it_IT.UTF-8"
                                                << "it:en" << italian;
        QTest::newRow("C locale") << "C"
                                  << "de" << italian;
    }
    void theProgramSpeaksTheDesktopsLanguage()
    {
        QFETCH(QString, lang);
        QFETCH(QString, languages);
        QFETCH(QStringList, menu);
        PrivateBus bus;
        if (!bus.isUp()) {
            STASHLET_SKIP_UNLESS_CI("dbus-daemon did not start");
        }
        FakeWatcher watcher(bus, FakeWatcher::Host::Keeps);
        QTemporaryDir home;
        QProcessEnvironment env = privateEnvironment(home);
        for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) {
            env.remove(QString::fromLatin1(name));
        }
        env.insert(QStringLiteral("LANG"), lang);
        if (!languages.isEmpty()) {
            env.insert(QStringLiteral("LANGUAGE"), languages);
        }
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(STASHLET_BINARY));
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!watcher.items().isEmpty(), 20'000);
        const QDBusConnection client = bus.connect(QStringLiteral("reader"));
        const QStringList labels = menuLabels(client, watcher.items().constFirst());
        QDBusConnection::disconnectFromBus(QStringLiteral("reader"));
        program.terminate();
        QVERIFY(program.waitForFinished(20'000));
        QCOMPARE(labels, menu);
    }
};

QTEST_MAIN(TestTexts)
#include "tst_texts.moc"
