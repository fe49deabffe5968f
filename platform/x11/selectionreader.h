// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>

struct xcb_connection_t;

// Reads another program's CLIPBOARD without waiting on it: Qt's own reader
// blocks the main thread up to 5 s on each ask of an owner that never answers.
// The answers come through Qt's event loop, or the read gives up after
// kTimeout. One read at a time, each on a window of its own, so a late answer
// to an abandoned read lands nowhere. Never present off X11.
class SelectionReader final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // A program on this machine answers in milliseconds; past a second the
    // user has seen the paste do nothing, as Qt's own Wayland reads give up.
    static constexpr std::chrono::milliseconds kTimeout{1000};

    enum class Outcome { Read, Refused, TimedOut };
    struct Result {
        Outcome outcome = Outcome::Refused;
        // The MIME format chosen and its bytes; none when nothing was chosen.
        QString format;
        QByteArray data;
        // The data went on past the bound and was cut there.
        bool cut = false;
    };
    // Picks the format to read among those offered (as QMimeData names them).
    using Chooser = std::function<QString(const QStringList &formats)>;

    explicit SelectionReader(QObject *parent = nullptr);
    ~SelectionReader() override;

    bool onX11() const { return m_connection != nullptr; }
    bool reading() const { return m_window != 0; }

    // Asks the formats, then reads the chosen one keeping at most `bound`
    // bytes; ends in finished(). False, and nothing asked, off X11 or while a
    // read is under way.
    bool start(Chooser choose, qsizetype bound);

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

Q_SIGNALS:
    void finished(const SelectionReader::Result &result);

private:
    void ask(std::uint32_t target);
    void take();
    void chooseFormat();
    void finish(Outcome outcome);

    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_clipboard = 0;
    std::uint32_t m_targets = 0;
    std::uint32_t m_incr = 0;
    std::uint32_t m_property = 0;

    std::uint32_t m_window = 0;
    bool m_incremental = false;
    Chooser m_choose;
    qsizetype m_bound = 0;
    // Empty while the formats are read.
    QString m_format;
    QByteArray m_data;
    bool m_cut = false;
    QTimer m_timeout;
};
