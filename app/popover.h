// SPDX-License-Identifier: MIT
#pragma once

#include "layershellpanel.h"
#include "plasmashellpanel.h"
#include "softshadow.h"

#include <QPoint>
#include <QRect>
#include <QWidget>

#include <functional>

// The window that holds the panel below the tray icon. It never closes by
// itself, not even when another window takes focus.
class Popover final : public QWidget {
    Q_OBJECT

public:
    explicit Popover(QWidget *parent = nullptr);

    void setContentSize(const QSize &size);
    void setContent(QWidget *content);
    // Made when the popover first opens: a panel nobody opened costs neither
    // start-up time nor the memory of its fonts and images.
    void setContent(std::function<QWidget *()> make);
    // Null until the content is made.
    QWidget *content() const { return m_content; }

    bool isShown() const { return isVisible(); }
    // Without a tray the panel lives in an ordinary window, placed by the
    // window manager, that minimises rather than hides.
    void setStandalone(bool standalone);
    // Opens the panel below `anchor` (the tray icon, global coordinates), or
    // above it in the lower half of its screen, or at `clickPoint` where the
    // tray tells no geometry; always on screen. Where a compositor runs, the
    // window reaches `shadowMargins()` past the panel, for its shadow.
    void show(const QRect &anchor, const QPoint &clickPoint);
    QMargins shadowMargins() const;
    void performClose();

    // Where a window of `size` opens for that anchor and click on a screen
    // whose free area is `available`.
    static QRect placement(const QRect &anchor, const QPoint &clickPoint, const QSize &size,
                           const QRect &available);

Q_SIGNALS:
    void shownChanged(bool shown);
    // The desktop's colours changed, the tray's foreground among them.
    void paletteChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void makeContent();
    void setShadowed(bool shadowed);
    Qt::WindowFlags popoverFlags() const;

    QSize m_contentSize;
    SoftShadow m_shadow;
    PlasmaShellPanel m_shellPanel;
    LayerShellPanel m_layerPanel;
    // KWin, which offers both, keeps its plasma-shell path.
    const bool m_layered = !PlasmaShellPanel::offered() && LayerShellPanel::offered();
    QWidget *m_content = nullptr;
    std::function<QWidget *()> m_makeContent;
    bool m_standalone = false;
};
