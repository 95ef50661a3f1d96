#pragma once

#include "protocol/FrameTap.h"
#include "protocol/ParsedFrame.h"
#include "protocol/ReceiveStatistics.h"

#include <QByteArray>
#include <QtGlobal>

// Frame layout shared by both protocol versions:
//   AA | len/version word (LE: bits 0-9 length, 10-15 version) | header sum | body | CRC16 (LE)
namespace FrameFormat {
constexpr quint8 Sync = 0xAA;
constexpr int V0Overhead = 7;
constexpr int V1Overhead = 13;
constexpr int MinLength = 7;
constexpr int MaxLength = 512;
}

// Version-0 command identifiers.
namespace CommandId {
constexpr quint8 ParamRead = 0xC0;
constexpr quint8 ParamBlock = 0xC1;
constexpr quint8 Command = 0x85;
constexpr quint8 CommandReply = 0x86;
}

// Version-1 command sets.
namespace CommandSet {
constexpr quint8 General = 0x00;
constexpr quint8 Gimbal = 0x01;
}

// CRC-16/MODBUS over the first `length` bytes; 0xFFFF for length < 1.
quint16 crc16Modbus(const char *data, int length);
quint16 crc16Modbus(const QByteArray &data);

// Additive 8-bit sum of the given bytes (the header sum over bytes 0-2).
quint8 sum8(const char *data, int length);

QByteArray buildCommandFrame(quint8 subCommand, quint32 para1, quint32 para2, quint32 para3, quint32 para4);
QByteArray buildFrameV0(quint8 commandId, const QByteArray &payload);
QByteArray buildFrameV1(quint8 commandSet, quint8 commandId, const QByteArray &payload,
                        quint16 sequence = 0, quint8 byte7 = 0x00, quint8 byte8 = 0x08,
                        bool flagArg = false);

// Cuts the first complete, checked frame off the front of `buffer`.
// Returns true and fills `record` when one was found; false when the buffer
// holds no complete good frame (yet). Bytes that cannot start a good frame are
// dropped; an incomplete candidate is kept for the next call.
bool extractFrame(QByteArray &buffer, ParsedFrame &record);
// The same, and adds what it found and threw away to `statistics` (all but
// bytesReceived, which belongs to whoever fills the buffer).
bool extractFrame(QByteArray &buffer, ParsedFrame &record, ReceiveStatistics &statistics);
// The same, and shows `tap` every byte it removes: the run thrown away, then
// the frame, each stamped with `microsSinceEpoch`.
bool extractFrame(QByteArray &buffer, ParsedFrame &record, ReceiveStatistics &statistics, FrameTap &tap,
                  qint64 microsSinceEpoch);

// "AA 07 00" style: upper-case pairs separated by single spaces.
QString toHexText(const QByteArray &bytes);
