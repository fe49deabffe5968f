// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

class AnimatedValue;

// The one clock behind every animation of the panel. It ticks only while something moves and
// the panel is shown, so an idle or hidden panel costs no wake-ups: at the screen's refresh
// rate, or more slowly while every running value says when it next changes visibly.
class Ticker final : public QObject {
    Q_OBJECT

public:
    explicit Ticker(QObject *parent = nullptr);
    ~Ticker() override;

    // The application's ticker, owned by the application object.
    static Ticker &shared();

    // The panel says when it is shown. While hidden nothing ticks: motions
    // that end settle at their targets at once, endless ones wait.
    void setPanelVisible(bool visible);
    bool isPanelVisible() const { return m_panelVisible; }

    bool isRunning() const { return m_timer.isActive(); }
    int frameIntervalMs() const;

    // Moves every running value on by `seconds`; the timer calls this with
    // the measured frame time.
    void advance(double seconds);

private:
    friend class AnimatedValue;
    void attach(AnimatedValue *value);
    void detach(AnimatedValue *value);
    void startIfNeeded();
    int nextIntervalMs() const;
    void onFrame();

    QTimer m_timer;
    QElapsedTimer m_clock;
    std::vector<AnimatedValue *> m_running;
    bool m_panelVisible = true;
    bool m_advancing = false;
};
