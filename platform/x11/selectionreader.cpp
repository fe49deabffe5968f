// SPDX-License-Identifier: MIT
#include "selectionreader.h"

#include <QCoreApplication>
#include <QHash>

#ifdef STASHLET_HAVE_XCB
#include "xcbreply.h"

#include <algorithm>
#include <array>
#include <vector>

using xcbreply::Reply;

namespace {

xcb_connection_t *xcb(void *connection)
{
    return static_cast<xcb_connection_t *>(connection);
}

// Qt names the X11 string targets text/plain; of those it reads UTF-8 first,
// as file managers' text is.
constexpr std::array<const char *, 4> kTextTargets{"UTF8_STRING", "text/plain", "STRING", "TEXT"};

// Owners offer a few dozen; a list of thousands is no clipboard of files, and
// each name costs an ask of the X server.
constexpr qsizetype kMaxTargets = 256;

int textRank(const QString &target)
{
    for (std::size_t i = 0; i < kTextTargets.size(); ++i) {
        if (target == QLatin1String(kTextTargets[i]))
            return int(i);
    }
    return -1;
}

// Reads up to `bytes` of the property, and one long more to see whether
// there was more, then deletes it: in an INCR transfer that asks the owner
// for the next chunk. The X server answers this, not the owner: no wait on
// another program.
Reply<xcb_get_property_reply_t> takeAndDelete(xcb_connection_t *connection, xcb_window_t window,
                                              xcb_atom_t property, qsizetype bytes)
{
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                         uint32_t(bytes / 4 + 1)),
        nullptr));
    xcb_delete_property(connection, window, property);
    xcb_flush(connection);
    return reply;
}

} // namespace
#endif

SelectionReader::SelectionReader(QObject *parent)
    : QObject(parent)
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(kTimeout);
    connect(&m_timeout, &QTimer::timeout, this, [this] { finish(Outcome::TimedOut); });
#ifdef STASHLET_HAVE_XCB
    xcb_connection_t *connection = xcbreply::connection();
    if (connection == nullptr)
        return;
    m_connection = connection;
    m_clipboard = xcbreply::atom(connection, "CLIPBOARD", true);
    m_targets = xcbreply::atom(connection, "TARGETS", true);
    m_incr = xcbreply::atom(connection, "INCR", true);
    m_property = xcbreply::atom(connection, "_QEL_STASHLET_PASTE", true);
    QCoreApplication::instance()->installNativeEventFilter(this);
#endif
}

SelectionReader::~SelectionReader()
{
    // A read's window is left to go with the connection: at quit, Qt may
    // have closed that already.
    if (m_connection != nullptr && QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool SelectionReader::start(Chooser choose, qsizetype bound)
{
#ifdef STASHLET_HAVE_XCB
    if (m_connection == nullptr || reading())
        return false;
    xcb_connection_t *connection = xcb(m_connection);
    m_window = xcb_generate_id(connection);
    // Input-only and never mapped: only a place for the owner to put its
    // answer, watched for the chunks of an incremental one.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, m_window, xcbreply::rootWindow(connection),
                      0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      XCB_CW_EVENT_MASK, &mask);
    m_choose = std::move(choose);
    m_bound = bound;
    m_format.clear();
    m_data.clear();
    m_cut = false;
    m_step = Step::Formats;
    m_timeout.start();
    ask(m_targets);
    return true;
#else
    Q_UNUSED(choose)
    Q_UNUSED(bound)
    return false;
#endif
}

void SelectionReader::ask(std::uint32_t target)
{
#ifdef STASHLET_HAVE_XCB
    m_incremental = false;
    m_data.clear();
    // CurrentTime: the paste asks for what the clipboard holds now.
    xcb_convert_selection(xcb(m_connection), m_window, m_clipboard, target, m_property,
                          XCB_CURRENT_TIME);
    xcb_flush(xcb(m_connection));
#else
    Q_UNUSED(target)
#endif
}

bool SelectionReader::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
#ifdef STASHLET_HAVE_XCB
    if (m_window == 0 || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & 0x7f) {
    case XCB_SELECTION_NOTIFY: {
        const auto *notify = reinterpret_cast<const xcb_selection_notify_event_t *>(event);
        if (notify->requestor != m_window)
            return false;
        if (notify->property == XCB_ATOM_NONE)
            finish(Outcome::Refused);
        else
            takeProperty();
        return true;
    }
    case XCB_PROPERTY_NOTIFY: {
        const auto *notify = reinterpret_cast<const xcb_property_notify_event_t *>(event);
        if (notify->window != m_window)
            return false;
        // The owner wrote an incremental answer's next chunk.
        if (m_incremental && notify->atom == m_property && notify->state == XCB_PROPERTY_NEW_VALUE)
            takeChunk();
        return true;
    }
    default:
        return false;
    }
#else
    Q_UNUSED(eventType)
    Q_UNUSED(message)
    return false;
#endif
}

