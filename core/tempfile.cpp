// SPDX-License-Identifier: MIT
#include "tempfile.h"

#include <QByteArray>

TempFile::TempFile(std::filesystem::path path, std::string originalName, QString sizeString,
                   std::filesystem::path source)
    : m_id(QUuid::createUuid())
    , m_path(std::move(path))
    , m_originalName(std::move(originalName))
    , m_sizeString(std::move(sizeString))
    , m_source(std::move(source))
{
}

QString TempFile::displayName() const
{
    return QString::fromUtf8(m_originalName);
}

QUrl TempFile::url() const
{
    // QUrl::fromLocalFile() would have to decode the bytes first.
    return QUrl::fromEncoded(fileUri(m_path), QUrl::StrictMode);
}

QByteArray fileUri(const std::filesystem::path &path)
{
    return "file://" + QByteArray::fromStdString(path.native()).toPercentEncoding("/");
}

size_t qHash(const TempFile &file, size_t seed) noexcept
{
    return qHashMulti(seed, file.id(), QByteArrayView(file.path().native()),
                      QByteArrayView(file.originalName()), file.sizeString());
}
