#include "device/ParameterCommands.h"

#include "device/AccelProgress.h"
#include "device/CommandNames.h"
#include "device/GimbalConfig.h"
#include "device/ParamCodec.h"
#include "device/SubCommands.h"
#include "protocol/FrameCodec.h"


namespace {
// The controller needs the new channel map activated, then a reboot to apply
// it; the block it reports after the reboot is read twice in case the first
// request arrives while it is still starting.
const int ActivateDelayMs = 500;
const int RebootDelayMs = 500;
const int FirstRereadDelayMs = 3000;
const int SecondRereadDelayMs = 6000;
const int TorqueRebootDelayMs = 500;

QString yesNo(bool value)
{
    return value ? QStringLiteral("YES") : QStringLiteral("NO");
}

QString hexWord(quint32 word)
{
    return QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0'));
}

TextPair channelsWrittenText(Receiver receiver)
{
    switch (receiver) {
    case Receiver::Sbus:
        return { QStringLiteral("SBUS通道配置已写入"), QStringLiteral("SBUS channels written") };
    case Receiver::Pwm:
        return { QStringLiteral("PWM通道配置已写入"), QStringLiteral("PWM channels written") };
    case Receiver::Crsf:
        return { QStringLiteral("CRSF通道配置已写入"), QStringLiteral("CRSF channels written") };
    }
    return {};
}

TextPair directionsWrittenText(Receiver receiver)
{
    switch (receiver) {
    case Receiver::Sbus:
        return { QStringLiteral("SBUS方向已写入"), QStringLiteral("SBUS directions written") };
    case Receiver::Pwm:
        return { QStringLiteral("PWM方向已写入"), QStringLiteral("PWM directions written") };
    case Receiver::Crsf:
        return { QStringLiteral("CRSF方向已写入"), QStringLiteral("CRSF directions written") };
    }
    return {};
}
}

ParameterCommands::ParameterCommands(DeviceLink &link, MessageSink &messages, QObject *parent)
    : QObject(parent)
    , m_link(link)
    , m_messages(messages)
{
}

void ParameterCommands::reportWritten(const TextPair &text)
{
    m_messages.report({ text, { MessageKind::Success, MessageTopic::None, OperatorAction::Command } });
}

// ---- Parameter read ----

void ParameterCommands::readParams()
{
    if (!m_link.require())
        return;
    if (m_link.send(buildFrameV0(CommandId::ParamRead, QByteArray())))
        m_messages.report(Message::info(QStringLiteral("正在读取参数..."), QStringLiteral("Reading parameters...")));
}

void ParameterCommands::handleParamBlock(const QByteArray &payload)
{
    ParamBlock decoded;
    if (!decodeParamBlock(payload, decoded))
        return;
    logParamBlockReceived(payload, decoded);
    const bool crsfKept = !decoded.crsfPresent;
    keepAbsentSegments(decoded, m_params);
    if (crsfKept)
        m_messages.diagnostic(QStringLiteral("[DIAG-MERGE] 固件0xC1未含CRSF扩展段, 已保留本地CRSF值 crsfPitch=%1 (规避被冲回默认)")
                          .arg(int(decoded.crsfPitchCh)));
    m_params = decoded;
    m_pwmRollCh = m_params.pwmPitchCh;
    m_pwmLockCh = m_params.pwmLockCh;
    ++m_blocksReceived;
    m_link.noteParamBlock();
    emit paramsChanged();
    m_messages.report(Message::success(QStringLiteral("参数读取成功"), QStringLiteral("Parameters read OK"),
                                       MessageTopic::ParamsRead, OperatorAction::Read | OperatorAction::Command));
}

void ParameterCommands::logParamBlockReceived(const QByteArray &payload, const ParamBlock &decoded)
{
    m_messages.diagnostic(QStringLiteral("[DIAG-HEX] 0xC1 raw data(%1B): %2").arg(payload.size()).arg(toHexText(payload)));
    m_messages.diagnostic(QStringLiteral("[DIAG-RX] 0xC1 dataLen=%1 crsfPresent=%2 photoVideoPresent=%3 | crsfPitch=%4 "
                                 "roll=%5 yaw=%6 center=%7 lock=%8 mode=%9 pDir=%10 rDir=%11 yDir=%12")
                      .arg(payload.size())
                      .arg(yesNo(decoded.crsfPresent), yesNo(decoded.photoVideoPresent))
                      .arg(int(decoded.crsfPitchCh))
                      .arg(int(decoded.crsfRollCh))
                      .arg(int(decoded.crsfYawCh))
                      .arg(int(decoded.crsfCenterCh))
                      .arg(int(decoded.crsfLockCh))
                      .arg(int(decoded.crsfMode))
                      .arg(int(decoded.crsfPitchDir))
                      .arg(int(decoded.crsfRollDir))
                      .arg(int(decoded.crsfYawDir)));
}

