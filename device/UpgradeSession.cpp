#include "device/UpgradeSession.h"

#include "protocol/FrameCodec.h"

#include <algorithm>

namespace {
const quint8 DataPacketFlags = 0x10;
const quint8 StartPayloadLead = 0x00;
const quint8 StopPayload = 0x03;
const quint8 SignatureOk = 0x01;
const quint8 Md5Ok = 0x02;

Message progressText(const char *zh, const char *en)
{
    return Message::info(QString::fromUtf8(zh), QString::fromUtf8(en));
}

// A trouble the upgrade may still overcome.
Message setbackText(const QString &zh, const QString &en)
{
    return Message::error(zh, en, MessageTopic::None, OperatorAction::Upgrade);
}

// The end of this upgrade without a new firmware.
Message failureText(const QString &zh, const QString &en)
{
    return Message::error(zh, en, MessageTopic::UpgradeFailed, OperatorAction::Upgrade);
}

void appendLe16(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}
}

int UpgradeSession::replyTimeoutMs() const
{
    switch (m_state) {
    case State::Erasing:
        return m_timeouts.eraseMs;
    case State::Stopping:
        return m_timeouts.stopMs;
    case State::Idle:
    case State::Starting:
    case State::Transferring:
    case State::Verified:
        break;
    }
    return m_timeouts.transferMs;
}

bool UpgradeSession::awaitingReply() const
{
    return m_state != State::Idle && m_state != State::Verified;
}

void UpgradeSession::load(const QByteArray &image)
{
    if (active())
        return;
    m_image = image;
    m_packetIndex = 0;
    m_packetCount = int((image.size() + PacketSize - 1) / PacketSize);
    m_sequence = 0;
    m_progress = 0;
    m_resends = 0;
    m_pendingFrame.clear();
}

UpgradeSession::Reaction UpgradeSession::requestErase()
{
    Reaction reaction;
    reaction.messages << progressText("正在擦除固件...", "Erasing firmware...");
    sendRequest(State::Erasing, eraseFrame(), reaction);
    return reaction;
}

UpgradeSession::Reaction UpgradeSession::onEraseDone()
{
    if (m_state != State::Erasing)
        return ignoredReply();
    Reaction reaction;
    reaction.messages << progressText("固件擦除完成，发送开始升级请求...", "Firmware erased, sending start upgrade...")
                      << progressText("发送开始升级请求...", "Sending start upgrade request...");
    sendRequest(State::Starting, startFrame(), reaction);
    return reaction;
}

UpgradeSession::Reaction UpgradeSession::onStartReply(const QByteArray &payload)
{
    if (m_state != State::Starting || payload.isEmpty())
        return ignoredReply();
    Reaction reaction;
    if (payload[0] != 0) {
        reaction.messages << failureText(QStringLiteral("固件大小超限，升级中止"),
                                         QStringLiteral("Firmware size exceeded, upgrade aborted"));
        end(reaction, Outcome::SizeRefused);
        m_progress = 0;
        reaction.progressUpdated = true;
        return reaction;
    }
    reaction.messages << progressText("开始升级确认，开始传输数据...", "Upgrade confirmed, transmitting data...");
    m_sequence = 0;
    sendNextPacket(reaction);
    return reaction;
}

UpgradeSession::Reaction UpgradeSession::onDataAck(quint16 ackedSequence)
{
    if (m_state != State::Transferring || isStaleAck(ackedSequence))
        return ignoredReply();
    Reaction reaction;
    if (ackedSequence == m_sequence) {
        ++m_packetIndex;
        ++m_sequence;
    } else {
        reaction.messages << setbackText(QStringLiteral("升级数据包序号不匹配，重发包 %1").arg(m_sequence),
                                         QStringLiteral("Upgrade seq mismatch, resending packet %1").arg(m_sequence));
    }
    sendNextPacket(reaction);
    return reaction;
}

// The answer to a packet that was already acknowledged: the late twin of a
// resend's acknowledgement. Counted in sequence space, across the wrap, and only
// half of it, so that an acknowledgement ahead of the packet is still a mismatch.
bool UpgradeSession::isStaleAck(quint16 ackedSequence) const
{
    const int behind = quint16(m_sequence - ackedSequence);
    return behind >= 1 && behind <= std::min(m_packetIndex, 0x8000);
}

UpgradeSession::Reaction UpgradeSession::onVerifyResult(const QByteArray &payload)
{
    if (m_state != State::Stopping || payload.isEmpty())
        return ignoredReply();
    Reaction reaction;
    const quint8 result = quint8(payload[0]);
    const bool signatureOk = result & SignatureOk;
    const bool md5Ok = result & Md5Ok;
    if (signatureOk && md5Ok) {
        reaction.messages << Message::success(QStringLiteral("升级校验通过，发送软复位..."),
                                              QStringLiteral("Upgrade verified, sending reboot..."),
                                              MessageTopic::None, OperatorAction::Upgrade);
        m_state = State::Verified;
        m_progress = 100;
        reaction.progressUpdated = true;
        reaction.verified = true;
        return reaction;
    }
    const auto zhVerdict = [](bool ok) { return ok ? QStringLiteral("通过") : QStringLiteral("失败"); };
    const auto enVerdict = [](bool ok) { return ok ? QStringLiteral("OK") : QStringLiteral("FAIL"); };
    reaction.messages << failureText(QStringLiteral("升级校验失败: 签名=%1, MD5=%2").arg(zhVerdict(signatureOk), zhVerdict(md5Ok)),
                                     QStringLiteral("Upgrade verification failed: sig=%1, md5=%2")
                                         .arg(enVerdict(signatureOk), enVerdict(md5Ok)));
    end(reaction, Outcome::VerificationFailed);
    return reaction;
}

