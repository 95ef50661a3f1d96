#include "sim/ReplayScript.h"

#include "protocol/FrameCodec.h"

#include <algorithm>

namespace {
const quint8 UpgradeDataPacket = 0x0D;
// A version-1 frame up to and including its command id: what a recording
// keeps of an upgrade data packet whose payload it digested.
const int V1HeaderSize = 11;

bool isWholeFrame(const QByteArray &bytes, ParsedFrame &frame)
{
    QByteArray rest = bytes;
    QByteArray cut;
    return takeFrame(rest, frame, cut) && cut.size() == bytes.size();
}

bool isHeartbeat(const ParsedFrame &frame)
{
    return frame.version == 1 && frame.commandSet == CommandSet::Gimbal && frame.v1CommandId == 0x00;
}

// Upgrade data packets go by their header, sequence included, whether the
// recording kept their payload or only its digest.
QByteArray requestKey(const QByteArray &request)
{
    const bool dataPacket = request.size() >= V1HeaderSize && quint8(request[0]) == FrameFormat::Sync
        && (quint8(request[2]) >> 2) == 1 && quint8(request[9]) == CommandSet::General
        && quint8(request[10]) == UpgradeDataPacket;
    return dataPacket ? request.left(V1HeaderSize) : request;
}
}

bool takeFrame(QByteArray &buffer, ParsedFrame &frame, QByteArray &bytes)
{
    const QByteArray before = buffer;
    if (!extractFrame(buffer, frame))
        return false;
    const int length = frame.payload.size() + (frame.version == 0 ? FrameFormat::V0Overhead : FrameFormat::V1Overhead);
    bytes = before.mid(before.size() - buffer.size() - length, length);
    return true;
}

ReplayScript::ReplayScript(const QVector<Pcapng::Packet> &packets, double speed) : m_speed(speed)
{
    const qint64 firstUs = packets.isEmpty() ? 0 : packets.first().microsSinceEpoch;
    for (const Pcapng::Packet &packet : packets)
        add(packet, packet.microsSinceEpoch - firstUs);
}

void ReplayScript::add(const Pcapng::Packet &packet, qint64 sinceStartUs)
{
    if (packet.direction == FrameTap::Direction::Outbound) {
        m_lastRequest = requestKey(packet.data);
        m_lastRequestUs = sinceStartUs;
        m_replies[m_lastRequest].append(Replies());
        return;
    }
    ParsedFrame frame;
    if (m_lastRequestUs >= 0 && isWholeFrame(packet.data, frame) && !isHeartbeat(frame))
        m_replies[m_lastRequest].last().append(Timed {sinceStartUs - m_lastRequestUs, packet.data});
    else
        m_stream.append(Timed {sinceStartUs, packet.data});
}

void ReplayScript::start(qint64 nowMs)
{
    m_startMs = nowMs;
    m_nextInStream = 0;
    m_asked.clear();
    m_pending.clear();
}

bool ReplayScript::answer(const QByteArray &request, qint64 nowMs)
{
    const QByteArray key = requestKey(request);
    const auto recorded = m_replies.constFind(key);
    if (recorded == m_replies.constEnd())
        return false;
    const int occurrence = qMin(m_asked[key]++, recorded->size() - 1);
    for (const Timed &reply : recorded->at(occurrence)) {
        const Due due {nowMs + scaledMs(reply.atUs), reply.bytes};
        const auto later = std::upper_bound(m_pending.begin(), m_pending.end(), due.atMs,
                                            [](qint64 at, const Due &each) { return at < each.atMs; });
        m_pending.insert(later, due);
    }
    return true;
}

QList<QByteArray> ReplayScript::takeDue(qint64 nowMs)
{
    QList<QByteArray> due;
    for (;;) {
        const qint64 streamMs = streamDueMs();
        const qint64 replyMs = replyDueMs();
        if (streamMs >= 0 && streamMs <= nowMs && (replyMs < 0 || streamMs <= replyMs))
            due.append(m_stream[m_nextInStream++].bytes);
        else if (replyMs >= 0 && replyMs <= nowMs)
            due.append(m_pending.takeFirst().bytes);
        else
            return due;
    }
}

qint64 ReplayScript::streamDueMs() const
{
    return m_startMs >= 0 && m_nextInStream < m_stream.size() ? m_startMs + scaledMs(m_stream[m_nextInStream].atUs) : -1;
}

qint64 ReplayScript::nextDueMs() const
{
    const qint64 streamMs = streamDueMs();
    const qint64 replyMs = replyDueMs();
    return streamMs < 0 ? replyMs : replyMs < 0 ? streamMs : qMin(streamMs, replyMs);
}
