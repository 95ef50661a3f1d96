#include "sim/PacedPipe.h"

namespace {
const qint64 BatchNs = 100'000;
}

void PacedPipe::push(const QByteArray &bytes, qint64 nowNs)
{
    // An idle line starts carrying the new bytes now, not when it last fell idle.
    if (m_pending.isEmpty())
        m_lineStartNs = qMax(m_lineStartNs, nowNs);
    m_pending.append(bytes);
}

QByteArray PacedPipe::take(qint64 nowNs)
{
    if (m_byteNs == 0 || m_pending.isEmpty()) {
        QByteArray all;
        all.swap(m_pending);
        return all;
    }
    const qint64 count = qMin(qint64(m_pending.size()), qMax<qint64>(0, (nowNs - m_lineStartNs) / m_byteNs));
    m_lineStartNs += count * m_byteNs;
    const QByteArray out = m_pending.left(int(count));
    m_pending.remove(0, int(count));
    return out;
}

qint64 PacedPipe::nextReadyNs() const
{
    if (m_pending.isEmpty())
        return -1;
    const qint64 batch = m_byteNs > 0 ? qMax<qint64>(1, BatchNs / m_byteNs) : 1;
    return m_lineStartNs + qMin<qint64>(m_pending.size(), batch) * m_byteNs;
}
