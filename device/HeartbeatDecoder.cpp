#include "device/HeartbeatDecoder.h"

#include "protocol/FrameCodec.h"

namespace {
qint16 readInt16(const QByteArray &payload, int offset)
{
    return qint16(quint8(payload[offset]) | (quint8(payload[offset + 1]) << 8));
}

quint32 readUint32(const QByteArray &payload, int offset)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | quint8(payload[offset + i]);
    return value;
}

quint8 bits(quint32 word, int first, int width)
{
    return quint8((word >> first) & ((1u << width) - 1));
}

void decodeStatus(quint32 status, HeartbeatRecord &record)
{
    record.attiReady = bits(status, 0, 1);
    record.jointInitOk = bits(status, 1, 1);
    record.underVolt = bits(status, 2, 1);
    record.memsLost = bits(status, 3, 1);
    record.actuator = bits(status, 4, 2);
    record.softLimit = bits(status, 6, 1);
    record.ctrlMode = bits(status, 7, 2);
    record.stateMachine = bits(status, 9, 4);
}
}

bool decodeHeartbeat(const QByteArray &payload, HeartbeatRecord &record)
{
    record = HeartbeatRecord();
    const int length = payload.size();
    if (length < HeartbeatLayout::Minimum)
        return false;

    record.pitch = readInt16(payload, 0);
    record.roll = readInt16(payload, 2);
    record.yaw = readInt16(payload, 4);
    decodeStatus(readUint32(payload, 6), record);
    record.jointOutterAngle = readInt16(payload, 10);
    record.jointMiddleAngle = readInt16(payload, 12);
    record.jointInnerAngle = readInt16(payload, 14);

    if (length < HeartbeatLayout::WithImuTemp)
        return true;
    record.imuTemp = qint8(payload[34]);

    if (length < HeartbeatLayout::WithSbus)
        return true;
    record.sbusPitch = readInt16(payload, 35);
    record.sbusRoll = readInt16(payload, 37);
    record.sbusYaw = readInt16(payload, 39);
    record.sbusCenter = readInt16(payload, 41);
    record.sbusLock = readInt16(payload, 43);

    if (length < HeartbeatLayout::WithPwm)
        return true;
    record.pwmPitch = readInt16(payload, 45);
    record.pwmYaw = readInt16(payload, 47);
    record.pwmCenter = readInt16(payload, 49);

    if (length < HeartbeatLayout::WithCrsf)
        return true;
    record.crsfPitch = readInt16(payload, 51);
    record.crsfRoll = readInt16(payload, 53);
    record.crsfYaw = readInt16(payload, 55);
    record.crsfCenter = readInt16(payload, 57);
    record.crsfLock = readInt16(payload, 59);
    record.crsfValuePresent = true;
    return true;
}

QString heartbeatDiagnosticLine(const QByteArray &payload, const HeartbeatRecord &record)
{
    return QStringLiteral("[DIAG-HB] 心跳DATA长度=%1B (需>=45才有SBUS值,>=51才有PWM值,>=61才有CRSF值) "
                          "crsfValuePresent=%2 raw: %3")
        .arg(payload.size())
        .arg(record.crsfValuePresent ? QStringLiteral("YES") : QStringLiteral("NO"))
        .arg(toHexText(payload));
}
