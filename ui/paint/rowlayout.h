// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QStaticText>
#include <QString>

// Where the pieces of a file row's card sit: the icon at the left, the name over the size
// beside it, the two button discs at the right. A name too long loses its middle, so its start
// and its extension stay.
class RowLayout final {
public:
    static QFont nameFont();
    static QFont sizeFont();
    // The least card that shows the icon, a few letters and both buttons.
    static QSize cardSizeHint();

    void place(const QRectF &card, const QString &name, const QString &size);

    QRectF airDropDisc() const { return m_airDropDisc; }
    QRectF removeDisc() const { return m_removeDisc; }
    const QStaticText &name() const { return m_name; }
    const QStaticText &size() const { return m_size; }
    QPointF namePos() const { return m_namePos; }
    QPointF sizePos() const { return m_sizePos; }

private:
    QRectF m_airDropDisc;
    QRectF m_removeDisc;
    QStaticText m_name;
    QStaticText m_size;
    QPointF m_namePos;
    QPointF m_sizePos;
};
