#include "service/RestartWatch.h"

#include "bridge/AppBridge.h"

RestartWatch::RestartWatch(AppBridge &bridge, qint64 allowanceMs, QObject *parent)
    : QObject(parent), m_bridge(bridge), m_wait(allowanceMs), m_blocksReceived(bridge.parameters().blocksReceived())
{
    m_clock.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &RestartWatch::check);
    connect(&bridge, &AppBridge::heartbeatChanged, this, &RestartWatch::onHeartbeat);
    connect(&bridge, &AppBridge::tavoxParamsChanged, this, &RestartWatch::onParamsChanged);
    connect(&bridge.parameters(), &ParameterCommands::restartSent, this, [this] {
        m_wait.restartSentAt(m_clock.elapsed());
        check();
    });
}

// The bridge also reports a link's end as a heartbeat change, with none received.
void RestartWatch::onHeartbeat()
{
    if (!m_bridge.telemetry().heartbeatReceived())
        return;
    m_wait.heartbeatAt(m_clock.elapsed());
    check();
}

// A write's own update of the block is no answer.
void RestartWatch::onParamsChanged()
{
    const int blocks = m_bridge.parameters().blocksReceived();
    if (blocks == m_blocksReceived)
        return;
    m_blocksReceived = blocks;
    m_wait.paramBlockAt(m_clock.elapsed());
    check();
}

void RestartWatch::check()
{
    if (m_settled)
        return;
    const qint64 now = m_clock.elapsed();
    if (m_wait.pollDueAt(now)) {
        m_wait.pollSentAt(now);
        m_bridge.parameters().readParams();
    }
    const RestartWait::State state = m_wait.stateAt(now);
    if (state == RestartWait::State::Back || state == RestartWait::State::Overdue) {
        m_settled = true;
        m_timer.stop();
        emit settled();
        return;
    }
    const qint64 next = m_wait.nextEventAt();
    if (next >= 0)
        m_timer.start(int(qMax<qint64>(0, next - now)));
}
