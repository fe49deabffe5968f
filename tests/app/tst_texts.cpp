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

#include <memory>

namespace {

const QStringList kLanguages{QStringLiteral("en"), QStringLiteral("de"), QStringLiteral("fr"),
                             QStringLiteral("es")};

// Texts that read the same in every language.
const QStringList kSameEverywhere{QStringLiteral("%1/%2"), QStringLiteral("%1, %2")};

struct SourceText {
    QString text;
    bool counted = false; // a %n text, translated once per plural form
};

// Every text Texts hands to tr(), read from its source, so one added there
// without a translation is caught here.
QList<SourceText> textsOfTexts()
{
    QFile header(QStringLiteral(STASHLET_TEXTS_HEADER));
    if (!header.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QString source = QString::fromUtf8(header.readAll());
    static const QRegularExpression call(
        QStringLiteral(R"re(\btr\(((?:\s*"(?:[^"\\]|\\.)*")+))re"));
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    QList<SourceText> texts;
    for (const auto &match : call.globalMatch(source)) {
        QString text;
        for (const auto &piece : literal.globalMatch(match.captured(1))) {
            text += piece.captured(1).replace(QStringLiteral("\\\""), QStringLiteral("\""));
        }
        texts.append({text, text.contains(QStringLiteral("%n"))});
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
    const QString service = item.section(u'@', 0, 0);
    QDBusMessage get = QDBusMessage::createMethodCall(
        service, item.section(u'@', 1), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Menu");
    const QDBusMessage menu = bus.call(get, QDBus::Block, 10'000);
    if (menu.type() != QDBusMessage::ReplyMessage) {
        return {};
    }
    const QVariant path = qvariant_cast<QDBusVariant>(menu.arguments().at(0)).variant();
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, qvariant_cast<QDBusObjectPath>(path).path(),
        QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
    call << 0 << -1 << QStringList();
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10'000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2) {
        return {};
    }
    const auto layout = qdbus_cast<DBusMenuLayoutItem>(reply.arguments().at(1));
    QStringList labels;
    for (const DBusMenuLayoutItem &child : layout.children) {
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
        for (const QString &language : kLanguages) {
            QTest::newRow(qPrintable(language)) << language;
        }
    }
    void everyTextIsTranslatedInEveryShippedLanguage()
    {
        QFETCH(QString, language);
        const QList<SourceText> texts = textsOfTexts();
        QVERIFY2(texts.size() >= 15, "the texts were not read from their header");
        QTranslator translator;
        QVERIFY(
            translator.load(QStringLiteral(STASHLET_TRANSLATIONS_DIR "/qel-stashlet_") + language));
        for (const SourceText &source : texts) {
            const QByteArray text = source.text.toUtf8();
            const QString one = translator.translate("Texts", text.constData(), nullptr, 1);
            QVERIFY2(!one.isEmpty(), text.constData());
            QVERIFY2(one != source.text || kSameEverywhere.contains(source.text), text.constData());
            QCOMPARE(placeholders(one), placeholders(source.text));
            if (source.counted) {
                // None of the four says "1 files" or "2 file".
                const QString two = translator.translate("Texts", text.constData(), nullptr, 2);
                QVERIFY2(!two.isEmpty() && two != one, text.constData());
                QCOMPARE(placeholders(two), placeholders(source.text));
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
