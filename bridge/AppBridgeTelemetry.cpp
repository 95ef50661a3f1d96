// Version-1 replies routed to the telemetry and the upgrade.
#include "bridge/AppBridge.h"

#include "protocol/FrameCodec.h"


namespace {
const quint8 VersionAnswer = 0x02;
const quint8 Heartbeat = 0x00;
}

void AppBridge::tavoxQueryVersion()
{
    m_telemetry.queryVersion();
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
        m_telemetry.handleVersionReply(frame.payload);
        return;
    case UpgradeCommand::EraseDone:
    case UpgradeCommand::StartReply:
    case UpgradeCommand::DataAck:
    case UpgradeCommand::VerifyResult:
        m_upgrade.handleReply(frame);
        return;
    default:
        m_telemetry.reportUnknownGeneralReply(frame.v1CommandId);
    }
}

void AppBridge::handleGimbalReply(const ParsedFrame &frame)
{
    if (frame.v1CommandId == Heartbeat) {
        m_telemetry.handleHeartbeat(frame.payload);
        return;
    }
    m_telemetry.reportUnknownGimbalReply(frame.v1CommandId);
}
