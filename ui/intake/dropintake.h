// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <optional>

// What the panel does with a drop or a paste: its list is read as far as the
// shelf has room, and the files taken go to the shelf at once. Also owns the
// error banner's text and its hide timer.
class DropIntake final : public QObject {
    Q_OBJECT

public:
    // The entries on the shelf and those still being copied to it.
    using CountEntries = std::function<qsizetype()>;
    using AddFile = std::function<void(const std::filesystem::path &)>;

    DropIntake(CountEntries countEntries, AddFile addFile, QObject *parent = nullptr);

    // Takes the local files a text/uri-list names, as many as there is room
    // for; true when it took any. A paste also says so when it names none.
    bool handleDrop(QByteArrayView uriList) { return take(uriList, false); }
    bool handlePaste(QByteArrayView uriList) { return take(uriList, true); }
    void showError(const QString &message);
    // Hides the banner now and stops its timer: a panel that is closed
    // shows nothing and must not wake the program.
    void dismissError();
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    const QTimer &errorTimer() const { return m_errorTimer; }

Q_SIGNALS:
    // The panel animates the banner in or out.
    void errorMessageChanged();

private:
    bool take(QByteArrayView uriList, bool pasted);
    void setErrorMessage(std::optional<QString> message);

    CountEntries m_countEntries;
    AddFile m_addFile;
    std::optional<QString> m_errorMessage;
    QTimer m_errorTimer;
};
