#include "service/RestartWait.h"

#include <algorithm>

namespace {
// A gap this many times the usual interval between heartbeats, and never
// shorter than the floor, is a silence rather than a late heartbeat.
const qint64 SilenceFactor = 3;
const qint64 SilenceFloorMs = 200;
const int RecentIntervalCount = 8;
// No heartbeat for this long before the restart: the controller sends none.
// Longer than the silence an activation begins before its restart.
const qint64 HeartbeatLapseMs = 2000;
}

void RestartWait::heartbeatAt(qint64 ms)
{
    const bool endsSilence = m_lastHeartbeatMs < 0 || ms - m_lastHeartbeatMs >= silenceMs();
    m_back = m_back || (endsSilence && beforeDeadline(ms));
    if (m_lastHeartbeatMs >= 0) {
        m_recentIntervals.append(ms - m_lastHeartbeatMs);
        if (m_recentIntervals.size() > RecentIntervalCount)
            m_recentIntervals.removeFirst();
    }
    m_lastHeartbeatMs = ms;
}

void RestartWait::restartSentAt(qint64 ms)
{
    m_restartMs = ms;
    m_heartbeatBeforeRestartMs = m_lastHeartbeatMs;
    m_nextPollMs = ms + PollIntervalMs;
    m_back = false;
}

void RestartWait::paramBlockAt(qint64 ms)
{
    m_back = m_back || (!followsHeartbeats() && beforeDeadline(ms));
}

void RestartWait::pollSentAt(qint64 ms)
{
    m_nextPollMs = ms + PollIntervalMs;
}

RestartWait::State RestartWait::stateAt(qint64 ms) const
{
    if (!restartSent())
        return State::BeforeRestart;
    if (m_back)
        return State::Back;
    return ms < deadline() ? State::Waiting : State::Overdue;
}

bool RestartWait::pollDueAt(qint64 ms) const
{
    return stateAt(ms) == State::Waiting && !followsHeartbeats() && ms >= m_nextPollMs;
}

qint64 RestartWait::nextEventAt() const
{
    if (!restartSent() || m_back)
        return -1;
    return followsHeartbeats() ? deadline() : std::min(m_nextPollMs, deadline());
}

bool RestartWait::followsHeartbeats() const
{
    return m_heartbeatBeforeRestartMs >= 0 && m_restartMs - m_heartbeatBeforeRestartMs < HeartbeatLapseMs;
}

qint64 RestartWait::silenceMs() const
{
    if (m_recentIntervals.isEmpty())
        return SilenceFloorMs;
    QVector<qint64> sorted = m_recentIntervals;
    const auto middle = sorted.begin() + sorted.size() / 2;
    std::nth_element(sorted.begin(), middle, sorted.end());
    return std::max(SilenceFactor * *middle, SilenceFloorMs);
}
