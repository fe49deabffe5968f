// SPDX-License-Identifier: MIT
#pragma once

#include "animatedvalue.h"
#include "softshadow.h"

#include <QWidget>

#include <algorithm>
#include <optional>

// Draws the drop highlight and the error banner above the content area, and
// lets every mouse and drag event through. To a screen reader it is the
// banner: an alert named by its message while one shows.
class ContentOverlay final : public QWidget {
    Q_OBJECT

public:
    explicit ContentOverlay(QWidget *parent);

    // Fades the drop highlight in or out.
    void setHighlighted(bool highlighted);
    // Brings the banner in with `message`, or takes it out with none.
    void setMessage(const std::optional<QString> &message);

    double highlightOpacity() const { return m_highlight->value(); }
    double bannerOpacity() const { return std::clamp(m_banner->value(), 0.0, 1.0); }
    const QString &bannerText() const { return m_bannerText; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Where the banner is drawn now.
    QRectF bannerRect() const;

    AnimatedValue *m_highlight;
    AnimatedValue *m_banner;
    QString m_bannerText; // kept while the banner fades out
    SoftShadow m_shadow;
};
