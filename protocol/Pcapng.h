#pragma once

#include "protocol/FrameTap.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The few pcapng blocks a recording of the link needs, and a reader for them.
// A recording is one section header, one interface (the port) and one
// enhanced packet block per frame or dropped run; every block is built whole
// in memory, so a writer can put it on disk with a single write and a crash
// never leaves half a block behind the last whole one.
namespace Pcapng {

// LINKTYPE_USER0: no registered link type fits a proprietary serial protocol.
constexpr quint16 LinkTypeUser0 = 147;

struct Packet
{
    qint64 microsSinceEpoch = 0;
    FrameTap::Direction direction = FrameTap::Direction::Inbound;
    // The bytes kept; fewer than `originalLength` when a payload was digested.
    QByteArray data;
    quint32 originalLength = 0;
    // Free text shown with the packet ("dropped 12 bytes …", a payload digest).
    QString comment;
};

QByteArray sectionHeaderBlock(const QString &application);
// Microsecond time stamps; `name` is the port, `description` e.g. "115200 baud".
QByteArray interfaceBlock(const QString &name, const QString &description);
QByteArray packetBlock(const Packet &packet);

struct Recording
{
    QString interfaceName;
    QString interfaceDescription;
    QVector<Packet> packets;
    // Bytes after the last whole block (a recording cut short by a crash).
    qint64 trailingBytes = 0;
    // Set when the file is not a little-endian pcapng section this reader knows.
    QString error;
};

// Reads every whole block of a recording; unknown block types are skipped.
Recording read(const QByteArray &file);

}
