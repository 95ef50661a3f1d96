#include "protocol/FrameCodec.h"

#include <QString>

#include <array>
#include <cstring>
#include <utility>

namespace {
const quint16 CrcPolynomial = 0xA001;

// Every frame is checked on receipt: a byte a step instead of a bit a step.
std::array<quint16, 256> crcTable()
{
    std::array<quint16, 256> table {};
    for (int value = 0; value < 256; ++value) {
        quint16 crc = quint16(value);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ CrcPolynomial) : quint16(crc >> 1);
        table[size_t(value)] = crc;
    }
    return table;
}

void appendLe16(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

void appendLe32(QByteArray &out, quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char((value >> shift) & 0xFF));
}

quint16 readLe16(const char *data)
{
    return quint16(quint8(data[0]) | (quint8(data[1]) << 8));
}

QByteArray startFrame(int version, int length)
{
    QByteArray frame;
    frame.reserve(length);
    const quint16 word = quint16((length & 0x3FF) | (version << 10));
    frame.append(char(FrameFormat::Sync));
    appendLe16(frame, word);
    frame.append(char(sum8(frame.constData(), 3)));
    return frame;
}

void finishFrame(QByteArray &frame)
{
    appendLe16(frame, crc16Modbus(frame));
}

// What the candidate at the front of `data` is, looking only at the bytes present.
// The two checksum failures are told apart for the link figures.
enum class Candidate { NotAFrame, BadHeaderSum, BadCrc, Incomplete, Frame };

Candidate inspectCandidate(const char *data, int available, int &length, int &version)
{
    if (available < 5)
        return Candidate::Incomplete;
    const quint16 word = readLe16(data + 1);
    length = word & 0x3FF;
    version = word >> 10;
    if (length < FrameFormat::MinLength || length > FrameFormat::MaxLength)
        return Candidate::NotAFrame;
    // Checked before waiting for the whole frame, so a false sync byte in
    // line noise cannot hold up or swallow a good frame that follows it.
    if (sum8(data, 3) != quint8(data[3]))
        return Candidate::BadHeaderSum;
    if (available < length)
        return Candidate::Incomplete;
    if (crc16Modbus(data, length - 2) != readLe16(data + length - 2))
        return Candidate::BadCrc;
    if (version == 0)
        return Candidate::Frame;
    if (version == 1 && length >= FrameFormat::V1Overhead)
        return Candidate::Frame;
    return Candidate::NotAFrame;
}

// Whether a complete good frame lies wholly inside the first `extent` bytes of
// `data`, other than at its start.
bool holdsCompleteFrame(const char *data, int extent)
{
    for (int pos = 1; extent - pos >= FrameFormat::MinLength; ++pos) {
        const char *sync = static_cast<const char *>(memchr(data + pos, FrameFormat::Sync, size_t(extent - pos)));
        if (!sync)
            return false;
        pos = int(sync - data);
        int length = 0;
        int version = 0;
        if (inspectCandidate(sync, extent - pos, length, version) == Candidate::Frame)
            return true;
    }
    return false;
}

// The record's payload keeps its buffer from frame to frame, so a steady
// stream of frames is cut without an allocation each. A handler that kept a
// copy of the payload simply makes the next frame take a buffer of its own.
void clearRecord(ParsedFrame &record)
{
    QByteArray payload = std::move(record.payload);
    record = ParsedFrame();
    payload.truncate(0);
    record.payload = std::move(payload);
}

void setPayload(ParsedFrame &record, const char *data, int length)
{
    if (record.payload.capacity() < FrameFormat::MaxLength)
        record.payload.reserve(FrameFormat::MaxLength);
    record.payload.resize(length);
    std::memcpy(record.payload.data(), data, size_t(length));
}

void fillRecord(const char *data, int length, int version, ParsedFrame &record)
{
    record.version = quint8(version);
    if (version == 0) {
        record.commandId = quint8(data[4]);
        setPayload(record, data + 5, length - FrameFormat::V0Overhead);
    } else {
        record.sequence = readLe16(data + 4);
        record.commandSet = quint8(data[9]);
        record.v1CommandId = quint8(data[10]);
        record.commandId = record.v1CommandId;
        setPayload(record, data + 11, length - FrameFormat::V1Overhead);
    }
    record.valid = true;
}

void countRejected(Candidate candidate, ReceiveStatistics *statistics)
{
    if (!statistics)
        return;
    if (candidate == Candidate::BadHeaderSum)
        ++statistics->headerSumFailures;
    else if (candidate == Candidate::BadCrc)
        ++statistics->crcFailures;
}

// Both public forms: counting costs a test of `statistics` per rejected
// candidate and one at the end, so the plain form keeps its speed.
// Hands `tap` the bytes a call removes from the front of the buffer: the run
// thrown away, then the frame cut after it.
void showCut(FrameTap &tap, const char *removed, int count, int frameLength, qint64 microsSinceEpoch)
{
    const int dropped = count - frameLength;
    if (dropped > 0)
        tap.bytesCrossed(FrameTap::Direction::Inbound, FrameTap::Cut::Dropped, removed, dropped, microsSinceEpoch);
    if (frameLength > 0)
        tap.bytesCrossed(FrameTap::Direction::Inbound, FrameTap::Cut::Frame, removed + dropped, frameLength,
                         microsSinceEpoch);
}

