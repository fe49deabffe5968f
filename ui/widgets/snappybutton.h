// SPDX-License-Identifier: MIT
#pragma once

#include "focusring.h"

#include <QAbstractButton>

#include <functional>

class AnimatedValue;
class Ticker;

// A button that shows only its painted label and answers a press by shrinking
// to 0.9 about its centre and fading to 0.75 on a quick spring, in the drawing
// only, so neighbours never move. Keys, accessible name and tooltip work as on
// any Qt button.
class SnappyButton final : public QAbstractButton {
    Q_OBJECT

public:
    using LabelPainter = std::function<void(QPainter &, const QRectF &)>;

    explicit SnappyButton(QWidget *parent = nullptr, Ticker *ticker = nullptr);

    // Draws the label into the button's rect, which takes `size`.
    void setLabelPainter(LabelPainter painter);
    void setLabelSize(const QSize &size);

    QSize sizeHint() const override { return m_labelSize; }
    QSize minimumSizeHint() const override { return m_labelSize; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void animatePressed(bool pressed);

    LabelPainter m_labelPainter;
    QSize m_labelSize;
    AnimatedValue *m_scale;
    AnimatedValue *m_opacity;
    FocusRing m_focusRing;
};