UpgradeSession::Reaction UpgradeSession::onReplyTimeout()
{
    Reaction reaction;
    if (!awaitingReply())
        return reaction;
    if (m_resends >= MaxResends) {
        reaction.messages << failureText(QStringLiteral("升级超时，已中止"), QStringLiteral("Upgrade timed out, aborted"));
        end(reaction, Outcome::TimedOut);
        return reaction;
    }
    ++m_resends;
    const QString name = pendingRequestName();
    reaction.messages << setbackText(QStringLiteral("升级无应答，重发 %1").arg(name),
                                     QStringLiteral("No upgrade reply, resending %1").arg(name));
    reaction.frame = m_pendingFrame;
    reaction.awaitsReply = true;
    return reaction;
}

UpgradeSession::Reaction UpgradeSession::finish()
{
    Reaction reaction;
    if (m_state != State::Verified)
        return reaction;
    reaction.messages << Message::info(QStringLiteral("发送软复位指令..."), QStringLiteral("Sending reboot command..."),
                                       MessageTopic::RestartSent);
    reaction.frame = softResetFrame();
    end(reaction, Outcome::Completed);
    return reaction;
}

void UpgradeSession::abort()
{
    m_state = State::Idle;
    m_pendingFrame.clear();
    m_resends = 0;
}

UpgradeSession::Reaction UpgradeSession::ignoredReply()
{
    Reaction reaction;
    reaction.ignored = true;
    return reaction;
}

// Every request that moves the upgrade on starts its own count of resends.
void UpgradeSession::sendRequest(State state, QByteArray frame, Reaction &reaction)
{
    m_state = state;
    m_resends = 0;
    m_pendingFrame = frame;
    reaction.frame = std::move(frame);
    reaction.awaitsReply = true;
}

void UpgradeSession::end(Reaction &reaction, Outcome outcome)
{
    abort();
    reaction.endsUpgrade = true;
    reaction.outcome = outcome;
}

void UpgradeSession::sendNextPacket(Reaction &reaction)
{
    if (m_packetIndex >= m_packetCount) {
        reaction.messages << progressText("发送结束升级请求...", "Sending stop upgrade request...");
        sendRequest(State::Stopping, stopFrame(), reaction);
        return;
    }
    sendRequest(State::Transferring, dataFrame(), reaction);
    m_progress = int(std::min<qint64>(qint64(m_packetIndex) * 100 / m_packetCount, 99));
    reaction.progressUpdated = true;
}

QString UpgradeSession::pendingRequestName() const
{
    switch (m_state) {
    case State::Erasing:
        return QStringLiteral("erase");
    case State::Starting:
        return QStringLiteral("start");
    case State::Stopping:
        return QStringLiteral("stop");
    case State::Idle:
    case State::Transferring:
    case State::Verified:
        break;
    }
    // A data packet is named by the sequence number it carries.
    return QString::number(m_sequence);
}

QByteArray UpgradeSession::eraseFrame() const
{
    return buildFrameV1(CommandSet::General, UpgradeCommand::Erase, QByteArray());
}

QByteArray UpgradeSession::startFrame() const
{
    QByteArray payload;
    payload.append(char(StartPayloadLead));
    const quint32 size = quint32(m_image.size());
    for (int shift = 0; shift < 32; shift += 8)
        payload.append(char((size >> shift) & 0xFF));
    return buildFrameV1(CommandSet::General, UpgradeCommand::Start, payload);
}

// Built by hand: the flags byte of a data packet differs from every builder frame.
QByteArray UpgradeSession::dataFrame() const
{
    QByteArray frame;
    frame.reserve(DataFrameSize);
    frame.append(char(FrameFormat::Sync));
    frame.append(char(DataFrameSize & 0xFF));
    frame.append(char((1 << 2) | (DataFrameSize >> 8)));
    frame.append(char(sum8(frame.constData(), 3)));
    appendLe16(frame, m_sequence);
    frame.append(char(DataPacketFlags));
    frame.append(char(0x00));
    frame.append(char(0x08));
    frame.append(char(CommandSet::General));
    frame.append(char(UpgradeCommand::Data));
    const int offset = m_packetIndex * PacketSize;
    const int available = std::max(0, std::min(PacketSize, m_image.size() - offset));
    if (available > 0)
        frame.append(m_image.constData() + offset, available);
    frame.append(PacketSize - available, '\0');
    appendLe16(frame, crc16Modbus(frame));
    return frame;
}

QByteArray UpgradeSession::stopFrame() const
{
    return buildFrameV1(CommandSet::General, UpgradeCommand::Stop, QByteArray(1, char(StopPayload)), m_sequence);
}

QByteArray UpgradeSession::softResetFrame()
{
    return buildFrameV1(CommandSet::General, UpgradeCommand::SoftReset, QByteArray());
}
