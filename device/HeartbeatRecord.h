#pragma once

#include <QtGlobal>

// One decoded heartbeat. Every field is zero unless the payload carried it.
struct HeartbeatRecord
{
    qint16 pitch = 0;   // hundredths of a degree
    qint16 roll = 0;
    qint16 yaw = 0;
    quint8 attiReady = 0;
    quint8 jointInitOk = 0;
    quint8 underVolt = 0;
    quint8 memsLost = 0;
    quint8 actuator = 0;
    quint8 softLimit = 0;
    quint8 ctrlMode = 0;
    quint8 stateMachine = 0;
    qint16 jointOutterAngle = 0;   // hundredths of a degree
    qint16 jointMiddleAngle = 0;
    qint16 jointInnerAngle = 0;
    qint8 imuTemp = 0;   // whole degrees Celsius
    qint16 sbusPitch = 0;
    qint16 sbusRoll = 0;
    qint16 sbusYaw = 0;
    qint16 sbusCenter = 0;
    qint16 sbusLock = 0;
    qint16 pwmPitch = 0;
    qint16 pwmYaw = 0;
    qint16 pwmCenter = 0;
    qint16 crsfPitch = 0;
    qint16 crsfRoll = 0;
    qint16 crsfYaw = 0;
    qint16 crsfCenter = 0;
    qint16 crsfLock = 0;
    bool crsfValuePresent = false;
};
