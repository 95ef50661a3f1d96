#include "protocol/Pcapng.h"

#include <QtEndian>

namespace Pcapng {
namespace {
const quint32 SectionHeaderType = 0x0A0D0D0A;
const quint32 InterfaceType = 0x00000001;
const quint32 EnhancedPacketType = 0x00000006;
const quint32 ByteOrderMagic = 0x1A2B3C4D;

const quint16 EndOfOptions = 0;
const quint16 CommentOption = 1;
const quint16 ShbUserApplication = 4;
const quint16 IfName = 2;
const quint16 IfDescription = 3;
const quint16 IfTimestampResolution = 9;
const quint16 EpbFlags = 2;
const quint8 Microseconds = 6;

void appendU16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void appendU32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void padToFour(QByteArray &out)
{
    while (out.size() % 4)
        out.append('\0');
}

void appendOption(QByteArray &out, quint16 code, const QByteArray &value)
{
    appendU16(out, code);
    appendU16(out, quint16(value.size()));
    out.append(value);
    padToFour(out);
}

// Type, total length, body, total length again: the length is known once the body is.
QByteArray block(quint32 type, const QByteArray &body)
{
    const quint32 total = quint32(body.size() + 12);
    QByteArray out;
    out.reserve(int(total));
    appendU32(out, type);
    appendU32(out, total);
    out.append(body);
    appendU32(out, total);
    return out;
}

quint16 u16At(const char *data)
{
    return qFromLittleEndian<quint16>(data);
}

quint32 u32At(const char *data)
{
    return qFromLittleEndian<quint32>(data);
}

// Calls `each(code, value)` for the options between `data` and `end`.
template <typename Each>
void forEachOption(const char *data, const char *end, Each each)
{
    while (end - data >= 4) {
        const quint16 code = u16At(data);
        const quint16 length = u16At(data + 2);
        if (code == EndOfOptions || end - data - 4 < length)
            return;
        each(code, QByteArray(data + 4, length));
        data += 4 + ((length + 3) & ~3);
    }
}

void readInterface(const char *body, const char *end, Recording &recording)
{
    if (end - body < 8)
        return;
    forEachOption(body + 8, end, [&](quint16 code, const QByteArray &value) {
        if (code == IfName)
            recording.interfaceName = QString::fromUtf8(value);
        else if (code == IfDescription)
            recording.interfaceDescription = QString::fromUtf8(value);
    });
}

void readPacket(const char *body, const char *end, Recording &recording)
{
    if (end - body < 20)
        return;
    Packet packet;
    packet.microsSinceEpoch = qint64((quint64(u32At(body + 4)) << 32) | u32At(body + 8));
    const quint32 captured = u32At(body + 12);
    packet.originalLength = u32At(body + 16);
    if (quint64(end - body - 20) < captured)
        return;
    packet.data = QByteArray(body + 20, int(captured));
    forEachOption(body + 20 + ((captured + 3) & ~3u), end, [&](quint16 code, const QByteArray &value) {
        if (code == CommentOption)
            packet.comment = QString::fromUtf8(value);
        else if (code == EpbFlags && value.size() == 4)
            packet.direction = (u32At(value.constData()) & 3) == 2 ? FrameTap::Direction::Outbound
                                                                   : FrameTap::Direction::Inbound;
    });
    recording.packets.append(packet);
}
}

QByteArray sectionHeaderBlock(const QString &application)
{
    QByteArray body;
    appendU32(body, ByteOrderMagic);
    appendU16(body, 1);
    appendU16(body, 0);
    // Section length unknown: the file grows while it is written.
    appendU32(body, 0xFFFFFFFF);
    appendU32(body, 0xFFFFFFFF);
    appendOption(body, ShbUserApplication, application.toUtf8());
    appendU32(body, EndOfOptions);
    return block(SectionHeaderType, body);
}

QByteArray interfaceBlock(const QString &name, const QString &description)
{
    QByteArray body;
    appendU16(body, LinkTypeUser0);
    appendU16(body, 0);
    appendU32(body, 0);
    appendOption(body, IfName, name.toUtf8());
    appendOption(body, IfDescription, description.toUtf8());
    appendOption(body, IfTimestampResolution, QByteArray(1, char(Microseconds)));
    appendU32(body, EndOfOptions);
    return block(InterfaceType, body);
}

QByteArray packetBlock(const Packet &packet)
{
    QByteArray body;
    body.reserve(packet.data.size() + 48 + packet.comment.size() * 3);
    appendU32(body, 0);
    appendU32(body, quint32(quint64(packet.microsSinceEpoch) >> 32));
    appendU32(body, quint32(quint64(packet.microsSinceEpoch)));
    appendU32(body, quint32(packet.data.size()));
    appendU32(body, qMax(packet.originalLength, quint32(packet.data.size())));
    body.append(packet.data);
    padToFour(body);
    QByteArray flags;
    appendU32(flags, quint32(packet.direction));
    appendOption(body, EpbFlags, flags);
    if (!packet.comment.isEmpty())
        appendOption(body, CommentOption, packet.comment.toUtf8());
    appendU32(body, EndOfOptions);
    return block(EnhancedPacketType, body);
}

Recording read(const QByteArray &file)
{
    Recording recording;
    const char *data = file.constData();
    const qint64 size = file.size();
    if (size < 12 || u32At(data) != SectionHeaderType || u32At(data + 8) != ByteOrderMagic) {
        recording.error = QStringLiteral("not a little-endian pcapng file");
        return recording;
    }
    qint64 pos = 0;
    while (size - pos >= 12) {
        const quint32 type = u32At(data + pos);
        const quint32 total = u32At(data + pos + 4);
        if (total < 12 || total % 4 || quint64(size - pos) < total || u32At(data + pos + total - 4) != total)
            break;
        const char *body = data + pos + 8;
        const char *end = data + pos + total - 4;
        if (type == InterfaceType)
            readInterface(body, end, recording);
        else if (type == EnhancedPacketType)
            readPacket(body, end, recording);
        pos += total;
    }
    recording.trailingBytes = size - pos;
    return recording;
}

}
