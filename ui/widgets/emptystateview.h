// SPDX-License-Identifier: MIT
#pragma once

#include "softshadow.h"

#include <QHash>
#include <QImage>
#include <QWidget>

class AnimatedValue;

// What the content area shows while the shelf is empty: a softly breathing
// drop badge and an invitation naming the limit.
class EmptyStateView final : public QWidget {
    Q_OBJECT

public:
    explicit EmptyStateView(QWidget *parent = nullptr);

    // A drag with files over the panel makes the badge reach out.
    void setDraggingOver(bool draggingOver);
    // The badge's current scale: 1.1 under a drag, else the breathing scale.
    double badgeScale() const;

    // Where the badge draws at any scale, shadows included: all a breathing step repaints.
    QRect badgeArea() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int scaleStep() const;
    void onScaleChanged();
    void dropCaches();
    const QImage &badgeImage(int step, qreal dpr);
    const QImage &textImage(qreal dpr);

    AnimatedValue *m_breatheAmount;
    bool m_isDraggingOver = false;
    SoftShadow m_circleShadow;
    SoftShadow m_symbolShadow;
    // The badge at each step of scale, and the texts, drawn once: a step of
    // the breathing only blits one image over the backdrop.
    QHash<int, QImage> m_badges;
    QImage m_texts;
    QRectF m_circle; // at rest, laid out on resize
    int m_paintedStep = -1;
};
