// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QWidget>

// The AirDrop glyph in one colour, stretched to exactly the widget's frame.
// Without a template image it shows the sharing glyph, same colour, at its
// own size.
class AirDropLogoView final : public QWidget {
    Q_OBJECT

public:
    explicit AirDropLogoView(const QColor &color, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};
