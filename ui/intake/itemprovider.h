// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

class BackgroundPool;
class QMimeData;

// One dropped item as the desktop offers it. Loading finishes on a worker thread.
class ItemProvider {
public:
    using Item = std::variant<std::monostate, QUrl, QByteArray, QString>; // monostate = no item
    using Completion = std::function<void(const Item &item, bool failed)>;
    virtual ~ItemProvider() = default;
    virtual bool hasItemConformingToTypeIdentifier(const QString &typeIdentifier) const = 0;
    // Starts loading; `completion` runs exactly once, on a thread of the provider's choosing.
    virtual void loadItem(const QString &typeIdentifier, Completion completion) = 0;
};

inline const QString kFileUrlTypeIdentifier = QStringLiteral("public.file-url");

// One provider per URL of the drop's text/uri-list, in order; loads run on `pool`.
// "public.file-url" is conformed to by file: URLs only.
std::vector<std::shared_ptr<ItemProvider>> itemProvidersFromMimeData(const QMimeData &data,
                                                                     BackgroundPool &pool);

// The exact bytes of a local file URL's path (percent-decoded, never through QString decoding, so
// names that are not UTF-8 survive); nullopt for anything that is not a local file URL (other
// schemes, a host other than empty/localhost, relative, empty path).
std::optional<std::filesystem::path> localFilePath(const QUrl &url);
