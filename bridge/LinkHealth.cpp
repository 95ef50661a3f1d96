#include "bridge/LinkHealth.h"

#include "bridge/AppBridge.h"

namespace {
double perSecond(quint64 count, qint64 ms)
{
    return ms > 0 ? count * 1000.0 / ms : 0.0;
}
}

LinkHealth::LinkHealth(const AppBridge &bridge, bool refreshing, QObject *parent)
    : QObject(parent), m_bridge(bridge)
{
    // A coarse timer may fire 5 % early, which would take most of the slack
    // the window's rhythm is given before the timer renews in its place.
    m_refresh.setTimerType(Qt::PreciseTimer);
    if (refreshing)
        connect(&m_refresh, &QTimer::timeout, this, [this] { sample(); });
    m_lostDeadline.setSingleShot(true);
    connect(&m_lostDeadline, &QTimer::timeout, this, &LinkHealth::onLostDeadline);
    connect(&bridge, &AppBridge::serialOpenedChanged, this, &LinkHealth::onOpenedChanged);
    connect(&bridge, &AppBridge::heartbeatChanged, this, &LinkHealth::onHeartbeat);
    if (bridge.serialOpened())
        onOpenedChanged();
}

bool LinkHealth::portOpen() const
{
    return m_bridge.serialOpened();
}

bool LinkHealth::linkLost() const
{
    return m_lost;
}

qint64 LinkHealth::msSinceHeartbeat() const
{
    return m_bridge.serialOpened() && m_sinceHeartbeat.isValid() ? m_sinceHeartbeat.elapsed() : -1;
}

const LinkFigures &LinkHealth::sample()
{
    const ReceiveStatistics now = m_bridge.serialLink().statistics();
    if (now.bytesReceived < m_previous.bytesReceived)
        m_previous = {};
    const ReceiveStatistics recent = now - m_previous;
    const qint64 intervalMs = m_sincePrevious.isValid() ? m_sincePrevious.restart() : 0;
    if (!m_sincePrevious.isValid())
        m_sincePrevious.start();
    m_figures = {now, perSecond(recent.frames, intervalMs), perSecond(recent.bytesReceived, intervalMs),
                 msSinceHeartbeat()};
    m_previous = now;
    if (m_refresh.isActive())
        m_refresh.start(refreshDelayMs());
    emit changed();
    return m_figures;
}

void LinkHealth::refreshIfDue()
{
    if (!m_refresh.isActive())
        return;
    if (m_sincePrevious.elapsed() >= RefreshIntervalMs) {
        m_followingCalls = true;
        sample();
    } else if (!m_followingCalls) {
        m_followingCalls = true;
        m_refresh.start(int(refreshDelayMs() - m_sincePrevious.elapsed()));
    }
}

int LinkHealth::refreshDelayMs() const
{
    return m_followingCalls ? RefreshIntervalMs + FollowingSlackMs : RefreshIntervalMs;
}

// The receive statistics start over with every open, and so do the rates.
void LinkHealth::onOpenedChanged()
{
    m_lost = false;
    m_heardSinceOpen = false;
    if (!m_bridge.serialOpened()) {
        m_refresh.stop();
        m_lostDeadline.stop();
        m_sinceHeartbeat.invalidate();
        sample();
        return;
    }
    restartClocks();
    m_refresh.start(refreshDelayMs());
    sample();
}

void LinkHealth::restartClocks()
{
    m_previous = m_bridge.serialLink().statistics();
    m_sincePrevious.start();
    m_sinceHeartbeat.start();
    m_lostDeadline.start(LostAfterMs);
}

// Every heartbeat passes here, so it only notes the time unless the link was lost.
void LinkHealth::onHeartbeat()
{
    if (!m_bridge.serialOpened() || !m_bridge.hbReceived())
        return;
    const qint64 sincePrevious = m_sinceHeartbeat.restart();
    const bool heardBefore = m_heardSinceOpen;
    m_heardSinceOpen = true;
    if (!m_lostDeadline.isActive())
        m_lostDeadline.start(LostAfterMs);
    if (m_lost) {
        m_lost = false;
        sample();
        emit heartbeatRestored(sincePrevious, heardBefore);
    }
}

void LinkHealth::onLostDeadline()
{
    const qint64 remaining = LostAfterMs - m_sinceHeartbeat.elapsed();
    if (remaining > 0) {
        m_lostDeadline.start(int(remaining));
        return;
    }
    m_lost = true;
    sample();
    emit heartbeatLost(m_sinceHeartbeat.elapsed(), m_heardSinceOpen);
}
