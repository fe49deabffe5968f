// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QWidget>

class AnimatedValue;
class SnappyButton;

// The top of the panel: title, the badge telling how full the shelf is, and
// the close button, which only asks for the popover to close.
class PanelHeader final : public QWidget {
    Q_OBJECT

public:
    explicit PanelHeader(QWidget *parent = nullptr);

    void setEntryCount(qsizetype count);
    QString badgeText() const;
    // The badge's fill as drawn now; it moves to a new count's colour on a spring.
    QColor badgeColor() const;
    // The fill for `count` entries once settled.
    static QColor badgeColorFor(qsizetype count, bool dark);
    SnappyButton *closeButton() const { return m_closeButton; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QRectF badgeRect() const;

    SnappyButton *m_closeButton;
    qsizetype m_count = 0;
    QColor m_badgeFrom;
    AnimatedValue *m_badgeProgress;
};
