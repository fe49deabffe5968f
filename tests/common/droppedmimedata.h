// SPDX-License-Identifier: MIT
#pragma once

#include <QMimeData>
#include <QStringList>
#include <QVariant>

// Offers its text/uri-list bytes untouched, as a drop from another program
// does; QMimeData::setData() would parse and re-encode them first.
class DroppedMimeData final : public QMimeData {
public:
    explicit DroppedMimeData(QByteArray uriList)
        : m_uriList(std::move(uriList))
    {
    }

    QStringList formats() const override { return {QStringLiteral("text/uri-list")}; }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType) const override
    {
        return mimeType == u"text/uri-list" ? QVariant(m_uriList) : QVariant();
    }

private:
    const QByteArray m_uriList;
};
