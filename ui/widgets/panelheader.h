// SPDX-License-Identifier: MIT
#pragma once

#include "tempfile.h"

#include <QColor>
#include <QList>
#include <QWidget>

#include <memory>

class AnimatedValue;
class QMimeData;
class SnappyButton;

// The top of the panel: title, the badge telling how full the shelf is, and
// the close button, which only asks for the popover to close. Dragging the
// badge drags every staged file at once.
class PanelHeader final : public QWidget {
    Q_OBJECT

public:
    explicit PanelHeader(QWidget *parent = nullptr);

    void setEntryCount(qsizetype count);
    // The shelf's entries: the count, and what a drag of the badge carries.
    void setFiles(const QList<TempFile> &files);
    // What a drag of the badge carries now; null while the shelf is empty.
    std::unique_ptr<QMimeData> mimeDataForDrag() const;
    QString badgeText() const;
    SnappyButton *closeButton() const { return m_closeButton; }
    QRectF badgeRect() const;

    QSize sizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    bool badgeDraggableAt(QPointF pos) const;
    // The badge's fill as drawn now; it moves to a new count's colour on a spring.
    QColor badgeColor() const;

    SnappyButton *m_closeButton;
    qsizetype m_count = 0;
    QColor m_badgeFrom;
    AnimatedValue *m_badgeProgress;
    QList<TempFile> m_files;
    QPoint m_pressPos;
    bool m_pressed = false;
};
