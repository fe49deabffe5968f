// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <memory>

class BackgroundPool;
class StashletManager;
class TempFile;

// The previews of the shelf's entries (see PreviewImage): each made on the pool once its entry
// is listed, delivered on the main thread, forgotten when the entry leaves. They take few of the
// pool's threads at a time, so that however long a read takes, copies still find threads.
class EntryPreviews final : public QObject {
    Q_OBJECT

public:
    EntryPreviews(StashletManager &manager, BackgroundPool &pool, qreal devicePixelRatio = 1.0,
                  QObject *parent = nullptr);
    ~EntryPreviews() override;

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

    struct Lane;

    StashletManager &m_manager;
    BackgroundPool &m_pool;
    qreal m_ratio;
    // Entries listed when last looked, whether or not a preview came for them.
    QSet<QUuid> m_listed;
    QHash<QUuid, QImage> m_previews;
    // Read by the results queued from the pool: they are dropped once this is gone.
    std::shared_ptr<EntryPreviews *> m_self = std::make_shared<EntryPreviews *>(this);
    // Shared with the pool threads that work through it.
    std::shared_ptr<Lane> m_lane;
};
