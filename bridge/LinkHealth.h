#pragma once

#include "protocol/ReceiveStatistics.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class AppBridge;

// The serial link's condition at one moment: the receive path's counters,
// the rates over the last interval and the silence since the last heartbeat.
struct LinkFigures
{
    ReceiveStatistics total;
    double framesPerSecond = 0;
    double bytesPerSecond = 0;
    // -1 while the port is closed.
    qint64 sinceHeartbeatMs = -1;
};

// How healthy the PC link is, for the window's status area and for
// `tavoxctl monitor`: both read the same figures from here. The link counts as
// lost after the same silence that makes the window hold its telemetry
// (LinkMonitor::HeartbeatTimeoutMs), measured from the open when no heartbeat
// has come yet.
class LinkHealth : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool portOpen READ portOpen NOTIFY changed)
    Q_PROPERTY(bool linkLost READ linkLost NOTIFY changed)
    Q_PROPERTY(double framesPerSecond READ framesPerSecond NOTIFY changed)
    Q_PROPERTY(double bytesPerSecond READ bytesPerSecond NOTIFY changed)
    Q_PROPERTY(double headerSumFailures READ headerSumFailures NOTIFY changed)
    Q_PROPERTY(double crcFailures READ crcFailures NOTIFY changed)
    Q_PROPERTY(double resyncBytes READ resyncBytes NOTIFY changed)
    Q_PROPERTY(double sinceHeartbeatMs READ sinceHeartbeatMs NOTIFY changed)

public:
    static constexpr int LostAfterMs = 1500;
    static constexpr int RefreshIntervalMs = 1000;
    // Longer than the spacing of the calls a window makes in its rhythm.
    static constexpr int FollowingSlackMs = 250;

    // With `refreshing`, the figures renew themselves once a second while the
    // port is open; without, only `sample()` renews them.
    LinkHealth(const AppBridge &bridge, bool refreshing, QObject *parent = nullptr);

    // Takes the counters now: rates cover the time since the previous sample.
    const LinkFigures &sample();
    // For a window that repaints in a rhythm of its own: renews the figures
    // once a refresh interval has passed, so they change in a frame that is
    // drawn anyway. From the first call on, the refresh timer waits a little
    // longer and renews them only when no such call comes (a silent link).
    void refreshIfDue();
    qint64 msSinceHeartbeat() const;

    bool portOpen() const;
    bool linkLost() const;
    double framesPerSecond() const { return m_figures.framesPerSecond; }
    double bytesPerSecond() const { return m_figures.bytesPerSecond; }
    double headerSumFailures() const { return double(m_figures.total.headerSumFailures); }
    double crcFailures() const { return double(m_figures.total.crcFailures); }
    double resyncBytes() const { return double(m_figures.total.resyncBytes); }
    double sinceHeartbeatMs() const { return double(m_figures.sinceHeartbeatMs); }

signals:
    void changed();
    // The heartbeat has been silent for `silentMs` (LostAfterMs or a little
    // more) on the open port; `heardSinceOpen`: heartbeats had come before.
    void heartbeatLost(qint64 silentMs, bool heardSinceOpen);
    // The first heartbeat after a loss, `gapMs` after the one before it, or
    // after the open when none had come.
    void heartbeatRestored(qint64 gapMs, bool heardSinceOpen);

private:
    void onOpenedChanged();
    void onHeartbeat();
    void onLostDeadline();
    void restartClocks();
    int refreshDelayMs() const;

    const AppBridge &m_bridge;
    LinkFigures m_figures;
    ReceiveStatistics m_previous;
    QElapsedTimer m_sincePrevious;
    QElapsedTimer m_sinceHeartbeat;
    QTimer m_refresh;
    QTimer m_lostDeadline;
    bool m_lost = false;
    bool m_heardSinceOpen = false;
    bool m_followingCalls = false;
};