// ---- Channel and direction writes ----

bool ParameterCommands::sendCommand(const CommandWords &command)
{
    return m_link.send(command.toFrame());
}

void ParameterCommands::writeChannels(Receiver receiver, const ChannelSettings &settings)
{
    if (!m_link.require())
        return;
    const CommandWords command = packChannels(receiver, settings);
    if (!sendCommand(command))
        return;
    storeChannels(m_params, receiver, settings);
    if (receiver == Receiver::Pwm)
        m_pwmLockCh = settings.lock;
    emit paramsChanged();
    if (receiver == Receiver::Crsf)
        logCrsfWrite(settings, command);
    reportWritten(channelsWrittenText(receiver));
    ++m_activationsDue;
    ++m_rebootsDue;
    m_link.runWhileOpen(ActivateDelayMs, [this] { activateAfterWrite(); });
}

void ParameterCommands::logCrsfWrite(const ChannelSettings &settings, const CommandWords &command)
{
    m_messages.diagnostic(QStringLiteral("[DIAG-TX] 0xA7 写入 crsfPitch=%1 roll=%2 yaw=%3 center=%4 lock=%5 mode=%6 "
                                 "pDir=%7 rDir=%8 yDir=%9 | para1=0x%10 para2=0x%11 para3=0x%12 para4=0x%13")
                      .arg(settings.pitch)
                      .arg(settings.roll)
                      .arg(settings.yaw)
                      .arg(settings.center)
                      .arg(settings.lock)
                      .arg(settings.mode)
                      .arg(settings.pitchDir & 1)
                      .arg(settings.rollDir & 1)
                      .arg(settings.yawDir & 1)
                      .arg(hexWord(command.para1), hexWord(command.para2), hexWord(command.para3),
                           hexWord(command.para4)));
}

void ParameterCommands::activateAfterWrite()
{
    if (sendCommand(plainCommand(SubCommand::Activate))) {
        m_activationsDue = qMax(0, m_activationsDue - 1);
        m_messages.report(Message::info(QStringLiteral("已自动激活"), QStringLiteral("Auto-activated")));
    }
    m_link.runWhileOpen(RebootDelayMs, [this] { rebootAfterActivate(); });
}

void ParameterCommands::rebootAfterActivate()
{
    if (!sendCommand(plainCommand(SubCommand::Reboot)))
        return;
    m_rebootsDue = qMax(0, m_rebootsDue - 1);
    emit restartSent();
    m_messages.report(Message::info(QStringLiteral("配置生效，设备重启中..."), QStringLiteral("Config applied, rebooting..."),
                                    MessageTopic::RestartSent));
    if (m_restartReadsTaken > 0)
        return;
    m_link.runWhileOpen(FirstRereadDelayMs, [this] { readParams(); });
    m_link.runWhileOpen(SecondRereadDelayMs, [this] { readParams(); });
}

void ParameterCommands::writeDirections(Receiver receiver, int pitchDir, int rollDir, int yawDir)
{
    if (!m_link.require())
        return;
    ChannelSettings settings = storedChannels(m_params, receiver);
    settings.pitchDir = pitchDir;
    settings.rollDir = rollDir;
    settings.yawDir = yawDir;
    if (!sendCommand(packChannels(receiver, settings)))
        return;
    storeDirections(m_params, receiver, settings);
    emit paramsChanged();
    reportWritten(directionsWrittenText(receiver));
}

void ParameterCommands::writePhotoVideoChannels(int photoCh, int videoCh)
{
    if (!m_link.require())
        return;
    if (!sendCommand(packSbusPhotoVideo(photoCh, videoCh)))
        return;
    m_params.sbusPhotoCh = quint8(photoCh);
    m_params.sbusVideoCh = quint8(videoCh);
    m_params.photoVideoPresent = true;
    emit paramsChanged();
    reportWritten({ QStringLiteral("SBUS拍照/录像通道已写入"), QStringLiteral("SBUS photo/video channels written") });
}

// ---- Gimbal configuration, camera position and torque ----

