#include "bridge/LiveTelemetry.h"

#include <QMetaProperty>

namespace {
const char *const LiveNames[] = {
    "hbReceived",       "hbPitch",           "hbRoll",          "hbYaw",
    "hbImuTemp",        "hbAttiReady",       "hbJointInitOk",   "hbUnderVolt",
    "hbMemsLost",       "hbActuator",        "hbSbusPitchValue", "hbSbusRollValue",
    "hbSbusYawValue",   "hbSbusCenterValue", "hbSbusLockValue", "hbPwmPitchValue",
    "hbPwmYawValue",    "hbPwmCenterValue",  "hbCrsfPitchValue", "hbCrsfRollValue",
    "hbCrsfYawValue",   "hbCrsfCenterValue", "hbCrsfLockValue", "hbCrsfValuePresent",
};

const int MinimumIntervalMs = 1000 / LiveTelemetry::MaxUpdatesPerSecond;
}

LiveTelemetry::LiveTelemetry(QObject &source, QObject *parent)
    : QQmlPropertyMap(this, parent)
    , m_source(source)
{
    m_pending.setSingleShot(true);
    m_pending.setTimerType(Qt::PreciseTimer);
    connect(&m_pending, &QTimer::timeout, this, &LiveTelemetry::publish);
    connect(&source, SIGNAL(heartbeatChanged()), this, SLOT(onHeartbeat()));
    // Looked up once: a publication then reads each value without a name search.
    const QMetaObject *type = source.metaObject();
    for (const char *name : LiveNames) {
        const QMetaProperty property = type->property(type->indexOfProperty(name));
        const QString key = QString::fromLatin1(name);
        m_values.append({key, property});
        insert(key, property.read(&source));
    }
}

void LiveTelemetry::onHeartbeat()
{
    // A heartbeat an interval after the last publication publishes at once, so
    // the window repaints in the frame that heartbeat causes anyway (the live
    // plots keep the same rhythm); one that comes sooner leaves its values to
    // the next heartbeat, or to the timer when no further heartbeat comes.
    const qint64 since = m_sinceLastPublication.isValid() ? m_sinceLastPublication.elapsed() : MinimumIntervalMs;
    if (since >= MinimumIntervalMs) {
        m_pending.stop();
        publish();
    } else if (!m_pending.isActive()) {
        m_pending.start(int(2 * MinimumIntervalMs - since));
    }
}

void LiveTelemetry::publish()
{
    m_sinceLastPublication.start();
    ++m_publications;
    for (const LiveValue &live : qAsConst(m_values)) {
        const QVariant now = live.property.read(&m_source);
        if (value(live.key) != now)
            insert(live.key, now);
    }
}
