// SPDX-License-Identifier: MIT
#include "entrypreviews.h"

#include "backgroundpool.h"
#include "mainqueue.h"
#include "previewimage.h"
#include "stashletmanager.h"

EntryPreviews::EntryPreviews(StashletManager &manager, BackgroundPool &pool, qreal devicePixelRatio,
                             QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_pool(pool)
    , m_ratio(devicePixelRatio)
{
    connect(&manager, &StashletManager::tempFilesChanged, this, &EntryPreviews::followEntries);
    followEntries();
}

void EntryPreviews::setDevicePixelRatio(qreal ratio)
{
    if (qFuzzyCompare(ratio, m_ratio)) {
        return;
    }
    m_ratio = ratio;
    for (const TempFile &file : m_manager.tempFiles()) {
        request(file);
    }
}

void EntryPreviews::followEntries()
{
    QSet<QUuid> listed;
    for (const TempFile &file : m_manager.tempFiles()) {
        listed.insert(file.id());
        if (!m_listed.contains(file.id())) {
            request(file);
        }
    }
    m_previews.removeIf([&](const auto &preview) { return !listed.contains(preview.key()); });
    m_listed = std::move(listed);
}

void EntryPreviews::request(const TempFile &file)
{
    m_pool.async([self = std::weak_ptr<EntryPreviews *>(m_self), id = file.id(),
                  staged = file.path(), source = file.source(),
                  ratio = m_ratio](const CancelToken &) {
        QImage image = PreviewImage::make(staged, source, kLogicalSize, ratio);
        MainQueue::async([self, id, ratio, image = std::move(image)] {
            const auto alive = self.lock();
            if (!alive) {
                return;
            }
            EntryPreviews &previews = **alive;
            // Gone from the shelf meanwhile, or made for a ratio since replaced.
            if (!previews.m_listed.contains(id) || !qFuzzyCompare(ratio, previews.m_ratio) ||
                image.isNull()) {
                return;
            }
            previews.m_previews.insert(id, image);
            Q_EMIT previews.previewReady(id);
        });
    });
}
