// SPDX-License-Identifier: MIT
#pragma once

#include "pendingcopy.h"
#include "rowcardimages.h"
#include "snappybutton.h"

#include <QStaticText>
#include <QWidget>

// A copy still running, as a card at the list's end: the type icon, the name,
// a bar of the bytes copied so far and a button that cancels it. The panel
// feeds it progress and takes it away.
class PendingRowView final : public QWidget {
    Q_OBJECT

public:
    explicit PendingRowView(const PendingCopy &copy, QWidget *parent = nullptr);

    std::uint64_t copyId() const { return m_copy.id; }
    // Repaints the bar alone, and only when what it shows moved.
    void setProgress(const PendingCopy &copy);
    QRectF barRect() const { return m_bar; }
    SnappyButton *cancelButton() const { return m_cancelButton; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
    void cancelRequested(std::uint64_t id);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutContent();
    void updateAccessibleName();

    PendingCopy m_copy;
    SnappyButton *m_cancelButton;
    QStaticText m_name;
    QPointF m_namePos;
    QRectF m_bar;
    // The bar's last drawn state: a repaint is asked only when it changes.
    int m_shownPermille = -1;
    RowCardImages m_images;
};