void SelectionReader::takeProperty()
{
#ifdef STASHLET_HAVE_XCB
    const Reply<xcb_get_property_reply_t> reply =
        takeAndDelete(xcb(m_connection), m_window, m_property, m_bound);
    if (!reply) {
        finish(Outcome::Refused);
    } else if (reply->type == m_incr) {
        // The deletion above asks the owner for the first chunk.
        m_incremental = true;
    } else {
        const int length = xcb_get_property_value_length(reply.get());
        m_data = QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())), length);
        m_cut = reply->bytes_after > 0;
        took();
    }
#endif
}

void SelectionReader::takeChunk()
{
#ifdef STASHLET_HAVE_XCB
    const Reply<xcb_get_property_reply_t> reply =
        takeAndDelete(xcb(m_connection), m_window, m_property, m_bound - m_data.size());
    if (!reply) {
        finish(Outcome::Refused);
        return;
    }
    const int length = xcb_get_property_value_length(reply.get());
    if (length == 0) { // the end
        took();
        return;
    }
    m_data.append(static_cast<const char *>(xcb_get_property_value(reply.get())), length);
    if (reply->bytes_after > 0 || m_data.size() > m_bound) {
        // Stop reading at the bound: the rest is never asked for.
        m_cut = true;
        took();
    }
#endif
}

void SelectionReader::took()
{
    m_incremental = false;
    if (m_data.size() > m_bound) {
        m_data.truncate(m_bound);
        m_cut = true;
    }
    if (m_step == Step::Formats)
        chooseFormat();
    else
        finish(Outcome::Read);
}

void SelectionReader::chooseFormat()
{
#ifdef STASHLET_HAVE_XCB
    xcb_connection_t *connection = xcb(m_connection);
    const auto *targets = reinterpret_cast<const xcb_atom_t *>(m_data.constData());
    const qsizetype count = std::min(m_data.size() / qsizetype(sizeof(xcb_atom_t)), kMaxTargets);
    // All names asked at once: one wait on the X server, not one per target.
    std::vector<xcb_get_atom_name_cookie_t> cookies;
    for (qsizetype i = 0; i < count; ++i)
        cookies.push_back(xcb_get_atom_name(connection, targets[i]));
    QStringList formats;
    QHash<QString, std::pair<int, xcb_atom_t>> atomOf;
    for (qsizetype i = 0; i < count; ++i) {
        const Reply<xcb_get_atom_name_reply_t> name(
            xcb_get_atom_name_reply(connection, cookies[std::size_t(i)], nullptr));
        if (!name)
            continue;
        const QString target = QString::fromLatin1(xcb_get_atom_name_name(name.get()),
                                                   xcb_get_atom_name_name_length(name.get()));
        const int rank = textRank(target);
        const QString format = rank < 0 ? target : QStringLiteral("text/plain");
        const auto known = atomOf.constFind(format);
        if (known == atomOf.cend())
            formats.append(format);
        if (known == atomOf.cend() || rank < known->first)
            atomOf.insert(format, {rank, targets[i]});
    }
    m_format = m_choose(formats);
    if (m_format.isEmpty() || !atomOf.contains(m_format)) {
        m_format.clear();
        m_data.clear();
        finish(Outcome::Read);
        return;
    }
    m_step = Step::Data;
    m_cut = false;
    ask(atomOf.value(m_format).second);
#endif
}

void SelectionReader::finish(Outcome outcome)
{
    m_timeout.stop();
#ifdef STASHLET_HAVE_XCB
    if (m_window != 0) {
        // A late answer to this read now goes nowhere.
        xcb_destroy_window(xcb(m_connection), m_window);
        xcb_flush(xcb(m_connection));
    }
#endif
    m_window = 0;
    m_incremental = false;
    Result result;
    result.outcome = outcome;
    if (outcome == Outcome::Read) {
        result.format = m_format;
        result.data = std::move(m_data);
        result.cut = m_cut;
    }
    m_data.clear();
    m_choose = nullptr;
    Q_EMIT finished(result);
}