struct TapAt
{
    FrameTap *tap = nullptr;
    qint64 microsSinceEpoch = 0;
};

bool extract(QByteArray &buffer, ParsedFrame &record, ReceiveStatistics *statistics, TapAt tapAt = {})
{
    clearRecord(record);
    if (buffer.size() < FrameFormat::MinLength)
        return false;

    const char *data = buffer.constData();
    const int size = buffer.size();
    int pos = 0;
    int frameLength = 0;
    while (size - pos >= FrameFormat::MinLength) {
        const char *sync = static_cast<const char *>(memchr(data + pos, FrameFormat::Sync, size_t(size - pos)));
        if (!sync) {
            pos = size;
            break;
        }
        pos = int(sync - data);
        int length = 0;
        int version = 0;
        const Candidate candidate = inspectCandidate(data + pos, size - pos, length, version);
        if (candidate != Candidate::Incomplete && candidate != Candidate::Frame) {
            countRejected(candidate, statistics);
            ++pos;
            continue;
        }
        // A false sync byte whose header happens to add up can announce up to
        // 512 bytes that a request/response line may never send. A complete
        // good frame inside the announced extent proves the start false, so it
        // is dropped at once instead of waiting for bytes or for silence. The
        // rule looks only at bytes inside the extent, so the outcome is the
        // same however the input was cut into pieces; the price is that a real
        // frame whose body holds a whole valid frame (a chance of one in
        // sixteen million for random content) yields that inner frame instead.
        if (length > 0 && holdsCompleteFrame(data + pos, qMin(length, size - pos))) {
            ++pos;
            continue;
        }
        if (candidate == Candidate::Incomplete)
            break;
        fillRecord(data + pos, length, version, record);
        frameLength = length;
        pos += length;
        break;
    }
    if (tapAt.tap)
        showCut(*tapAt.tap, data, pos, frameLength, tapAt.microsSinceEpoch);
    buffer.remove(0, pos);
    if (statistics) {
        statistics->frames += record.valid ? 1 : 0;
        statistics->resyncBytes += quint64(pos - frameLength);
    }
    return record.valid;
}
}

quint16 crc16Modbus(const char *data, int length)
{
    static const std::array<quint16, 256> table = crcTable();
    quint16 crc = 0xFFFF;
    for (int i = 0; i < length; ++i)
        crc = quint16((crc >> 8) ^ table[(crc ^ quint8(data[i])) & 0xFF]);
    return crc;
}

quint16 crc16Modbus(const QByteArray &data)
{
    return crc16Modbus(data.constData(), data.size());
}

quint8 sum8(const char *data, int length)
{
    quint8 sum = 0;
    for (int i = 0; i < length; ++i)
        sum = quint8(sum + quint8(data[i]));
    return sum;
}

QByteArray buildCommandFrame(quint8 subCommand, quint32 para1, quint32 para2, quint32 para3, quint32 para4)
{
    QByteArray payload;
    payload.reserve(17);
    payload.append(char(subCommand));
    appendLe32(payload, para1);
    appendLe32(payload, para2);
    appendLe32(payload, para3);
    appendLe32(payload, para4);
    return buildFrameV0(CommandId::Command, payload);
}

QByteArray buildFrameV0(quint8 commandId, const QByteArray &payload)
{
    QByteArray frame = startFrame(0, payload.size() + FrameFormat::V0Overhead);
    frame.append(char(commandId));
    frame.append(payload);
    finishFrame(frame);
    return frame;
}

QByteArray buildFrameV1(quint8 commandSet, quint8 commandId, const QByteArray &payload, quint16 sequence,
                        quint8 byte7, quint8 byte8, bool flagArg)
{
    QByteArray frame = startFrame(1, payload.size() + FrameFormat::V1Overhead);
    appendLe16(frame, sequence);
    frame.append(char(flagArg ? 0x00 : 0x04));
    frame.append(char(byte7));
    frame.append(char(byte8));
    frame.append(char(commandSet));
    frame.append(char(commandId));
    frame.append(payload);
    finishFrame(frame);
    return frame;
}

bool extractFrame(QByteArray &buffer, ParsedFrame &record)
{
    return extract(buffer, record, nullptr);
}

bool extractFrame(QByteArray &buffer, ParsedFrame &record, ReceiveStatistics &statistics)
{
    return extract(buffer, record, &statistics);
}

bool extractFrame(QByteArray &buffer, ParsedFrame &record, ReceiveStatistics &statistics, FrameTap &tap,
                  qint64 microsSinceEpoch)
{
    return extract(buffer, record, &statistics, {&tap, microsSinceEpoch});
}

QString toHexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}
