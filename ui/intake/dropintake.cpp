// SPDX-License-Identifier: MIT
#include "dropintake.h"

#include "stashletmanager.h"
#include "texts.h"
#include "urilist.h"

#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;

namespace {

constexpr auto kBannerHideDelay = 3000ms;

} // namespace

DropIntake::DropIntake(CountEntries countEntries, AddFile addFile, QObject *parent)
    : QObject(parent)
    , m_countEntries(std::move(countEntries))
    , m_addFile(std::move(addFile))
{
    m_errorTimer.setSingleShot(true);
    m_errorTimer.setTimerType(Qt::PreciseTimer);
    m_errorTimer.setInterval(kBannerHideDelay);
    connect(&m_errorTimer, &QTimer::timeout, this, [this] { setErrorMessage(std::nullopt); });
}

bool DropIntake::take(QByteArrayView uriList, bool pasted)
{
    constexpr qsizetype kLimit = StashletManager::kLimit;
    const qsizetype room = std::max(kLimit - m_countEntries(), qsizetype(0));
    const UriList::Files files = UriList::read(uriList, room);
    if (pasted && files.paths.empty() && !files.more) {
        showError(Texts::nothingToPaste());
        return false;
    }
    if (room == 0) {
        showError(Texts::limitReached(kLimit));
        return false;
    }
    if (files.more)
        showError(Texts::onlyRoomFor(room));
    for (const std::filesystem::path &path : files.paths)
        m_addFile(path);
    return !files.paths.empty();
}

void DropIntake::showError(const QString &message)
{
    setErrorMessage(message);
    // A new message shows for the whole delay again.
    m_errorTimer.start();
}

void DropIntake::dismissError()
{
    m_errorTimer.stop();
    setErrorMessage(std::nullopt);
}

void DropIntake::setErrorMessage(std::optional<QString> message)
{
    if (m_errorMessage == message)
        return;
    m_errorMessage = std::move(message);
    Q_EMIT errorMessageChanged();
}
