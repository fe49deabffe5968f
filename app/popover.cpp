// SPDX-License-Identifier: MIT
#include "popover.h"

#include "colorscheme.h"
#include "tasklisthints.h"
#include "texts.h"
#include "theme.h"
#include "windowblur.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr Qt::WindowFlags kPopoverFlags =
    Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint;

// Thicker than any panel a desktop draws (Plasma's is 44 px by default): a
// click farther from the screen's edge is not taken for one on a bar.
constexpr qint64 kThickestBar = 128;

} // namespace

Popover::Popover(QWidget *parent)
    : QWidget(parent, kPopoverFlags)
{
    setWindowFlags(popoverFlags());
    // Qt's Wayland tooltips hang off a shell surface, which a layer surface
    // lacks: one would open mid-screen as a window. The panel goes without
    // them there, and watches clicks and the pointer for the keyboard.
    if (m_layered)
        qApp->installEventFilter(this);
    setAttribute(Qt::WA_TranslucentBackground);
    // A panel opened by a drop stays inactive until clicked.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setWindowTitle(Texts::appName());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

Qt::WindowFlags Popover::popoverFlags() const
{
    return m_layered ? kPopoverFlags | LayerShellPanel::windowFlag() : kPopoverFlags;
}

void Popover::setContentSize(const QSize &size)
{
    m_contentSize = size;
    setFixedSize(size.grownBy(shadowMargins()));
}

QMargins Popover::shadowMargins() const
{
    return layout()->contentsMargins();
}

void Popover::setShadowed(bool shadowed)
{
    const int room = shadowed ? theme::kPopoverShadowRoom : 0;
    layout()->setContentsMargins(room, room, room, room);
    if (m_contentSize.isValid())
        setFixedSize(m_contentSize.grownBy(shadowMargins()));
}

void Popover::setContent(QWidget *content)
{
    m_makeContent = nullptr;
    if (m_content != nullptr) {
        layout()->removeWidget(m_content);
        m_content->deleteLater();
    }
    m_content = content;
    layout()->addWidget(content);
}

void Popover::setContent(std::function<QWidget *()> make)
{
    m_makeContent = std::move(make);
    if (isVisible()) {
        makeContent();
    }
}

void Popover::makeContent()
{
    if (m_makeContent) {
        // Taken first: the content may be replaced from inside the call.
        const auto make = std::exchange(m_makeContent, nullptr);
        setContent(make());
    }
}

QRect Popover::placement(const QRect &anchor, const QPoint &clickPoint, const QSize &size,
                         const QRect &available)
{
    // Activate(x, y) comes over D-Bus from anyone, so any int may stand there:
    // the sums are taken in 64 bits, and only the clamped position is int.
    const bool byIcon = anchor.isValid() && !anchor.isEmpty();
    const qint64 left = byIcon ? anchor.left() : clickPoint.x();
    const qint64 right = byIcon ? anchor.right() : clickPoint.x();
    qint64 top = byIcon ? anchor.top() : clickPoint.y();
    qint64 bottom = byIcon ? anchor.bottom() : clickPoint.y();
    const bool trayAtBottom =
        (top + bottom) / 2 > (qint64(available.top()) + available.bottom()) / 2;
    // A click inside the free area came from a bar it does not leave out
    // (Wayland tells no work area). Icons sit centred across their bar, so the
    // bar reaches as far past the click as the click is from the edge.
    if (!byIcon && available.contains(clickPoint)) {
        const qint64 fromEdge =
            trayAtBottom ? qint64(available.bottom()) - bottom : top - available.top();
        if (fromEdge <= kThickestBar / 2) {
            top -= fromEdge;
            bottom += fromEdge;
        }
    }
    const qint64 x = (left + right) / 2 - size.width() / 2;
    const qint64 y =
        trayAtBottom ? top - theme::kPopoverGap - size.height() : bottom + 1 + theme::kPopoverGap;
    const qint64 maxX =
        std::max<qint64>(available.left(), qint64(available.right()) + 1 - size.width());
    const qint64 maxY =
        std::max<qint64>(available.top(), qint64(available.bottom()) + 1 - size.height());
    return {QPoint(int(std::clamp<qint64>(x, available.left(), maxX)),
                   int(std::clamp<qint64>(y, available.top(), maxY))),
            size};
}

void Popover::show(const QRect &anchor, const QPoint &clickPoint)
{
    const QPoint probe = anchor.isEmpty() ? clickPoint : anchor.center();
    QScreen *screen = QGuiApplication::screenAt(probe);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect available =
        screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    makeContent();
    if (m_standalone) {
        QWidget::show();
    } else {
        // Without a compositor the shadow's margin would be solid black.
        setShadowed(windowblur::probe().compositing);
        const QRect where = placement(anchor, clickPoint, size(), available);
        setGeometry(where);
        // Set on the native window before it maps, as the window manager
        // reads it then; an X11 one drops the states when it hides.
        winId();
        if (!isVisible())
            tasklisthints::skipTaskLists(windowHandle());
        // A Wayland client cannot place its window; KWin lets it ask, and
        // wlroots compositors take a layer surface where it is anchored.
        if (m_layered)
            m_layerPanel.place(windowHandle(), where, screen);
        else
            m_shellPanel.place(windowHandle(), where.topLeft());
        QWidget::show();
    }
    raise();
    // The panel takes the keyboard at once, so Tab and Escape reach it.
    activateWindow();
    if (m_content != nullptr) {
        m_content->setFocus(Qt::PopupFocusReason);
    }
}

void Popover::setStandalone(bool standalone)
{
    // Both ways: a tray that comes late takes the window back into a popover.
    m_standalone = standalone;
    if (standalone) {
        m_shellPanel.release();
        m_layerPanel.release();
    }
    setWindowFlags(standalone ? Qt::WindowFlags(Qt::Window) : popoverFlags());
    setAttribute(Qt::WA_TranslucentBackground, !standalone);
    if (standalone)
        setShadowed(false);
}

void Popover::paintEvent(QPaintEvent *)
{
    if (shadowMargins().isNull() || m_content == nullptr)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(m_content->geometry()), theme::kPopoverCornerRadius,
                         theme::kPopoverCornerRadius);
    m_shadow.paint(painter, shape, theme::kPopoverShadow.color(colorSchemeOf(palette())),
                   theme::kPopoverShadowRadius, QPointF(0, theme::kPopoverShadowOffsetY));
}

