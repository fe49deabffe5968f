// SPDX-License-Identifier: MIT
#include "accessibleroles.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace {

class BannerAccessible final : public QAccessibleWidget {
public:
    explicit BannerAccessible(QWidget *overlay)
        : QAccessibleWidget(overlay, QAccessible::AlertMessage)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = widget()->accessibleName().isEmpty();
        return state;
    }
};

QAccessibleInterface *interfaceFor(const QString &className, QObject *object)
{
    if (!object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1String("FileRowView"))
        return new QAccessibleWidget(widget, QAccessible::ListItem);
    if (className == QLatin1String("ContentOverlay"))
        return new BannerAccessible(widget);
    return nullptr;
}

} // namespace

void AccessibleRoles::install()
{
    static bool installed = false;
    if (!std::exchange(installed, true))
        QAccessible::installFactory(interfaceFor);
}
