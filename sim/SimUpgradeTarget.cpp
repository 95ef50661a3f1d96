#include "sim/SimUpgradeTarget.h"

namespace {
const quint8 SignatureOk = 0x01;
const quint8 Md5Ok = 0x02;
const quint8 ImageTooLarge = 0x01;
}

void SimUpgradeTarget::erase()
{
    m_started = false;
    m_size = 0;
    m_nextSequence = 0;
    m_packetsStored = 0;
    m_inOrder = true;
    m_silent = false;
    m_image.clear();
}

quint8 SimUpgradeTarget::start(qint64 size)
{
    // The same size again is the tool resending a start request whose reply was
    // late, perhaps after data began: the transfer goes on. Only an erase or
    // another size begins afresh.
    if (m_started && size == m_size)
        return 0;
    erase();
    if (m_config.sizeExceeded || size > m_config.flashSize)
        return ImageTooLarge;
    m_started = true;
    m_size = size;
    m_image.reserve(int(size) + PacketSize);
    return 0;
}

bool SimUpgradeTarget::isRepeat(quint16 sequence) const
{
    return m_packetsStored > 0 && sequence == quint16(m_nextSequence - 1);
}

std::optional<quint16> SimUpgradeTarget::packet(quint16 sequence, const QByteArray &data)
{
    if (!m_started || m_silent || data.size() != PacketSize)
        return std::nullopt;
    const bool repeat = isRepeat(sequence);
    const int index = repeat ? m_packetsStored - 1 : m_packetsStored;
    if (m_config.silentAfterPacket >= 0 && index > m_config.silentAfterPacket) {
        m_silent = true;
        return std::nullopt;
    }
    if (!repeat) {
        if (sequence != m_nextSequence) {
            // A gap or a jump back: nothing is stored and the transfer can no
            // longer verify, but the sender hears which packet arrived.
            m_inOrder = false;
            return sequence;
        }
        m_image.append(data);
        ++m_packetsStored;
        ++m_nextSequence;
    }
    return acknowledge(index, sequence);
}

std::optional<quint16> SimUpgradeTarget::acknowledge(int index, quint16 sequence)
{
    if (index == m_config.dropAckPacket && !m_dropAckDone) {
        m_dropAckDone = true;
        return std::nullopt;
    }
    if (index == m_config.wrongSeqPacket && !m_wrongSeqDone) {
        m_wrongSeqDone = true;
        return quint16(sequence + 1);
    }
    return sequence;
}

quint8 SimUpgradeTarget::stop(quint16 sequence)
{
    const qint64 packetsNeeded = (m_size + PacketSize - 1) / PacketSize;
    const bool complete = m_started && m_inOrder && m_packetsStored == packetsNeeded
        && sequence == m_nextSequence;
    quint8 result = complete ? (SignatureOk | Md5Ok) : 0;
    if (m_config.failSignature)
        result &= quint8(~SignatureOk);
    if (m_config.failMd5)
        result &= quint8(~Md5Ok);
    return result;
}
