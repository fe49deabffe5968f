// SPDX-License-Identifier: MIT
#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

// The window that holds the panel below the tray icon. It never closes by
// itself, not even when another window takes focus: only the tray
// controller opens and closes it.
class Popover final : public QWidget {
    Q_OBJECT

public:
    explicit Popover(QWidget *parent = nullptr);

    void setContentSize(const QSize &size);
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

    bool isShown() const { return isVisible(); }
    // Opens below `anchor` (the tray icon, global coordinates), above it when
    // the icon sits in the lower half of its screen, or at `clickPoint` where
    // the tray tells no geometry; always inside the screen.
    void show(const QRect &anchor, const QPoint &clickPoint);
    void performClose();

    // Where a window of `size` opens for that anchor and click on a screen
    // whose free area is `available`.
    static QRect placement(const QRect &anchor, const QPoint &clickPoint, const QSize &size,
                           const QRect &available);

Q_SIGNALS:
    void shownChanged(bool shown);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *m_content = nullptr;
};
