#pragma once

#include "service/RestartWait.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class AppBridge;

// Follows one restarting write on the bridge, made after it is constructed:
// tells its RestartWait of the heartbeats, the restart going out and the
// parameter blocks as they arrive, asks for the block when that is due, and
// says once the controller is back or overdue.
class RestartWatch : public QObject
{
    Q_OBJECT

public:
    RestartWatch(AppBridge &bridge, qint64 allowanceMs, QObject *parent = nullptr);

    bool restartSent() const { return m_wait.restartSent(); }
    bool isBack() const { return state() == RestartWait::State::Back; }
    bool isOverdue() const { return state() == RestartWait::State::Overdue; }

signals:
    // Back or overdue, once.
    void settled();

private:
    RestartWait::State state() const { return m_wait.stateAt(m_clock.elapsed()); }
    void onHeartbeat();
    void onParamsChanged();
    void check();

    AppBridge &m_bridge;
    RestartWait m_wait;
    QElapsedTimer m_clock;
    QTimer m_timer;
    int m_blocksReceived = 0;
    bool m_settled = false;
};
