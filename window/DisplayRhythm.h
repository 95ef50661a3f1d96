#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// When the window shows what the heartbeats brought: on the heartbeat that
// ends an interval, so the repaint falls in the frame that heartbeat causes
// anyway, or by a timer when no further heartbeat comes. The live values and
// the plots follow this one rhythm, so they repaint in the same frames.
//
// `source` is any object with a heartbeatChanged() signal: the bridge, or a
// test's double. `heartbeat` relays every one of them, and always before the
// `due` it brings, so a view that records heartbeats has the latest when due.
class DisplayRhythm : public QObject
{
    Q_OBJECT

public:
    // A changing figure can be read about five times a second, and every
    // update costs the window a repaint.
    static constexpr int MaxUpdatesPerSecond = 5;
    static constexpr int IntervalMs = 1000 / MaxUpdatesPerSecond;
    // Heartbeats come a little early or late; one due within this of the end
    // of the interval counts at once, so the rhythm stays even instead of
    // slipping to the following heartbeat every other time.
    static constexpr int EarlyByMs = IntervalMs / 20;

    explicit DisplayRhythm(QObject &source, QObject *parent = nullptr);

signals:
    void heartbeat();
    void due();

private slots:
    void onHeartbeat();

private:
    void fire();

    QTimer m_pending;
    QElapsedTimer m_sinceDue;
};
