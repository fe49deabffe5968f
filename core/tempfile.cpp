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

QUrl TempFile::url() const
{
    // QUrl::fromLocalFile() would have to decode the bytes first.
    return QUrl::fromEncoded(fileUri(m_path), QUrl::StrictMode);
}

QByteArray fileUri(const std::filesystem::path &path)
{
    return "file://" + QByteArray::fromStdString(path.native()).toPercentEncoding("/");
}
