#include "device/VersionReply.h"

namespace {
const int VersionReplyLength = 8;

quint32 readUint32(const QByteArray &payload, int offset)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | quint8(payload[offset + i]);
    return value;
}
}

QString formatVersionWord(quint32 word)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(word >> 24)
        .arg((word >> 16) & 0xFF)
        .arg((word >> 8) & 0xFF)
        .arg(word & 0xFF);
}

bool decodeVersionReply(const QByteArray &payload, VersionReply &reply)
{
    if (payload.size() < VersionReplyLength)
        return false;
    reply.boot = formatVersionWord(readUint32(payload, 0));
    reply.firmware = formatVersionWord(readUint32(payload, 4));
    return true;
}