// Reported as written only when the port took both frames.
void ParameterCommands::writeGimbalConfig(int fpvMode, int pitchSpeed, int rollSpeed, int yawSpeed)
{
    if (!m_link.require())
        return;
    const bool speedsSent = sendCommand(packMaxSpeeds(pitchSpeed, rollSpeed, yawSpeed));
    const bool fpvModeSent = sendCommand(packFpvMode(fpvMode));
    const GimbalConfig config { fpvMode, pitchSpeed, rollSpeed, yawSpeed };
    if (storeSentGimbalConfig(m_params, config, speedsSent, fpvModeSent))
        emit paramsChanged();
    if (speedsSent && fpvModeSent)
        reportWritten({ QStringLiteral("云台配置已写入"), QStringLiteral("Gimbal config written") });
}

void ParameterCommands::writeCameraPosition(int position)
{
    if (!m_link.require())
        return;
    if (!sendCommand(packCameraPosition(position)))
        return;
    m_params.cameraPosition = quint8(position);
    emit paramsChanged();
    reportWritten({ QStringLiteral("相机设置已写入"), QStringLiteral("Camera setting written") });
}

void ParameterCommands::writeTorque(int pitchTorque, int rollTorque, int yawTorque)
{
    if (!m_link.require())
        return;
    if (!sendCommand(packTorques(pitchTorque, rollTorque, yawTorque)))
        return;
    m_params.pitchMaxTorque = quint16(pitchTorque);
    m_params.rollMaxTorque = quint16(rollTorque);
    m_params.yawMaxTorque = quint16(yawTorque);
    emit paramsChanged();
    reportWritten({ QStringLiteral("力矩设置已写入"), QStringLiteral("Torque settings written") });
    ++m_rebootsDue;
    m_link.runWhileOpen(TorqueRebootDelayMs, [this] { rebootAfterTorque(); });
}

void ParameterCommands::rebootAfterTorque()
{
    if (!sendCommand(plainCommand(SubCommand::Reboot)))
        return;
    m_rebootsDue = qMax(0, m_rebootsDue - 1);
    emit restartSent();
    m_messages.report(Message::info(QStringLiteral("力矩生效，设备重启中..."), QStringLiteral("Torque applied, rebooting..."),
                                    MessageTopic::RestartSent));
}

OwedRestart ParameterCommands::owedRestart() const
{
    if (m_activationsDue > 0)
        return OwedRestart::ActivateAndReboot;
    return m_rebootsDue > 0 ? OwedRestart::Reboot : OwedRestart::None;
}

OwedRestart ParameterCommands::takeOwedRestart()
{
    const OwedRestart owed = owedRestart();
    m_activationsDue = 0;
    m_rebootsDue = 0;
    return owed;
}

void ParameterCommands::settleOwedRestart(OwedRestart owed)
{
    if (owed == OwedRestart::None || !m_link.require())
        return;
    ++m_rebootsDue;
    if (owed == OwedRestart::Reboot) {
        rebootAfterActivate();
        return;
    }
    ++m_activationsDue;
    activateAfterWrite();
}

// ---- Command replies ----

void ParameterCommands::setCommandReplyObserver(CommandReplyObserver observer)
{
    m_commandReplyObserver = std::move(observer);
}

void ParameterCommands::handleCommandReply(const QByteArray &payload)
{
    if (payload.isEmpty())
        return;
    const quint8 subCommand = quint8(payload.at(0));
    reportCommandReply(payload);
    if (m_commandReplyObserver)
        m_commandReplyObserver(subCommand);
}

void ParameterCommands::reportCommandReply(const QByteArray &payload)
{
    const quint8 subCommand = quint8(payload.at(0));
    if (subCommand == SubCommand::AccelCalib && payload.size() >= 5) {
        handleAccelProgress(payload);
        return;
    }
    const TextPair name = commandName(subCommand);
    if (name.isNull())
        return;
    m_messages.report({ commandSucceededText(name),
                        { MessageKind::Success, MessageTopic::CommandReply, OperatorAction::Command } });
}

void ParameterCommands::handleAccelProgress(const QByteArray &payload)
{
    const qint32 state = accelStateFromProgress(accelProgressValue(payload));
    if (state == m_accelCaliState)
        return;
    m_accelCaliState = state;
    emit accelCaliStateChanged();
    const TextPair text = accelCaliText(state);
    if (text.isNull() || !m_accelProgressReported)
        return;
    // The controller answers the calibration with its steps; only the last one is a success.
    const MessageKind kind = state == AccelCaliSucceeded ? MessageKind::Success : MessageKind::Info;
    m_messages.report({ text, { kind, MessageTopic::CommandReply, OperatorAction::Command } });
}
