// SPDX-License-Identifier: MIT
#pragma once

#include "colorscheme.h"
#include "filedrag.h"
#include "focusring.h"
#include "rowcardimages.h"
#include "rowlayout.h"
#include "tempfile.h"

#include <QImage>
#include <QWidget>

#include <memory>

class AnimatedValue;
class QAbstractButton;
class QMimeData;
class SnappyButton;
class StashletManager;

// One shelf entry as a card: icon, name, size, and buttons that share the
// file via AirDrop or remove it. The card itself is a drag source of the
// staged copy; Enter or a double click opens the copy, Delete removes it.
// The row never changes the list: it asks the store, and the panel drops
// the row when the store publishes.
class FileRowView final : public QWidget {
    Q_OBJECT

public:
    FileRowView(const TempFile &file, StashletManager &manager, QWidget *parent = nullptr);
    ~FileRowView() override;

    const TempFile &file() const { return m_file; }
    // The panel keeps one row per entry id across re-renders and hands it the
    // entry again; hover state stays.
    void setFile(const TempFile &file);
    // Drawn in place of the type icon, already framed to its size; null
    // brings the icon back.
    void setPreview(const QImage &preview);
    bool showsPreview() const { return !m_preview.isNull(); }

    bool isHovered() const { return m_hovered; }
    // The card's drawn scale, 1.0 at rest and 1.015 hovered (a spring may
    // overshoot briefly); the layout never sees it.
    double cardScale() const;

    // Hands the staged copy to the desktop's opener (xdg-open on Linux),
    // which starts the file's default application.
    void open() const;
    bool showsFocusRing() const { return m_focusRing.isShown(*this); }

    QAbstractButton *airDropButton() const;
    QAbstractButton *removeButton() const;

    // The shadow and the hovered scale reach past the card. The card fills
    // the contents rect, so a list that gives each row these contents
    // margins (and takes them off its own spacing and padding) shows them
    // whole instead of clipped.
    static QMargins overflowMargins();

    // What a drag of the card carries: the staged copy as a file URL, or
    // nothing when there is no such file.
    std::unique_ptr<QMimeData> mimeDataForDrag() const { return FileDrag::mimeData({m_file}); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

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
    void layoutContent();
    void remove();
    void setCardHovered(bool hovered);
    void setButtonHovered(QObject *button, bool hovered);
    void startDrag(QPoint hotSpot);
    void paintButtonLabel(QPainter &painter, const QRectF &frame,
                          const QAbstractButton *button) const;
    void applyCardScale(QPainter &painter, QPointF origin) const;

    TempFile m_file;
    StashletManager &m_manager;
    bool m_hovered = false;
    bool m_airDropHovered = false;
    bool m_deleteHovered = false;
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
