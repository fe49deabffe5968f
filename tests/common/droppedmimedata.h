// SPDX-License-Identifier: MIT
#pragma once

#include <QMimeData>
#include <QStringList>
#include <QVariant>

// Offers its bytes untouched, as a drop or another program's clipboard does
// (QMimeData::setData() would parse and re-encode a uri-list first), and
// counts how often it is asked: on X11 each ask of another program's
// clipboard is a round trip that waits up to 5 s for an owner that may never
// answer.
class DroppedMimeData final : public QMimeData {
public:
    explicit DroppedMimeData(QByteArray payload, QString format = QStringLiteral("text/uri-list"))
        : m_payload(std::move(payload))
        , m_format(std::move(format))
    {
    }

    QStringList formats() const override
    {
        ++formatsAsked;
        return {m_format};
    }
    mutable int formatsAsked = 0;
    mutable int dataRead = 0;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType) const override
    {
        ++dataRead;
        return mimeType == m_format ? QVariant(m_payload) : QVariant();
    }

private:
    const QByteArray m_payload;
    const QString m_format;
};
