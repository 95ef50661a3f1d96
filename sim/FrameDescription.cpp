#include "sim/FrameDescription.h"

#include "protocol/FrameCodec.h"

#include <cstring>

namespace {
quint32 le32(const QByteArray &bytes, int offset)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | quint8(bytes[offset + i]);
    return value;
}

QString hex(quint32 value, int digits = 2)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

QString dotted(quint32 word)
{
    return QStringLiteral("%1.%2.%3.%4").arg(word >> 24).arg((word >> 16) & 0xFF).arg((word >> 8) & 0xFF).arg(word & 0xFF);
}

QString firstByte(const QByteArray &payload)
{
    return payload.isEmpty() ? QStringLiteral("(empty)") : hex(quint8(payload[0]));
}

QString describeCommand(const QByteArray &payload)
{
    if (payload.size() != 17)
        return QStringLiteral("command, malformed: %1").arg(toHexText(payload));
    return QStringLiteral("command %1 para %2 %3 %4 %5")
        .arg(hex(quint8(payload[0])), hex(le32(payload, 1), 8), hex(le32(payload, 5), 8), hex(le32(payload, 9), 8),
             hex(le32(payload, 13), 8));
}

QString describeCommandReply(const QByteArray &payload)
{
    if (payload.size() >= 5 && quint8(payload[0]) == 0x8F) {
        float step = 0;
        const quint32 bits = le32(payload, 1);
        std::memcpy(&step, &bits, sizeof step);
        return QStringLiteral("accel calibration progress %1").arg(double(step));
    }
    return QStringLiteral("command reply %1").arg(firstByte(payload));
}

QString describeV0(const ParsedFrame &frame)
{
    switch (frame.commandId) {
    case 0xC0:
        return QStringLiteral("parameter read");
    case 0xC1:
        return QStringLiteral("parameter block, %1 bytes: %2").arg(frame.payload.size()).arg(toHexText(frame.payload));
    case 0x85:
        return describeCommand(frame.payload);
    case 0x86:
        return describeCommandReply(frame.payload);
    default:
        return QStringLiteral("v0 %1: %2").arg(hex(frame.commandId), toHexText(frame.payload));
    }
}

QString describeGeneral(const ParsedFrame &frame)
{
    const QByteArray &p = frame.payload;
    switch (frame.v1CommandId) {
    case 0x00:
        return QStringLiteral("soft reset");
    case 0x01:
        return QStringLiteral("version query");
    case 0x02:
        return p.size() >= 8 ? QStringLiteral("version reply boot %1 firmware %2").arg(dotted(le32(p, 0)), dotted(le32(p, 4)))
                             : QStringLiteral("version reply, short");
    case 0x03:
        return QStringLiteral("erase request");
    case 0x04:
        return QStringLiteral("erase done");
    case 0x0B:
        return p.size() >= 5 ? QStringLiteral("start upgrade, %1 bytes").arg(le32(p, 1))
                             : QStringLiteral("start upgrade, short");
    case 0x0C:
        return QStringLiteral("start reply %1").arg(firstByte(p));
    case 0x0D:
        return QStringLiteral("data packet seq %1, %2 bytes").arg(frame.sequence).arg(p.size());
    case 0x0E:
        return QStringLiteral("data ack seq %1").arg(frame.sequence);
    case 0x0F:
        return QStringLiteral("stop upgrade seq %1").arg(frame.sequence);
    case 0x10:
        return QStringLiteral("verify result %1").arg(firstByte(p));
    default:
        return QStringLiteral("general %1 seq %2: %3").arg(hex(frame.v1CommandId)).arg(frame.sequence).arg(toHexText(p));
    }
}
}

QString describeFrame(const ParsedFrame &frame)
{
    if (frame.version == 0)
        return describeV0(frame);
    if (frame.commandSet == 0)
        return describeGeneral(frame);
    if (frame.commandSet == 1 && frame.v1CommandId == 0x00)
        return QStringLiteral("heartbeat, %1 bytes").arg(frame.payload.size());
    return QStringLiteral("v1 set %1 %2: %3").arg(frame.commandSet).arg(hex(frame.v1CommandId)).arg(toHexText(frame.payload));
}
