// SPDX-License-Identifier: MIT
#pragma once

#include "colorscheme.h"
#include "softshadow.h"

#include <QFont>
#include <QWidget>

#include <optional>

class AnimatedValue;

// Draws the drop highlight and the error banner above whatever the content
// area shows, and lets every mouse and drag event through to what lies
// below. To a screen reader it is the banner: an alert named by its message
// while one shows.
class ContentOverlay final : public QWidget {
    Q_OBJECT

public:
    explicit ContentOverlay(QWidget *parent);

    static QFont bannerFont();

    // Fades the drop highlight in or out.
    void setHighlighted(bool highlighted);
    // Brings the banner in with `message`, or takes it out with none.
    void setMessage(const std::optional<QString> &message);

    // Where the banner and the highlight are drawn now, in this widget's coordinates.
    QRectF bannerRect() const;
    QRectF highlightRect() const;
    double highlightOpacity() const;
    double bannerOpacity() const;
    const QString &bannerText() const { return m_bannerText; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintHighlight(QPainter &painter, ColorScheme scheme);
    void paintBanner(QPainter &painter);

    AnimatedValue *m_highlight;
    AnimatedValue *m_banner;
    QString m_bannerText; // kept while the banner fades out
    SoftShadow m_shadow;
};
