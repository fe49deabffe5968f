// SPDX-License-Identifier: MIT
#include "tempfile.h"

#include <QByteArray>

TempFile::TempFile(std::filesystem::path url, std::string originalName, QString sizeString,
                   std::filesystem::path source)
    : m_id(QUuid::createUuid())
    , m_url(std::move(url))
    , m_originalName(std::move(originalName))
    , m_sizeString(std::move(sizeString))
    , m_source(std::move(source))
{
}

QString TempFile::displayName() const
{
    return QString::fromUtf8(m_originalName);
}

QUrl TempFile::fileUrl() const
{
    // Percent-encoding the raw bytes keeps names that are not UTF-8 intact;
    // QUrl::fromLocalFile() would have to decode them first.
    const QByteArray path = QByteArray::fromStdString(m_url.native()).toPercentEncoding("/");
    return QUrl::fromEncoded("file://" + path, QUrl::StrictMode);
}

size_t qHash(const TempFile &file, size_t seed) noexcept
{
    return qHashMulti(seed, file.id(), QByteArrayView(file.url().native()),
                      QByteArrayView(file.originalName()), file.sizeString());
}
