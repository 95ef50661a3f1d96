#pragma once

#include <QVector>
#include <QtGlobal>

// Whether a controller told to restart is back, told from what the link
// brought and when (milliseconds on one steady clock); it keeps no clock and
// no timer of its own. A controller that sends heartbeats is back at its first
// heartbeat after the restart went out that ends a silence, which may have
// begun before it, at the activation. One that sends none is back when a
// parameter read, asked a few times a second after the restart, is answered.
class RestartWait
{
public:
    enum class State { BeforeRestart, Waiting, Back, Overdue };

    // Asked a few times a second; while it restarts the controller answers nothing.
    static constexpr qint64 PollIntervalMs = 250;

    // The controller has `allowanceMs` from the restart going out to be back.
    explicit RestartWait(qint64 allowanceMs) : m_allowanceMs(allowanceMs) {}

    void heartbeatAt(qint64 ms);
    void restartSentAt(qint64 ms);
    void paramBlockAt(qint64 ms);
    void pollSentAt(qint64 ms);

    State stateAt(qint64 ms) const;
    bool restartSent() const { return m_restartMs >= 0; }
    bool pollDueAt(qint64 ms) const;
    // When the clock alone next changes the state or makes a read due; -1 when it cannot.
    qint64 nextEventAt() const;

private:
    bool followsHeartbeats() const;
    bool beforeDeadline(qint64 ms) const { return restartSent() && ms >= m_restartMs && ms < deadline(); }
    qint64 deadline() const { return m_restartMs + m_allowanceMs; }
    qint64 silenceMs() const;

    const qint64 m_allowanceMs;
    qint64 m_restartMs = -1;
    qint64 m_lastHeartbeatMs = -1;
    // The heartbeat seen last before the restart went out.
    qint64 m_heartbeatBeforeRestartMs = -1;
    qint64 m_nextPollMs = -1;
    bool m_back = false;
    QVector<qint64> m_recentIntervals;
};
