#pragma once

#include "protocol/Pcapng.h"
#include "protocol/ParsedFrame.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QVector>

// The controller's side of a recorded session, played again without any I/O.
// What the controller sent by itself (heartbeats, frames before the first
// request, runs of bytes the tool dropped) goes out at its recorded time after
// the start; every other frame it sent answers the host's request before it,
// and goes out as long after the same request as it did then. The n-th time a
// request comes it gets the reply recorded for its n-th occurrence, the last
// one again once they run out. Time is any monotonic millisecond count chosen
// by the caller.
class ReplayScript
{
public:
    // `speed` > 0: 2 plays twice as fast.
    ReplayScript(const QVector<Pcapng::Packet> &packets, double speed);

    // Plays from the recording's first packet, no request asked yet.
    void start(qint64 nowMs);
    // Schedules the recorded reply to the request (one whole frame); false
    // when the recording holds no such request.
    bool answer(const QByteArray &request, qint64 nowMs);
    // Everything due by `nowMs`, oldest first.
    QList<QByteArray> takeDue(qint64 nowMs);
    // When the next bytes fall due; -1 once the recording has run out.
    qint64 nextDueMs() const;

private:
    struct Timed
    {
        qint64 atUs;   // after the start, or after the request for a reply
        QByteArray bytes;
    };
    using Replies = QVector<Timed>;
    struct Due
    {
        qint64 atMs;
        QByteArray bytes;
    };

    void add(const Pcapng::Packet &packet, qint64 sinceStartUs);
    qint64 scaledMs(qint64 us) const { return qint64(us / (1000 * m_speed)); }
    qint64 streamDueMs() const;
    qint64 replyDueMs() const { return m_pending.isEmpty() ? -1 : m_pending.first().atMs; }

    double m_speed;
    QVector<Timed> m_stream;
    QHash<QByteArray, QVector<Replies>> m_replies;   // by request, one entry per occurrence
    QByteArray m_lastRequest;
    qint64 m_lastRequestUs = -1;

    qint64 m_startMs = -1;   // -1: not started
    int m_nextInStream = 0;
    QHash<QByteArray, int> m_asked;
    QList<Due> m_pending;   // replies scheduled, in time order
};

// Cuts the next frame off `buffer` as extractFrame does, and gives its bytes as
// they came, so that a request can be looked up as it was recorded.
bool takeFrame(QByteArray &buffer, ParsedFrame &frame, QByteArray &bytes);
