// SPDX-License-Identifier: MIT
#include "snappybutton.h"

#include "animatedvalue.h"
#include "colorscheme.h"
#include "theme.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

SnappyButton::SnappyButton(QWidget *parent, Ticker *ticker)
    : QAbstractButton(parent)
    , m_scale(new AnimatedValue(1.0, this, ticker))
    , m_opacity(new AnimatedValue(1.0, this, ticker))
{
    // Tab reaches it; a click leaves the focus where it was, so Return
    // never repeats what the mouse just did.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_TranslucentBackground);
    connect(this, &QAbstractButton::pressed, this, [this] { animatePressed(true); });
    connect(this, &QAbstractButton::released, this, [this] { animatePressed(false); });
    connect(m_scale, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));
    connect(m_opacity, &AnimatedValue::changed, this, qOverload<>(&QWidget::update));
}

void SnappyButton::setLabelPainter(LabelPainter painter)
{
    m_labelPainter = std::move(painter);
    update();
}

void SnappyButton::setLabelSize(const QSize &size)
{
    m_labelSize = size;
    updateGeometry();
}

void SnappyButton::animatePressed(bool pressed)
{
    m_scale->animateTo(pressed ? theme::kPressedScale : 1.0, theme::kPressSpring);
    m_opacity->animateTo(pressed ? theme::kPressedOpacity : 1.0, theme::kPressSpring);
}

void SnappyButton::keyPressEvent(QKeyEvent *event)
{
    // Plain Qt buttons take Space only; a button that looks like a label
    // should also answer Enter, as dialogs have taught people.
    if (!event->isAutoRepeat() &&
        (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void SnappyButton::focusInEvent(QFocusEvent *event)
{
    m_focusRing.focusIn(event->reason());
    QAbstractButton::focusInEvent(event);
}

void SnappyButton::hideEvent(QHideEvent *event)
{
    // Qt hands the focus of a widget that goes to the next one in the tab
    // chain, as if Tab had been pressed: after "Cancella Tutto" that is
    // "Esci", ringed, where a second Return quits. The window takes it back
    // instead, as when it opened.
    QWidget *home = window();
    if (hasFocus() && home != this && home->isVisible())
        home->setFocus(Qt::OtherFocusReason);
    QAbstractButton::hideEvent(event);
}

void SnappyButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = rect();
    if (m_focusRing.isShown(*this)) {
        QPainterPath outline;
        outline.addRoundedRect(frame, theme::kFocusRingRadius, theme::kFocusRingRadius);
        FocusRing::paint(painter, outline, colorSchemeOf(palette()));
    }
    painter.setOpacity(m_opacity->value());
    const double scale = m_scale->value();
    painter.translate(frame.center());
    painter.scale(scale, scale);
    painter.translate(-frame.center());
    if (m_labelPainter)
        m_labelPainter(painter, frame);
}
