#include "device/ControllerTelemetry.h"

#include "device/HeartbeatDecoder.h"
#include "device/VersionReply.h"
#include "protocol/FrameCodec.h"

namespace {
const quint8 VersionQuery = 0x01;

QString hexId(quint8 id)
{
    return QString::number(id, 16);
}
}

ControllerTelemetry::ControllerTelemetry(DeviceLink &link, MessageSink &messages, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_messages(messages)
{
}

void ControllerTelemetry::queryVersion()
{
    if (!m_link.require())
        return;
    if (m_link.send(buildFrameV1(CommandSet::General, VersionQuery, QByteArray())))
        m_messages.report(Message::info(QStringLiteral("正在查询版本号..."), QStringLiteral("Querying version...")));
}

void ControllerTelemetry::handleHeartbeat(const QByteArray &payload)
{
    HeartbeatRecord record;
    if (!decodeHeartbeat(payload, record))
        return;
    m_heartbeat = record;
    m_heartbeatReceived = true;
    emit heartbeatChanged();
    if (m_heartbeatLogged)
        return;
    m_heartbeatLogged = true;
    if (m_messages.diagnosticsHeard())
        m_messages.diagnostic(heartbeatDiagnosticLine(payload, record));
}

void ControllerTelemetry::resetHeartbeat()
{
    m_heartbeat = HeartbeatRecord();
    m_heartbeatReceived = false;
    m_heartbeatLogged = false;
    emit heartbeatChanged();
}

void ControllerTelemetry::handleVersionReply(const QByteArray &payload)
{
    VersionReply reply;
    if (!decodeVersionReply(payload, reply))
        return;
    m_firmwareVersion = reply.firmware;
    m_bootVersion = reply.boot;
    m_link.noteVersions();
    emit versionsChanged();
    m_messages.report(Message::success(QStringLiteral("固件版本: %1，Boot: %2").arg(reply.firmware, reply.boot),
                                       QStringLiteral("Firmware: %1, Boot: %2").arg(reply.firmware, reply.boot),
                                       MessageTopic::VersionReply, OperatorAction::VersionQuery));
}

void ControllerTelemetry::forgetVersions()
{
    m_firmwareVersion = QStringLiteral("-");
    m_bootVersion = QStringLiteral("-");
    emit versionsChanged();
}

void ControllerTelemetry::reportUnknownGeneralReply(quint8 commandId)
{
    reportUnknownReply({ QStringLiteral("收到未知v1通用应答"), QStringLiteral("Unknown v1 general reply") }, commandId);
}

void ControllerTelemetry::reportUnknownGimbalReply(quint8 commandId)
{
    reportUnknownReply({ QStringLiteral("收到未知v1云台应答"), QStringLiteral("Unknown v1 gimbal reply") }, commandId);
}

// A controller (or line noise) can send these without end.
void ControllerTelemetry::reportUnknownReply(const TextPair &stem, quint8 commandId)
{
    const QString suffix = QStringLiteral(": CMD_ID=0x") + hexId(commandId);
    m_messages.reportRepeatable(Message::error(stem.zh + suffix, stem.en + suffix), stem);
}
