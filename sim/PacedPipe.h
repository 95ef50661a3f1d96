#pragma once

#include <QByteArray>
#include <QtGlobal>

// Bytes crossing a serial line of a given baud rate, ten bit times per byte:
// what is pushed comes out no faster than the line could carry it. A baud
// rate of 0 means no line limit at all.
class PacedPipe
{
public:
    explicit PacedPipe(int baud = 0) : m_byteNs(baud > 0 ? (10'000'000'000LL + baud - 1) / baud : 0) {}

    void push(const QByteArray &bytes, qint64 nowNs);
    // The bytes whose last bit has arrived by `nowNs`.
    QByteArray take(qint64 nowNs);
    // When the last bit of the bytes taken so far arrived on the line.
    qint64 lineTimeNs() const { return m_lineStartNs; }
    // When the next bytes worth handing on will have arrived: all that is
    // pending, or about 0.1 ms of line time if that comes sooner, so that a
    // fast line is not served with one wake-up per byte. -1: nothing pending.
    qint64 nextReadyNs() const;
    // When all that is pending will have arrived; -1: nothing pending.
    qint64 drainedNs() const { return m_pending.isEmpty() ? -1 : m_lineStartNs + m_pending.size() * m_byteNs; }
    bool isEmpty() const { return m_pending.isEmpty(); }

private:
    qint64 m_byteNs;
    QByteArray m_pending;
    qint64 m_lineStartNs = 0;   // when the first pending byte started on the line
};
