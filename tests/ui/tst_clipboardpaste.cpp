// SPDX-License-Identifier: MIT
#include "clipboardfiles.h"
#include "clipboardpaste.h"
#include "diagnostics.h"
#include "droppedmimedata.h"
#include "skiporfail.h"
#include "stashletmanager.h"
#include "urilist.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QTimer>
#include <QtTest>

#include <xcb/xcb.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

const QString kGnome = QStringLiteral("x-special/gnome-copied-files");
const QByteArray kCopied = "copy\nfile:///tmp/a%20b\nfile:///tmp/c";

// Another program on the display, on a raw connection of its own: it takes
// CLIPBOARD, and answers only while serve() is called. Its answers as GTK
// gives them: TARGETS, then the data, incrementally (INCR) in chunks of
// `chunk` bytes when it is longer.
class RawOwner final {
public:
    RawOwner(QByteArray data, int chunk)
        : m_connection(xcb_connect(nullptr, nullptr))
        , m_data(std::move(data))
        , m_chunk(chunk)
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const xcb_atom_t clipboard = atom("CLIPBOARD");
        xcb_set_selection_owner(m_connection, m_window, clipboard, XCB_CURRENT_TIME);
        // Owner once the server has answered, before the paste asks.
        std::free(xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, clipboard), nullptr));
    }
    ~RawOwner() { xcb_disconnect(m_connection); }

    void serve()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            const int type = event->response_type & 0x7f;
            if (type == XCB_SELECTION_REQUEST)
                answer(*reinterpret_cast<xcb_selection_request_event_t *>(event));
            else if (type == XCB_PROPERTY_NOTIFY)
                nextChunk(*reinterpret_cast<xcb_property_notify_event_t *>(event));
            std::free(event);
        }
        xcb_flush(m_connection);
    }
    int chunksSent = 0;

private:
    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t interned = reply->atom;
        std::free(reply);
        return interned;
    }

    void answer(const xcb_selection_request_event_t &request)
    {
        xcb_atom_t property = request.property;
        if (request.target == m_targets) {
            const xcb_atom_t offered[] = {m_targets, atom("UTF8_STRING"), m_format};
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request.requestor, property,
                                XCB_ATOM_ATOM, 32, 3, offered);
        } else if (request.target == m_format && m_data.size() > m_chunk) {
            // Each chunk goes once the requestor deleted the one before.
            const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(m_connection, request.requestor, XCB_CW_EVENT_MASK, &mask);
            const uint32_t size = uint32_t(m_data.size());
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request.requestor, property,
                                m_incr, 32, 1, &size);
            m_transfer = {request.requestor, property, 0};
        } else if (request.target == m_format) {
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request.requestor, property,
                                m_format, 8, uint32_t(m_data.size()), m_data.constData());
        } else {
            property = XCB_ATOM_NONE;
        }
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = property;
        xcb_send_event(m_connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&notify));
    }

    void nextChunk(const xcb_property_notify_event_t &notify)
    {
        if (!m_transfer || notify.window != m_transfer->requestor ||
            notify.atom != m_transfer->property || notify.state != XCB_PROPERTY_DELETE)
            return;
        const QByteArray chunk = m_data.mid(m_transfer->sent, m_chunk);
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, m_transfer->requestor,
                            m_transfer->property, m_format, 8, uint32_t(chunk.size()),
                            chunk.constData());
        m_transfer->sent += chunk.size();
        chunksSent += chunk.isEmpty() ? 0 : 1;
        if (chunk.isEmpty())
            m_transfer.reset();
    }

    struct Transfer {
        xcb_window_t requestor;
        xcb_atom_t property;
        qsizetype sent;
    };
    xcb_connection_t *m_connection;
    const QByteArray m_data;
    const int m_chunk;
    const xcb_atom_t m_targets = atom("TARGETS");
    const xcb_atom_t m_incr = atom("INCR");
    const xcb_atom_t m_format = atom(kGnome.toLatin1().constData());
    xcb_window_t m_window = 0;
    std::optional<Transfer> m_transfer;
};

QByteArrayList pathsOf(QByteArrayView uriList)
{
    QByteArrayList paths;
    for (const std::filesystem::path &path : UriList::read(uriList, StashletManager::kLimit).paths)
        paths.append(QByteArray::fromStdString(path.native()));
    return paths;
}

// The paste as the panel makes it; `offered` is set once it ends.
struct Paste {
    QObject context;
    std::optional<QByteArray> offered;
    void start()
    {
        ClipboardPaste::read(&context, [this](const ClipboardFiles::Offered &files) {
            offered = files.uriList().toByteArray();
        });
    }
};

} // namespace

