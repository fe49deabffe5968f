// SPDX-License-Identifier: MIT
#pragma once

#include "softshadow.h"

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

    QSize sizeHint() const override;
    static const QString &headline();
    static const QString &hint();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    int hintHeight(int width) const;

    AnimatedValue *m_breatheAmount;
    bool m_isDraggingOver = false;
    SoftShadow m_circleShadow;
    SoftShadow m_symbolShadow;
};
