// Version-1 replies: heartbeat, version query and the routing to the upgrade.
#include "bridge/AppBridge.h"

#include "device/HeartbeatDecoder.h"
#include "device/VersionReply.h"
#include "protocol/FrameCodec.h"

namespace {
const quint8 VersionQuery = 0x01;
const quint8 VersionAnswer = 0x02;
const quint8 Heartbeat = 0x00;

QString hexId(quint8 id)
{
    return QString::number(id, 16);
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
        handleUpgradeReply(frame);
        return;
    default:
        appendMessage(localized(QStringLiteral("收到未知v1通用应答: CMD_ID=0x"),
                                QStringLiteral("Unknown v1 general reply: CMD_ID=0x"))
                      + hexId(frame.v1CommandId));
    }
}

void AppBridge::handleGimbalReply(const ParsedFrame &frame)
{
    if (frame.v1CommandId == Heartbeat) {
        handleHeartbeat(frame.payload);
        return;
    }
    appendMessage(localized(QStringLiteral("收到未知v1云台应答: CMD_ID=0x"),
                            QStringLiteral("Unknown v1 gimbal reply: CMD_ID=0x"))
                  + hexId(frame.v1CommandId));
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
    logDiagnostic(heartbeatDiagnosticLine(payload, record));
}

void AppBridge::handleVersionReply(const QByteArray &payload)
{
    VersionReply reply;
    if (!decodeVersionReply(payload, reply))
        return;
    m_firmwareVersion = reply.firmware;
    m_bootVersion = reply.boot;
    emit tavoxVersionChanged();
    appendMessage(localized(QStringLiteral("固件版本: %1，Boot: %2"), QStringLiteral("Firmware: %1, Boot: %2"))
                      .arg(reply.firmware, reply.boot));
}
