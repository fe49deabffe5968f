// SPDX-License-Identifier: MIT
#include "selectionreader.h"

#include <QCoreApplication>

#ifdef STASHLET_HAVE_XCB
#include "xcbreply.h"

#include <QHash>

#include <algorithm>
#include <vector>

using xcbreply::Reply;
#endif

SelectionReader::SelectionReader(QObject *parent)
    : QObject(parent)
{
#ifdef STASHLET_HAVE_XCB
    m_connection = xcbreply::connection();
    if (m_connection == nullptr)
        return;
    m_clipboard = xcbreply::atom(m_connection, "CLIPBOARD", true);
    m_targets = xcbreply::atom(m_connection, "TARGETS", true);
    m_incr = xcbreply::atom(m_connection, "INCR", true);
    m_property = xcbreply::atom(m_connection, "_QEL_STASHLET_PASTE", true);
    m_timeout.setSingleShot(true);
    m_timeout.callOnTimeout(this, [this] { finish(Outcome::TimedOut); });
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

#ifdef STASHLET_HAVE_XCB

bool SelectionReader::start(Chooser choose, qsizetype bound)
{
    if (m_connection == nullptr || reading())
        return false;
    m_window = xcb_generate_id(m_connection);
    // Input-only and never mapped: only a place for the owner to put its
    // answer, watched for the chunks of an incremental one.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window,
                      xcbreply::rootWindow(m_connection), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    m_choose = std::move(choose);
    m_bound = bound;
    m_format.clear();
    m_timeout.start(kTimeout);
    ask(m_targets);
    return true;
}

void SelectionReader::ask(std::uint32_t target)
{
    m_incremental = false;
    m_data.clear();
    m_cut = false;
    // CurrentTime: the paste asks for what the clipboard holds now.
    xcb_convert_selection(m_connection, m_window, m_clipboard, target, m_property,
                          XCB_CURRENT_TIME);
    xcb_flush(m_connection);
}

bool SelectionReader::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
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
            take();
        return true;
    }
    case XCB_PROPERTY_NOTIFY: {
        const auto *notify = reinterpret_cast<const xcb_property_notify_event_t *>(event);
        if (notify->window != m_window)
            return false;
        // The owner wrote an incremental answer's next chunk.
        if (m_incremental && notify->atom == m_property && notify->state == XCB_PROPERTY_NEW_VALUE)
            take();
        return true;
    }
    default:
        return false;
    }
}

void SelectionReader::take()
{
    // Up to the bound, and one long more to see whether there was more; the
    // deletion asks an incremental answer's owner for its next chunk. The X
    // server answers this, not the owner: no wait on another program.
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection,
        xcb_get_property(m_connection, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                         uint32_t((m_bound - m_data.size()) / 4 + 1)),
        nullptr));
    xcb_delete_property(m_connection, m_window, m_property);
    xcb_flush(m_connection);
    if (!reply) {
        finish(Outcome::Refused);
        return;
    }
    if (!m_incremental && reply->type == m_incr) {
        m_incremental = true;
        return;
    }
    const int length = xcb_get_property_value_length(reply.get());
    m_data.append(static_cast<const char *>(xcb_get_property_value(reply.get())), length);
    // Reading stops at the bound: the rest is never asked for.
    m_cut = m_cut || reply->bytes_after > 0 || m_data.size() > m_bound;
    // An empty chunk ends an incremental answer.
    if (m_incremental && length > 0 && !m_cut)
        return;
    m_data.truncate(m_bound);
    if (m_format.isEmpty())
        chooseFormat();
    else
        finish(Outcome::Read);
}

void SelectionReader::chooseFormat()
{
    // Owners offer a few dozen; a list of thousands is no clipboard of files,
    // and each name costs an ask of the X server.
    constexpr qsizetype kMaxTargets = 256;
    const auto *targets = reinterpret_cast<const xcb_atom_t *>(m_data.constData());
    const qsizetype count = std::min(m_data.size() / qsizetype(sizeof(xcb_atom_t)), kMaxTargets);
    // All names asked at once: one wait on the X server, not one per target.
    std::vector<xcb_get_atom_name_cookie_t> cookies;
    for (qsizetype i = 0; i < count; ++i)
        cookies.push_back(xcb_get_atom_name(m_connection, targets[i]));
    // Qt names the X11 string targets text/plain; of those it reads UTF-8
    // first, as file managers' text is.
    static const QStringList textTargets{QStringLiteral("UTF8_STRING"),
                                         QStringLiteral("text/plain"), QStringLiteral("STRING"),
                                         QStringLiteral("TEXT")};
    QStringList formats;
    QHash<QString, std::pair<qsizetype, xcb_atom_t>> atomOf;
    for (qsizetype i = 0; i < count; ++i) {
        const Reply<xcb_get_atom_name_reply_t> name(
            xcb_get_atom_name_reply(m_connection, cookies[std::size_t(i)], nullptr));
        if (!name)
            continue;
        const QString target = QString::fromLatin1(xcb_get_atom_name_name(name.get()),
                                                   xcb_get_atom_name_name_length(name.get()));
        const qsizetype rank = textTargets.indexOf(target);
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
    ask(atomOf.value(m_format).second);
}

void SelectionReader::finish(Outcome outcome)
{
    m_timeout.stop();
    if (m_window != 0) {
        // A late answer to this read now goes nowhere.
        xcb_destroy_window(m_connection, m_window);
        xcb_flush(m_connection);
    }
    m_window = 0;
    Result result{outcome, {}, {}, false};
    if (outcome == Outcome::Read)
        result = {outcome, m_format, std::move(m_data), m_cut};
    m_data.clear();
    m_choose = nullptr;
    Q_EMIT finished(result);
}

#else

bool SelectionReader::start(Chooser, qsizetype)
{
    return false;
}

bool SelectionReader::nativeEventFilter(const QByteArray &, void *, qintptr *)
{
    return false;
}

#endif
