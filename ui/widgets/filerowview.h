// SPDX-License-Identifier: MIT
#pragma once

#include "animatedvalue.h"
#include "colorscheme.h"
#include "filedrag.h"
#include "focusring.h"
#include "rowcardimages.h"
#include "rowlayout.h"
#include "snappybutton.h"
#include "tempfile.h"

#include <QImage>
#include <QWidget>

#include <memory>

class QMimeData;
class StashletManager;

// One shelf entry as a card: icon, name, size, and buttons that share or
// remove it. The card drags the staged copy; Enter or a double click opens
// it, Delete removes it. The row only asks the store, and the panel drops it
// when the store publishes.
class FileRowView final : public QWidget {
    Q_OBJECT

public:
    FileRowView(const TempFile &file, StashletManager &manager, QWidget *parent = nullptr);

    const TempFile &file() const { return m_file; }
    // The panel keeps a row per entry id and hands it the entry again.
    void setFile(const TempFile &file);
    // Drawn, already framed, in place of the type icon; null brings it back.
    void setPreview(const QImage &preview);
    bool showsPreview() const { return !m_preview.isNull(); }

    bool isHovered() const { return m_cardHover->target() == 1.0; }
    // Hands the staged copy to the desktop's opener (xdg-open on Linux).
    void open() const;
    bool showsFocusRing() const { return m_focusRing.isShown(*this); }
    SnappyButton *airDropButton() const { return m_airDropButton; }
    SnappyButton *removeButton() const { return m_removeButton; }

    // The card fills the contents rect; its shadow and hovered scale reach
    // these margins past it, which the list takes off its own spacing.
    static QMargins overflowMargins();
    // What a drag of the card carries.
    std::unique_ptr<QMimeData> mimeDataForDrag() const { return FileDrag::mimeData({m_file}); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QRectF cardRect() const;
    // The card's drawn scale, 1.0 at rest and 1.015 hovered, about its centre
    // in the coordinates of a child at `origin`; the layout never sees it.
    double cardScale() const;
    QTransform cardTransform(QPointF origin = {}) const;
    void layoutContent();
    void remove();
    void startDrag(QPoint pressPos);
    void paintButtonLabel(QPainter &painter, const QRectF &frame, const SnappyButton *button) const;

    TempFile m_file;
    StashletManager &m_manager;
    AnimatedValue *m_cardHover;
    AnimatedValue *m_airDropHover;
    AnimatedValue *m_deleteHover;
    SnappyButton *m_airDropButton;
    SnappyButton *m_removeButton;
    RowLayout m_layout;
    QPoint m_pressPos;
    bool m_pressed = false;
    FocusRing m_focusRing;

    RowCardImages m_images;
    QImage m_preview; // over the icon's shadow, padded as the icon is
};
