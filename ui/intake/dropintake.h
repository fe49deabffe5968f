// SPDX-License-Identifier: MIT
#pragma once

#include "itemprovider.h"
#include "oneshottimer.h"

#include <QObject>
#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// What the panel does with a drop: the shelf limit is applied before anything
// is read, the taken items are loaded on worker threads, and their files reach
// the shelf on the main thread once every load of the drop has finished. Also
// owns the error banner's text and its hide timer.
class DropIntake final : public QObject {
    Q_OBJECT

public:
    // The entries on the shelf and those still being copied to it.
    using CountEntries = std::function<qsizetype()>;
    using AddFile = std::function<void(const std::filesystem::path &)>;

    DropIntake(CountEntries countEntries, AddFile addFile, QObject *parent = nullptr);

    // The drop action: true when at least one load started. Returns before any file is added.
    bool handleDrop(const std::vector<std::shared_ptr<ItemProvider>> &providers);
    void showError(const QString &message);
    // Hides the banner now and stops its timer: a panel that is closed
    // shows nothing and must not wake the program.
    void dismissError();
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    const OneShotTimer *errorTimer() const { return m_errorTimer.get(); }

Q_SIGNALS:
    // The panel animates the banner in (spring 0.5/1.0/0, theme::kSettleSpring) when a message is
    // set and out (ease-in-out 0.3 s, theme::kBannerHide) when it is cleared.
    void errorMessageChanged();

private:
    void setErrorMessage(std::optional<QString> message);

    CountEntries m_countEntries;
    AddFile m_addFile;
    // Items taken from drops whose loads have not all finished: not yet on
    // the shelf nor copying, they hold their places all the same.
    qsizetype m_loading = 0;
    std::optional<QString> m_errorMessage;
    std::unique_ptr<OneShotTimer> m_errorTimer;
};
