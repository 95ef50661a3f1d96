// Version-1 replies: heartbeat, version query and the routing to the upgrade.
#include "bridge/AppBridge.h"

#include "device/HeartbeatDecoder.h"
#include "device/VersionReply.h"
#include "log/Diagnostics.h"
#include "protocol/FrameCodec.h"

namespace {
const quint8 VersionQuery = 0x01;
const quint8 VersionAnswer = 0x02;
const quint8 Heartbeat = 0x00;

QString hexId(quint8 id)
{
    return QString::number(id, 16);
}

struct ReplyStem
{
    QString zh;
    QString en;
};

ReplyStem unknownReplyStem(const QString &kind)
{
    if (kind == QLatin1String("gimbal"))
        return {QStringLiteral("收到未知v1云台应答"), QStringLiteral("Unknown v1 gimbal reply")};
    return {QStringLiteral("收到未知v1通用应答"), QStringLiteral("Unknown v1 general reply")};
}
}

void AppBridge::tavoxQueryVersion()
{
    if (!tavoxRequireSerial())
        return;
    if (sendFrame(buildFrameV1(CommandSet::General, VersionQuery, QByteArray())))
        appendMessage(localized(QStringLiteral("正在查询版本号..."), QStringLiteral("Querying version...")));
}

void AppBridge::handleV1Reply(const ParsedFrame &frame)
{
    if (frame.commandSet == CommandSet::General)
        handleGeneralReply(frame);
    else if (frame.commandSet == CommandSet::Gimbal)
        handleGimbalReply(frame);
}

void AppBridge::handleGeneralReply(const ParsedFrame &frame)
{
    switch (frame.v1CommandId) {
    case VersionAnswer:
        handleVersionReply(frame.payload);
        return;
    case UpgradeCommand::EraseDone:
    case UpgradeCommand::StartReply:
    case UpgradeCommand::DataAck:
    case UpgradeCommand::VerifyResult:
        m_upgrade.handleReply(frame);
        return;
    default:
        reportUnknownReply(QStringLiteral("general"), frame.v1CommandId);
    }
}

void AppBridge::handleGimbalReply(const ParsedFrame &frame)
{
    if (frame.v1CommandId == Heartbeat) {
        handleHeartbeat(frame.payload);
        return;
    }
    reportUnknownReply(QStringLiteral("gimbal"), frame.v1CommandId);
}

void AppBridge::handleHeartbeat(const QByteArray &payload)
{
    HeartbeatRecord record;
    if (!decodeHeartbeat(payload, record))
        return;
    m_heartbeat = record;
    m_hbReceived = true;
    emit heartbeatChanged();
    if (m_hbDiagLogged)
        return;
    m_hbDiagLogged = true;
    if (diagnosticsHeard())
        logDiagnostic(heartbeatDiagnosticLine(payload, record));
}

void AppBridge::handleVersionReply(const QByteArray &payload)
{
    VersionReply reply;
    if (!decodeVersionReply(payload, reply))
        return;
    m_firmwareVersion = reply.firmware;
    m_bootVersion = reply.boot;
    m_link.noteVersions();
    emit tavoxVersionChanged();
    appendMessage(localized(QStringLiteral("固件版本: %1，Boot: %2"), QStringLiteral("Firmware: %1, Boot: %2"))
                      .arg(reply.firmware, reply.boot));
}

// A controller (or line noise) can send these without end: past a few a second
// they are counted, and the count is reported once the flood is over.
void AppBridge::reportUnknownReply(const QString &kind, quint8 commandId)
{
    const qint64 now = m_monotonic.elapsed();
    if (m_throttle.admit(kind, now)) {
        const ReplyStem stem = unknownReplyStem(kind);
        appendMessage(localized(stem.zh, stem.en) + QStringLiteral(": CMD_ID=0x") + hexId(commandId));
        return;
    }
    if (!m_floodEndCheck.isActive())
        m_floodEndCheck.start(int(qMax<qint64>(0, m_throttle.nextEndMs() - now)));
}

void AppBridge::reportEndedFloods()
{
    const qint64 now = m_monotonic.elapsed();
    for (const MessageThrottle::Suppressed &flood : m_throttle.takeEnded(now)) {
        const ReplyStem stem = unknownReplyStem(flood.kind);
        appendMessage(localized(QStringLiteral("%1: 已抑制 %2 条相似消息").arg(stem.zh).arg(flood.count),
                                QStringLiteral("%1: %2 similar messages suppressed").arg(stem.en).arg(flood.count)));
    }
    const qint64 next = m_throttle.nextEndMs();
    if (next >= 0)
        m_floodEndCheck.start(int(qMax<qint64>(0, next - now)));
}
