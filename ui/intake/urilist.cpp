// SPDX-License-Identifier: MIT
#include "urilist.h"

#include <QByteArray>
#include <QUrl>

#include <climits>
#include <optional>

namespace {

// A path's every byte escaped, behind the longest host: longer lines name no
// file, and are refused without being escaped or parsed.
constexpr qsizetype kMaxLineBytes = qsizetype(sizeof("file://localhost")) + 3 * PATH_MAX;

// A uri-list is ASCII, but some senders write a name's raw bytes (or a bare
// space) into it. QUrl would decode those as UTF-8 and replace what is not;
// escaping them first keeps the name's exact bytes. An escape already there
// is kept as it is.
void escapeInto(QByteArray &escaped, QByteArrayView line)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    escaped.clear();
    escaped.reserve(3 * line.size());
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f) {
            const char triple[] = {'%', kHex[byte >> 4], kHex[byte & 0xf]};
            escaped.append(triple, 3);
        } else {
            escaped.append(c);
        }
    }
}

// The exact bytes of a local file URL's path, decoded from its escapes
// without any detour through UTF-16; nullopt for other schemes, a host other
// than none or localhost, a user or a port, a relative or empty path.
std::optional<std::filesystem::path> localFilePath(const QUrl &url)
{
    if (!url.isValid() || url.scheme() != u"file" || !url.userInfo().isEmpty() ||
        url.port() != -1) {
        return std::nullopt;
    }
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(u"localhost", Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    // The fully encoded path is pure ASCII, so Latin-1 is exact.
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    // A NUL would silently cut the path short at the first system call.
    if (!bytes.startsWith('/') || bytes.contains('\0')) {
        return std::nullopt;
    }
    return std::filesystem::path(std::string(bytes.constData(), size_t(bytes.size())));
}

} // namespace

UriList::Files UriList::read(QByteArrayView list, qsizetype wanted)
{
    Files files;
    // libfm (PCManFM) ends its lists with the C string's terminator.
    while (list.endsWith('\0'))
        list.chop(1);
    QByteArray escaped;
    for (qsizetype lines = 0; !list.isEmpty() && lines < kMaxLines; ++lines) {
        const qsizetype end = list.indexOf('\n');
        const QByteArrayView line = (end < 0 ? list : list.first(end)).trimmed();
        list = end < 0 ? QByteArrayView() : list.sliced(end + 1);
        // RFC 2483: lines starting with '#' are comments.
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.size() > kMaxLineBytes) {
            ++files.refused;
            continue;
        }
        escapeInto(escaped, line);
        ++files.parsed;
        std::optional<std::filesystem::path> path = localFilePath(QUrl::fromEncoded(escaped));
        if (!path) {
            ++files.refused;
        } else if (qsizetype(files.paths.size()) == wanted) {
            files.more = true;
            break;
        } else {
            files.paths.push_back(std::move(*path));
        }
    }
    return files;
}
