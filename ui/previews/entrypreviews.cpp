// SPDX-License-Identifier: MIT
#include "entrypreviews.h"

#include "backgroundpool.h"
#include "mainqueue.h"
#include "previewimage.h"
#include "stashletmanager.h"
#include "theme.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

namespace {
// The side of the square a preview fits, in device-independent pixels: the
// type icon's, whose place it takes.
constexpr int kLogicalSize = int(theme::kFileIconFrame.width());
// How many previews are made at once; the others wait their turn.
constexpr int kLaneWidth = 2;
} // namespace

struct EntryPreviews::Lane {
    std::mutex mutex;
    // The latest request of each entry not yet started, oldest first.
    std::deque<std::pair<QUuid, std::function<void()>>> waiting;
    int running = 0;

    // On a pool thread: makes previews until none waits. The pool's cancellation is not heeded:
    // a preview is short, and one that waits is dropped when its entry goes.
    void drain()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::lock_guard lock(mutex);
                if (waiting.empty()) {
                    --running;
                    return;
                }
                job = std::move(waiting.front().second);
                waiting.pop_front();
            }
            job();
        }
    }

    void forgetUnless(const std::function<bool(const QUuid &)> &keep)
    {
        std::lock_guard lock(mutex);
        std::erase_if(waiting, [&](const auto &request) { return !keep(request.first); });
    }
};

EntryPreviews::EntryPreviews(StashletManager &manager, BackgroundPool &pool, qreal devicePixelRatio,
                             QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_pool(pool)
    , m_ratio(devicePixelRatio)
    , m_lane(std::make_shared<Lane>())
{
    connect(&manager, &StashletManager::tempFilesChanged, this, &EntryPreviews::followEntries);
    followEntries();
}

EntryPreviews::~EntryPreviews()
{
    m_lane->forgetUnless([](const QUuid &) { return false; });
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
    m_lane->forgetUnless([&](const QUuid &id) { return listed.contains(id); });
    m_listed = std::move(listed);
}

void EntryPreviews::request(const TempFile &file)
{
    std::function<void()> job = [self = std::weak_ptr<EntryPreviews *>(m_self), id = file.id(),
                                 staged = file.path(), source = file.source(), ratio = m_ratio] {
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
    };
    bool start = false;
    {
        std::lock_guard lock(m_lane->mutex);
        auto &waiting = m_lane->waiting;
        const auto same = std::find_if(waiting.begin(), waiting.end(), [&](const auto &request) {
            return request.first == file.id();
        });
        if (same != waiting.end()) {
            same->second = std::move(job);
        } else {
            waiting.emplace_back(file.id(), std::move(job));
        }
        start = m_lane->running < kLaneWidth;
        m_lane->running += start;
    }
    if (start) {
        m_pool.async([lane = m_lane](const CancelToken &) { lane->drain(); });
    }
}
