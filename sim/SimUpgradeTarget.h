#pragma once

#include "sim/SimConfig.h"

#include <QByteArray>

#include <optional>

// The bootloader's side of a firmware upgrade: accepts or refuses the announced
// size, stores data packets in sequence, acknowledges them and verifies the
// transfer. Faults from the configuration are applied here.
class SimUpgradeTarget
{
public:
    static constexpr int PacketSize = 64;

    explicit SimUpgradeTarget(const SimConfig &config) : m_config(config) {}

    // Forgets any earlier transfer.
    void erase();
    // 0 when accepted, non-zero when the image does not fit. Announcing the size
    // of the transfer already under way changes nothing.
    quint8 start(qint64 size);
    // The sequence number the acknowledgement carries, or nothing when no
    // acknowledgement goes out. The packet last stored, sent again, is
    // acknowledged again but not stored twice.
    std::optional<quint16> packet(quint16 sequence, const QByteArray &data);
    // Bit 0: signature check passed, bit 1: MD5 check passed.
    quint8 stop(quint16 sequence);
    static constexpr quint8 BothChecksPassed = 0x03;

    // What was received, trimmed to the announced size.
    QByteArray image() const { return m_image.left(int(m_size)); }
    int packetsStored() const { return m_packetsStored; }

private:
    bool isRepeat(quint16 sequence) const;
    std::optional<quint16> acknowledge(int index, quint16 sequence);

    const SimConfig &m_config;
    bool m_started = false;
    qint64 m_size = 0;
    quint16 m_nextSequence = 0;
    int m_packetsStored = 0;
    bool m_inOrder = true;
    bool m_silent = false;
    bool m_wrongSeqDone = false;
    bool m_dropAckDone = false;
    QByteArray m_image;
};
