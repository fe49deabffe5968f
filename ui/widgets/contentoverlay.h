// SPDX-License-Identifier: MIT
#pragma once

#include "colorscheme.h"
#include "softshadow.h"

#include <QFont>
#include <QWidget>

class ContentArea;

// Draws the drop highlight and the error banner above whatever the content
// area shows, and lets every mouse and drag event through to what lies
// below. To a screen reader it is the banner: an alert named by its message
// while one shows.
class ContentOverlay final : public QWidget {
    Q_OBJECT

public:
    explicit ContentOverlay(ContentArea *area);

    static QFont bannerFont();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintHighlight(QPainter &painter, ColorScheme scheme);
    void paintBanner(QPainter &painter);

    ContentArea *m_area;
    SoftShadow m_shadow;
};
