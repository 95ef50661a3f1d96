#include "window/LiveTelemetry.h"

#include "window/DisplayRhythm.h"

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
}

LiveTelemetry::LiveTelemetry(QObject &source, DisplayRhythm &rhythm, QObject *parent)
    : QQmlPropertyMap(this, parent)
    , m_source(source)
{
    connect(&rhythm, &DisplayRhythm::due, this, &LiveTelemetry::publish);
    // Looked up once: a publication then reads each value without a name search.
    const QMetaObject *type = source.metaObject();
    for (const char *name : LiveNames) {
        const QMetaProperty property = type->property(type->indexOfProperty(name));
        const QString key = QString::fromLatin1(name);
        m_values.append({key, property});
        insert(key, property.read(&source));
    }
}

void LiveTelemetry::publish()
{
    ++m_publications;
    for (const LiveValue &live : qAsConst(m_values)) {
        const QVariant now = live.property.read(&m_source);
        if (value(live.key) != now)
            insert(live.key, now);
    }
}
