// SPDX-License-Identifier: MIT
#pragma once

#include <QLockFile>
#include <QObject>

#include <memory>

class QLocalServer;

// One QEL Stashlet per user. A second start must not build a store: that
// would empty the staging folder under the first one's shelf. It asks the
// first to show or hide its panel instead, and leaves.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    // `directory` holds the lock and the socket; by default the folder that
    // holds the staging folder, so that whoever shares the shelf shares the
    // lock, whatever else differs between the two starts.
    explicit SingleInstance(const QString &directory = QString(), QObject *parent = nullptr);
    ~SingleInstance() override;

    enum class Claim { First, Later, Failed };
    // First: this process is the first and now listens for later starts.
    // Failed: the lock could not be made at all (`errorString()` says why).
    Claim claim();
    QString errorString() const;
    // From a later start: asks the first to toggle its panel. True when it answered.
    bool askFirstToToggle();

Q_SIGNALS:
    void toggleRequested();

private:
    QString m_socketPath;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};
