// SPDX-License-Identifier: MIT
#include "dbusmenuexporter.h"

#include <QAction>
#include <QActionEvent>
#include <QMenu>

namespace {

// What an item's property is when it is not sent, as the dbusmenu interface
// defines it; an invalid value for a name it does not define.
QVariant defaultProperty(const QString &name)
{
    static const QVariantMap defaults{
        {QStringLiteral("type"), QStringLiteral("standard")},
        {QStringLiteral("label"), QString()},
        {QStringLiteral("enabled"), true},
        {QStringLiteral("visible"), true},
        {QStringLiteral("icon-name"), QString()},
        {QStringLiteral("icon-data"), QByteArray()},
        {QStringLiteral("shortcut"), QVariant::fromValue(QList<QStringList>())},
        {QStringLiteral("toggle-type"), QString()},
        {QStringLiteral("toggle-state"), -1},
        {QStringLiteral("children-display"), QString()},
        {QStringLiteral("disposition"), QStringLiteral("normal")},
        {QStringLiteral("accessible-desc"), QString()},
    };
    return defaults.value(name);
}

} // namespace

DBusMenuExporter::DBusMenuExporter(QMenu &menu, QObject *parent)
    : QObject(parent)
    , m_menu(menu)
{
    registerDBusTypes();
    // One update for a relabelling's text and enabled state together.
    m_layoutUpdate.setSingleShot(true);
    connect(&m_layoutUpdate, &QTimer::timeout, this,
            [this] { Q_EMIT LayoutUpdated(++m_revision, 0); });
    for (QAction *action : m_menu.actions()) {
        connect(action, &QAction::changed, &m_layoutUpdate, qOverload<>(&QTimer::start));
    }
}

QAction *DBusMenuExporter::actionOf(int id) const
{
    const QList<QAction *> actions = m_menu.actions();
    return id >= 1 && id <= actions.size() ? actions.at(id - 1) : nullptr;
}

QVariantMap DBusMenuExporter::propertiesOf(int id) const
{
    if (id == 0) {
        return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
    }
    const QAction *action = actionOf(id);
    if (action == nullptr) {
        return {};
    }
    if (action->isSeparator()) {
        return {{QStringLiteral("type"), QStringLiteral("separator")}};
    }
    QVariantMap properties{{QStringLiteral("label"), action->text()}};
    if (!action->isEnabled()) {
        properties.insert(QStringLiteral("enabled"), false);
    }
    if (!action->isVisible()) {
        properties.insert(QStringLiteral("visible"), false);
    }
    if (action->isCheckable()) {
        properties.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
        properties.insert(QStringLiteral("toggle-state"), action->isChecked() ? 1 : 0);
    }
    return properties;
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList &,
                                 DBusMenuLayoutItem &layout)
{
    if (parentId == 0) {
        // Not every host calls AboutToShow before it draws the menu, and a
        // mark read from a file may have changed since the last one.
        Q_EMIT m_menu.aboutToShow();
    }
    layout = {parentId, propertiesOf(parentId), {}};
    if (parentId == 0 && recursionDepth != 0) {
        for (int id = 1; id <= m_menu.actions().size(); ++id) {
            layout.children.append({id, propertiesOf(id), {}});
        }
    }
    return m_revision;
}

DBusMenuItemList DBusMenuExporter::GetGroupProperties(const QList<int> &ids, const QStringList &)
{
    DBusMenuItemList items;
    for (int id : ids) {
        if (id == 0 || actionOf(id) != nullptr) {
            items.append({id, propertiesOf(id)});
        }
    }
    return items;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString &name)
{
    // An unset property is at its default; an empty variant cannot be sent,
    // and the caller would get no answer.
    QVariant value;
    if (id == 0 || actionOf(id) != nullptr) {
        value = propertiesOf(id).value(name, defaultProperty(name));
    }
    if (!value.isValid()) {
        if (calledFromDBus()) {
            sendErrorReply(QDBusError::InvalidArgs,
                           QStringLiteral("no property %1 on item %2").arg(name).arg(id));
        }
        value = QString();
    }
    return QDBusVariant(value);
}

void DBusMenuExporter::Event(int id, const QString &eventId, const QDBusVariant &, uint)
{
    if (eventId != QLatin1String("clicked")) {
        return;
    }
    if (QAction *action = actionOf(id); action != nullptr && action->isEnabled()) {
        // After the reply: "Esci" ends the process, and the host would wait in vain.
        QTimer::singleShot(0, action, &QAction::trigger);
    }
}

QList<int> DBusMenuExporter::EventGroup(const DBusMenuEventList &events)
{
    QList<int> errors;
    for (const DBusMenuEvent &event : events) {
        if (event.id != 0 && actionOf(event.id) == nullptr) {
            errors.append(event.id);
            continue;
        }
        Event(event.id, event.eventId, event.data, event.timestamp);
    }
    return errors;
}

bool DBusMenuExporter::AboutToShow(int id)
{
    if (id == 0) {
        // The labels follow the panel's state the way the QMenu's do.
        Q_EMIT m_menu.aboutToShow();
    }
    // A relabelling just made is sent before the host draws the menu.
    return m_layoutUpdate.isActive();
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors)
{
    for (int id : ids) {
        AboutToShow(id);
    }
    idErrors.clear();
    return {};
}
