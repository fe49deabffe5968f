// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QWidget>

class QImage;

// The AirDrop glyph in one colour, stretched to exactly the widget's frame.
// Without a template image it shows the sharing glyph, same colour, at its
// own size.
class AirDropLogoView final : public QWidget {
    Q_OBJECT

public:
    explicit AirDropLogoView(const QColor &color, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);

    // Shared with buttons that draw the glyph inside their own label.
    static void paint(QPainter &painter, const QRectF &frame, const QColor &color,
                      const QImage *templateImage);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};