void Popover::performClose()
{
    if (m_standalone) {
        showMinimized();
    } else {
        hide();
    }
}

void Popover::closeEvent(QCloseEvent *event)
{
    // The window manager's close button: quitting is what "Esci" is for. A
    // close the program asks for itself goes through.
    if (!event->spontaneous()) {
        QWidget::closeEvent(event);
        return;
    }
    event->ignore();
    performClose();
}

void Popover::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange) {
        Q_EMIT paletteChanged();
    }
    QWidget::changeEvent(event);
}

bool Popover::eventFilter(QObject *watched, QEvent *event)
{
    if (m_standalone || !watched->isWidgetType() ||
        static_cast<QWidget *>(watched)->window() != this)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ToolTip:
        return true;
    // The keys reach the panel once clicked, and go back once the pointer leaves.
    case QEvent::MouseButtonPress:
        m_layerPanel.setKeyboardWanted(true);
        break;
    case QEvent::Leave:
        if (watched == this)
            m_layerPanel.setKeyboardWanted(false);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void Popover::showEvent(QShowEvent *event)
{
    // Whatever shows the window, not only show(anchor, click), finds it made.
    makeContent();
    QWidget::showEvent(event);
    Q_EMIT shownChanged(true);
}

void Popover::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    Q_EMIT shownChanged(false);
}

void Popover::keyPressEvent(QKeyEvent *event)
{
    // Escape closes it, as it does every transient panel on the desktop.
    if (event->key() == Qt::Key_Escape) {
        performClose();
        return;
    }
    QWidget::keyPressEvent(event);
}
