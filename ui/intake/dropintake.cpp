// SPDX-License-Identifier: MIT
#include "dropintake.h"

#include "dispatchgroup.h"
#include "stashletmanager.h"
#include "texts.h"

#include <QPointer>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <type_traits>

using namespace std::chrono_literals;

namespace {

constexpr auto kBannerHideDelay = 3000ms;

// Shared by every load of one drop, whose completions may run at once on
// different threads, and by the drop's final step.
struct CollectedPaths {
    std::mutex mutex;
    std::vector<std::filesystem::path> paths;
};

std::optional<QUrl> resolveUrl(const ItemProvider::Item &item)
{
    return std::visit(
        [](const auto &value) -> std::optional<QUrl> {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, QUrl>) {
                return value;
            } else if constexpr (std::is_same_v<T, QByteArray>) {
                return QUrl::fromEncoded(value);
            } else if constexpr (std::is_same_v<T, QString>) {
                // Strict, as a URL parser that refuses what is not a URL
                // (a bare space, a stray '%') rather than repairing it.
                return QUrl(value, QUrl::StrictMode);
            } else {
                return std::nullopt;
            }
        },
        item);
}

} // namespace

DropIntake::DropIntake(CountEntries countEntries, AddFile addFile, QObject *parent)
    : QObject(parent)
    , m_countEntries(std::move(countEntries))
    , m_addFile(std::move(addFile))
{
}

bool DropIntake::handleDrop(const std::vector<std::shared_ptr<ItemProvider>> &providers)
{
    constexpr qsizetype kLimit = StashletManager::kLimit;
    const qsizetype count = m_countEntries() + m_loading;
    if (count >= kLimit) {
        showError(Texts::limitReached(kLimit));
        return false;
    }

    std::vector<std::shared_ptr<ItemProvider>> accepted;
    for (const auto &provider : providers) {
        if (provider && provider->hasItemConformingToTypeIdentifier(kFileUrlTypeIdentifier)) {
            accepted.push_back(provider);
        }
    }
    if (accepted.empty()) {
        return false;
    }

    const qsizetype room = kLimit - count;
    const auto acceptedCount = qsizetype(accepted.size());
    if (room < acceptedCount) {
        showError(Texts::onlyRoomFor(room));
    }

    DispatchGroup group;
    auto collected = std::make_shared<CollectedPaths>();
    const qsizetype taken = std::min(acceptedCount, room);
    m_loading += taken;
    for (qsizetype i = 0; i < taken; ++i) {
        group.enter();
        accepted[size_t(i)]->loadItem(
            kFileUrlTypeIdentifier,
            [group, collected](const ItemProvider::Item &item, bool) mutable {
                const std::optional<QUrl> url = resolveUrl(item);
                if (std::optional<std::filesystem::path> path =
                        url ? localFilePath(*url) : std::nullopt) {
                    std::lock_guard lock(collected->mutex);
                    collected->paths.push_back(std::move(*path));
                }
                group.leave();
            });
    }
    group.notify([self = QPointer<DropIntake>(this), collected, taken] {
        // A drop that outlives the panel must not add files behind a store
        // that has already been cleared for quitting.
        if (!self) {
            return;
        }
        self->m_loading -= taken;
        for (const std::filesystem::path &path : collected->paths) {
            self->m_addFile(path);
        }
    });
    return true;
}

void DropIntake::showError(const QString &message)
{
    if (m_errorTimer) {
        m_errorTimer->invalidate();
    }
    setErrorMessage(message);
    m_errorTimer =
        std::make_unique<OneShotTimer>(kBannerHideDelay, [this] { setErrorMessage(std::nullopt); });
}

void DropIntake::dismissError()
{
    if (m_errorTimer) {
        m_errorTimer->invalidate();
    }
    setErrorMessage(std::nullopt);
}

void DropIntake::setErrorMessage(std::optional<QString> message)
{
    if (m_errorMessage == message) {
        return;
    }
    m_errorMessage = std::move(message);
    Q_EMIT errorMessageChanged();
}
