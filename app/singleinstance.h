// SPDX-License-Identifier: MIT
#pragma once

#include "uniquefd.h"

#include <QObject>

#include <memory>

class QSocketNotifier;

// One QEL Stashlet per user. A second start must not build a store, which
// would empty the staging folder under the first one's shelf: it asks the
// first to toggle its panel instead, and leaves.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    // `directory` holds the lock and the socket; by default the staging
    // folder's, so that whoever shares the shelf shares the lock.
    explicit SingleInstance(const QString &directory = QString(), QObject *parent = nullptr);
    ~SingleInstance() override;

    enum class Claim { First, Later, Failed };
    // First: it listens for later starts unless `listening()` says otherwise.
    // Failed: the lock could not be made. `errorString()` says why.
    Claim claim();
    // Gives up the claim at once, so that the next start succeeds even while
    // this process cannot end (a read stuck on a dead mount keeps every
    // descriptor open).
    void release();
    bool listening() const { return m_listener.valid(); }
    QString errorString() const;
    // From a later start: true once the first has answered that it toggled
    // its panel; false when none answers within seconds (stopped, hung, deaf).
    bool askFirstToToggle();

Q_SIGNALS:
    void toggleRequested();

private:
    struct Peer;
    bool lockStagingFolder();
    bool firstAnswers() const;
    void listen();
    void acceptPeer();
    bool serve(Peer &peer);

    QString m_socketPath;
    QString m_lockPath;
    QString m_stagingPath;
    UniqueFd m_lock;
    UniqueFd m_stagingLock;
    QString m_lockError;
    QString m_listenError;
    UniqueFd m_listener;
    std::unique_ptr<QSocketNotifier> m_accepting;
};
