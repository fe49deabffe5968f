// SPDX-License-Identifier: MIT
#include "itemprovider.h"

#include "backgroundpool.h"

#include <QMimeData>

namespace {

const QString kUriListMimeType = QStringLiteral("text/uri-list");

class UriListItemProvider final : public ItemProvider {
public:
    UriListItemProvider(QUrl url, BackgroundPool &pool)
        : m_url(std::move(url))
        , m_pool(pool)
    {
    }

    bool hasItemConformingToTypeIdentifier(const QString &typeIdentifier) const override
    {
        return typeIdentifier == kFileUrlTypeIdentifier && m_url.scheme() == u"file";
    }

    void loadItem(const QString &typeIdentifier, Completion completion) override
    {
        const bool conforms = hasItemConformingToTypeIdentifier(typeIdentifier);
        // The token is ignored: a load is a copy of a URL, and the completion
        // must run exactly once even when the pool is being cancelled.
        m_pool.async(
            [url = m_url, conforms, completion = std::move(completion)](const CancelToken &) {
                if (conforms) {
                    completion(url, false);
                } else {
                    completion(Item(), true);
                }
            });
    }

private:
    const QUrl m_url;
    BackgroundPool &m_pool;
};

// A uri-list is ASCII, but some senders write a name's raw bytes into it.
// QUrl would decode those as UTF-8 and replace what is not; escaping them
// first keeps the name's exact bytes.
QByteArray escapeNonAscii(const QByteArray &line)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray escaped;
    escaped.reserve(line.size());
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f) {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0xf];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

} // namespace

std::vector<std::shared_ptr<ItemProvider>> itemProvidersFromMimeData(const QMimeData &data,
                                                                     BackgroundPool &pool)
{
    std::vector<std::shared_ptr<ItemProvider>> providers;
    if (!data.hasFormat(kUriListMimeType)) {
        return providers;
    }
    const QList<QByteArray> lines = data.data(kUriListMimeType).split('\n');
    for (const QByteArray &rawLine : lines) {
        const QByteArray line = rawLine.trimmed();
        // RFC 2483: lines starting with '#' are comments.
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        QUrl url = QUrl::fromEncoded(escapeNonAscii(line));
        if (url.isValid()) {
            providers.push_back(std::make_shared<UriListItemProvider>(std::move(url), pool));
        }
    }
    return providers;
}

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
    // The fully encoded path is pure ASCII, so Latin-1 is exact, and decoding
    // the escapes ourselves yields bytes without any detour through UTF-16.
    const QByteArray bytes =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    // A NUL would silently cut the path short at the first system call.
    if (!bytes.startsWith('/') || bytes.contains('\0')) {
        return std::nullopt;
    }
    return std::filesystem::path(std::string(bytes.constData(), size_t(bytes.size())));
}
