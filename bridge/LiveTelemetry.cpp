#include "bridge/LiveTelemetry.h"

namespace {
const char *const LiveNames[] = {
    "hbReceived",       "hbPitch",           "hbRoll",          "hbYaw",
    "hbImuTemp",        "hbAttiReady",       "hbJointInitOk",   "hbUnderVolt",
    "hbMemsLost",       "hbActuator",        "hbSbusPitchValue", "hbSbusRollValue",
    "hbSbusYawValue",   "hbSbusCenterValue", "hbSbusLockValue", "hbPwmPitchValue",
    "hbPwmYawValue",    "hbPwmCenterValue",  "hbCrsfPitchValue", "hbCrsfRollValue",
    "hbCrsfYawValue",   "hbCrsfCenterValue", "hbCrsfLockValue", "hbCrsfValuePresent",
};

const int MinimumIntervalMs = 1000 / LiveTelemetry::MaxUpdatesPerSecond + 1;
}

LiveTelemetry::LiveTelemetry(QObject &source, QObject *parent)
    : QQmlPropertyMap(this, parent)
    , m_source(source)
{
    m_pending.setSingleShot(true);
    m_pending.setTimerType(Qt::PreciseTimer);
    connect(&m_pending, &QTimer::timeout, this, &LiveTelemetry::publish);
    connect(&source, SIGNAL(heartbeatChanged()), this, SLOT(onHeartbeat()));
    for (const char *name : LiveNames)
        insert(QString::fromLatin1(name), source.property(name));
}

void LiveTelemetry::onHeartbeat()
{
    if (m_pending.isActive())
        return;
    // A change after a quiet spell shows at once; the rest of a burst waits
    // for the next slot and shows its latest values.
    const qint64 since = m_sinceLastPublication.isValid() ? m_sinceLastPublication.elapsed() : MinimumIntervalMs;
    if (since >= MinimumIntervalMs)
        publish();
    else
        m_pending.start(int(MinimumIntervalMs - since));
}

void LiveTelemetry::publish()
{
    m_sinceLastPublication.start();
    ++m_publications;
    for (const char *name : LiveNames) {
        const QString key = QString::fromLatin1(name);
        const QVariant now = m_source.property(name);
        if (value(key) != now)
            insert(key, now);
    }
}
