// SPDX-License-Identifier: MIT
#pragma once

#include "windowblur.h"

#include <QWidget>

// The panel's backdrop: a tinted material over a blur of what lies behind the
// window where the compositor is known to blur it, else the same tint opaque
// (sharp windows' text would read through). Composited, it has rounded
// corners and a rim. It never greys out when another window takes focus.
class VisualEffectView final : public QWidget {
    Q_OBJECT

public:
    explicit VisualEffectView(QWidget *parent = nullptr);

    // What the window system offers; probed again each time the view shows.
    void setWindowSupport(windowblur::Support support);
    // The tint shows what is behind the window, blurred.
    bool isTranslucent() const;
    // Rounded corners and a rim, for a window composited over the desktop.
    bool hasChrome() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void requestBlur();

    windowblur::Support m_support;
};
