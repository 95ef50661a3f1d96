#include "window/TelemetryHistory.h"

#include "window/DisplayRhythm.h"

namespace {
// Farther from any sample than this, the cursor stands over a gap and reads nothing.
const qint64 NearestWithinMs = 500;

QMetaProperty propertyOf(const QObject &source, const char *name)
{
    const QMetaObject *type = source.metaObject();
    return type->property(type->indexOfProperty(name));
}
}

TelemetryHistory::TelemetryHistory(QObject &source, DisplayRhythm &rhythm, QObject *parent)
    : QObject(parent)
    , m_source(source)
    , m_received(propertyOf(source, "hbReceived"))
    , m_pitch(propertyOf(source, "hbPitch"))
    , m_roll(propertyOf(source, "hbRoll"))
    , m_yaw(propertyOf(source, "hbYaw"))
    , m_ring(Capacity)
{
    m_clock.start();
    connect(&rhythm, &DisplayRhythm::heartbeat, this, &TelemetryHistory::record);
    connect(&rhythm, &DisplayRhythm::due, this, &TelemetryHistory::onDue);
}

void TelemetryHistory::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    m_pausedAtMs = m_clock.elapsed();
    emit pausedChanged();
    announce();
}

void TelemetryHistory::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    emit activeChanged();
    if (active)
        announce();
}

qint64 TelemetryHistory::endMs() const
{
    return m_paused ? m_pausedAtMs : m_clock.elapsed();
}

void TelemetryHistory::record()
{
    if (m_paused || !m_received.read(&m_source).toBool())
        return;
    const qint64 now = m_clock.elapsed();
    append({now, m_pitch.read(&m_source).toFloat(), m_roll.read(&m_source).toFloat(),
            m_yaw.read(&m_source).toFloat()});
    dropOlderThan(now - WindowSeconds * 1000);
    m_unannounced = true;
}

void TelemetryHistory::onDue()
{
    if (m_active && m_unannounced)
        announce();
}

void TelemetryHistory::append(const Sample &sample)
{
    if (m_count == Capacity) {
        m_first = (m_first + 1) % Capacity;
        --m_count;
    }
    m_ring[(m_first + m_count) % Capacity] = sample;
    ++m_count;
}

void TelemetryHistory::dropOlderThan(qint64 ms)
{
    while (m_count > 0 && m_ring[m_first].ms < ms) {
        m_first = (m_first + 1) % Capacity;
        --m_count;
    }
}

void TelemetryHistory::clear()
{
    m_first = 0;
    m_count = 0;
    announce();
}

void TelemetryHistory::announce()
{
    m_unannounced = false;
    ++m_updatesAnnounced;
    emit updated();
}

QVariantMap TelemetryHistory::sampleAt(double secondsBeforeEnd) const
{
    if (m_count == 0)
        return {};
    const qint64 wanted = endMs() - qint64(secondsBeforeEnd * 1000);
    int best = 0;
    for (int i = 1; i < m_count; ++i) {
        if (qAbs(sample(i).ms - wanted) < qAbs(sample(best).ms - wanted))
            best = i;
    }
    const Sample &s = sample(best);
    if (qAbs(s.ms - wanted) > NearestWithinMs)
        return {};
    return {{QStringLiteral("secondsAgo"), (endMs() - s.ms) / 1000.0},
            {QStringLiteral("pitch"), double(s.pitch)},
            {QStringLiteral("roll"), double(s.roll)},
            {QStringLiteral("yaw"), double(s.yaw)}};
}
