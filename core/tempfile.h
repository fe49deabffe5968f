// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QUrl>
#include <QUuid>

#include <filesystem>
#include <string>

// One entry of the shelf. Immutable; every construction makes a new identity,
// so two entries are never equal even when they name the same copy.
class TempFile final {
public:
    TempFile(std::filesystem::path path, std::string originalName, QString sizeString,
             std::filesystem::path source = {});

    const QUuid &id() const { return m_id; }
    // The staged copy, inside the staging folder.
    const std::filesystem::path &path() const { return m_path; }
    // The added item's name, exactly its bytes; also the staged copy's name.
    const std::string &originalName() const { return m_originalName; }
    // Empty when the size is not known: the panel says so in its own words.
    const QString &sizeString() const { return m_sizeString; }
    // The item that was added, as it was named then (it may be gone since);
    // empty when not known.
    const std::filesystem::path &source() const { return m_source; }

    // The name for display; bytes that are not UTF-8 show as replacement marks.
    QString displayName() const { return QString::fromUtf8(m_originalName); }
    // A file URL of the staged copy that keeps the path's exact bytes.
    QUrl url() const;

    bool operator==(const TempFile &) const = default;

private:
    QUuid m_id;
    std::filesystem::path m_path;
    std::string m_originalName;
    QString m_sizeString;
    std::filesystem::path m_source;
};

// The file: URI of the absolute `path`, percent-encoded from its bytes: a
// name that is not UTF-8 comes back unchanged when the URI is decoded.
QByteArray fileUri(const std::filesystem::path &path);
