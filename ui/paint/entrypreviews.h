// SPDX-License-Identifier: MIT
#pragma once

#include "theme.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <memory>

class BackgroundPool;
class StashletManager;
class TempFile;

// The previews of the shelf's entries (see PreviewImage): each made on the
// pool once its entry is listed, delivered on the main thread, and forgotten
// when the entry leaves the shelf.
class EntryPreviews final : public QObject {
    Q_OBJECT

public:
    // The side of the square a preview fits, in device-independent pixels:
    // the type icon's, whose place it takes.
    static constexpr int kLogicalSize = int(theme::kFileIconFrame.width());

    EntryPreviews(StashletManager &manager, BackgroundPool &pool, qreal devicePixelRatio = 1.0,
                  QObject *parent = nullptr);

    // Null until it is ready, and for an entry that has none: the type icon stays.
    QImage preview(const QUuid &entry) const { return m_previews.value(entry); }
    // Makes every preview again at `ratio` (the panel moved to another screen);
    // the old ones show until the new ones are ready.
    void setDevicePixelRatio(qreal ratio);

Q_SIGNALS:
    void previewReady(const QUuid &entry);

private:
    void followEntries();
    void request(const TempFile &file);

    StashletManager &m_manager;
    BackgroundPool &m_pool;
    qreal m_ratio;
    // Entries listed when last looked, whether or not a preview came for them.
    QSet<QUuid> m_listed;
    QHash<QUuid, QImage> m_previews;
    // Read by the results queued from the pool: they are dropped once this is gone.
    std::shared_ptr<EntryPreviews *> m_self = std::make_shared<EntryPreviews *>(this);
};