class TestClipboardPaste final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            STASHLET_SKIP_UNLESS_CI("Xvfb is not installed");
    }

    // An owner that never answers: the paste returns at once, the panel's
    // timers keep firing while it waits, and it gives up with a line saying
    // so.
    void neverAnsweringOwnerCostsTheLoopNothing()
    {
        const RawOwner owner(kCopied, 1 << 20);
        QTRY_VERIFY(!QGuiApplication::clipboard()->ownsClipboard());
        int pipeFds[2];
        QVERIFY(::pipe2(pipeFds, O_NONBLOCK) == 0);
        Diagnostics::setOutput(pipeFds[1]);

        Paste paste;
        std::optional<bool> tickedWhilePending;
        QTimer::singleShot(50, &paste.context,
                           [&] { tickedWhilePending = !paste.offered.has_value(); });
        paste.start();
        QVERIFY(!paste.offered);
        QTRY_VERIFY_WITH_TIMEOUT(paste.offered.has_value(), 5000);
        QCOMPARE(tickedWhilePending, std::optional<bool>(true));
        QVERIFY(paste.offered->isEmpty());

        QVERIFY(Diagnostics::flush());
        Diagnostics::setOutput(STDOUT_FILENO);
        char line[256] = {};
        QVERIFY(::read(pipeFds[0], line, sizeof line - 1) > 0);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        QVERIFY2(strstr(line, "did not answer within 1000 ms"), line);
    }

    // An owner that answers, whole or in chunks, gives what Qt's own read
    // would; of a copy far past what the shelf can use, no more is read than
    // that, and no line cut short.
    void answeringOwnerGivesWhatQtWould_data()
    {
        QTest::addColumn<QByteArray>("copied");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<bool>("readToTheEnd");
        QTest::newRow("whole") << kCopied << (1 << 20) << true;
        QTest::newRow("incrementally, in 5 chunks") << kCopied << 8 << true;
        QByteArray huge = kCopied + '\n';
        while (huge.size() < (4 << 20))
            huge += "file:///nowhere/" + QByteArray(4000, 'x') + '\n';
        QTest::newRow("4 MiB, incrementally") << huge << (256 << 10) << false;
    }
    void answeringOwnerGivesWhatQtWould()
    {
        QFETCH(QByteArray, copied);
        QFETCH(int, chunk);
        QFETCH(bool, readToTheEnd);
        RawOwner owner(copied, chunk);
        QTimer serving;
        QObject::connect(&serving, &QTimer::timeout, [&owner] { owner.serve(); });
        serving.start(2);
        QTRY_VERIFY(!QGuiApplication::clipboard()->ownsClipboard());

        Paste paste;
        paste.start();
        QTRY_VERIFY(paste.offered.has_value());
        const DroppedMimeData qtWould(copied, kGnome);
        const QByteArray whole = ClipboardFiles::fromClipboard(qtWould).uriList().toByteArray();
        QCOMPARE(*paste.offered, whole.left(paste.offered->size()));
        QCOMPARE(pathsOf(*paste.offered), pathsOf(whole));
        const int chunks = copied.size() > chunk ? int((copied.size() + chunk - 1) / chunk) : 0;
        QCOMPARE(owner.chunksSent == chunks, readToTheEnd);
    }

    // The program's own copy is read from Qt at once, with no ask of the X
    // server.
    void ownCopyPastesAtOnce()
    {
        QGuiApplication::clipboard()->setMimeData(new DroppedMimeData(kCopied, kGnome));
        QVERIFY(QGuiApplication::clipboard()->ownsClipboard());
        Paste paste;
        paste.start();
        QVERIFY(paste.offered.has_value());
        QCOMPARE(*paste.offered, QByteArray("file:///tmp/a%20b\nfile:///tmp/c"));
    }
};

// The paste reads the clipboard of a real X server: one of its own, so that
// no owner on the developer's desktop answers instead of the test's.
int main(int argc, char **argv)
{
    QProcess xvfb;
    // Off the test's output, which CTest reads until every writer has closed
    // it; gone with the test, whatever ends it.
    xvfb.setStandardErrorFile(QProcess::nullDevice());
    xvfb.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                        QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    // The number comes once the server takes clients.
    while (!xvfb.canReadLine() && xvfb.waitForReadyRead(15'000)) {
    }
    if (const QByteArray number = xvfb.readLine().trimmed(); !number.isEmpty()) {
        qputenv("DISPLAY", ":" + number);
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    int status = 0;
    {
        QGuiApplication app(argc, argv);
        TestClipboardPaste test;
        status = QTest::qExec(&test, argc, argv);
    }
    xvfb.terminate();
    xvfb.waitForFinished();
    return status;
}

#include "tst_clipboardpaste.moc"
