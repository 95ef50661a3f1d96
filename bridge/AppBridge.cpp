#include "bridge/AppBridge.h"

#include "app/Config.h"
#include "app/Version.h"
#include "log/AppLog.h"
#include "log/elog.h"
#include "protocol/FrameCodec.h"

#include <QFileInfo>
#include <QTimer>

namespace {
// The controller is asked for its parameters, then its versions, once the port is open.
const int ParamReadDelayMs = 300;
const int VersionQueryDelayMs = 600;

const quint8 VersionAnswer = 0x02;
const quint8 Heartbeat = 0x00;
}

AppBridge::AppBridge(QObject *parent, Initiative initiative)
    : QObject(parent), m_initiative(initiative)
{
    elog_output(ELOG_LVL_INFO, "app", nullptr, nullptr, 0, "Config file=%s, log file=%s",
                configFilePath().toUtf8().constData(), appLogFilePath().toUtf8().constData());
    connectParts();
    m_messages.report(Message::info(QStringLiteral("应用已启动"), QStringLiteral("Application started"),
                                    MessageTopic::Started));
    if (m_initiative == Initiative::Window)
        QTimer::singleShot(0, this, &AppBridge::refreshSerialPorts);
}

AppBridge::~AppBridge() = default;

void AppBridge::connectParts()
{
    connect(&m_serial, &SerialLink::frameReceived, this, &AppBridge::handleFrame);
    connect(&m_serial, &SerialLink::lost, this, &AppBridge::onLinkEnded);
    connect(&m_messages, &MessageLog::textChanged, this, &AppBridge::messageLogChanged);
    connect(&m_telemetry, &ControllerTelemetry::heartbeatChanged, this, &AppBridge::heartbeatChanged);
    connect(&m_telemetry, &ControllerTelemetry::versionsChanged, this, &AppBridge::tavoxVersionChanged);
    connect(&m_parameters, &ParameterCommands::paramsChanged, this, &AppBridge::tavoxParamsChanged);
    connect(&m_parameters, &ParameterCommands::accelCaliStateChanged, this, &AppBridge::accelCaliStateChanged);
    connect(&m_upgrade.driver(), &UpgradeDriver::activeChanged, this, &AppBridge::tavoxUpgradingChanged);
    connect(&m_upgrade.driver(), &UpgradeDriver::progressChanged, this, &AppBridge::tavoxUpgradeProgressChanged);
}

void AppBridge::clearMessages()
{
    m_messages.clear();
}

void AppBridge::setLanguage(QString lang)
{
    const Language::Change change = m_language.set(lang);
    if (change == Language::Change::None)
        return;
    if (change == Language::Change::NotSaved)
        m_messages.report(settingsNotSavedMessage());
    emit languageChanged();
    emit linkStatusChanged();
}

QString AppBridge::appVersion() const
{
    return QLatin1Char('v') + tavoxVersion();
}

QString AppBridge::linkStatus() const
{
    return m_language.localized(linkStatusText());
}

TextPair AppBridge::linkStatusText() const
{
    return serialOpened() ? TextPair { QStringLiteral("当前连接: UART"), QStringLiteral("Connected: UART") }
                          : TextPair { QStringLiteral("当前连接: 未连接"), QStringLiteral("Connected: None") };
}

void AppBridge::reportLinkStatus()
{
    const TextPair status = linkStatusText();
    m_messages.report(Message::info(QStringLiteral("连接状态: ") + status.zh, QStringLiteral("Link status: ") + status.en));
}

bool AppBridge::tavoxRequireSerial()
{
    return m_serial.require();
}

void AppBridge::tavoxOnStartup()
{
    if (m_startupHintShown)
        return;
    m_startupHintShown = true;
    m_serial.reportPortRequired();
}

// ---- Serial link ----

void AppBridge::refreshSerialPorts()
{
    const QStringList names = Uartcore::availablePortNames();
    if (names != m_serialPorts) {
        m_serialPorts = names;
        emit serialPortsChanged();
    }
    const QString listed = m_serialPorts.join(QStringLiteral(", "));
    if (m_serialPorts.isEmpty())
        m_messages.report({ SerialLink::noPortsFoundText(), { MessageKind::Error } });
    else
        m_messages.report(Message::info(QStringLiteral("串口已刷新: ") + listed, QStringLiteral("Serial ports refreshed: ") + listed));
}

bool AppBridge::openSerial(QString portName, int baudRate)
{
    if (portName.trimmed().isEmpty() || baudRate <= 0) {
        m_messages.report(Message::error(QStringLiteral("串口参数无效"), QStringLiteral("Invalid serial params")));
        return false;
    }

    if (serialOpened()) {
        m_serial.close();
        m_telemetry.resetHeartbeat();
        emit serialOpenedChanged();
        emit linkStatusChanged();
        reportLinkStatus();
        m_upgrade.driver().abortForClosedLink();
    }

    if (!m_serial.open(portName, baudRate)) {
        emit linkStatusChanged();
        reportLinkStatus();
        return false;
    }

    m_startupHintShown = false;
    m_telemetry.resetHeartbeat();
    m_serial.session().begin();
    emit serialOpenedChanged();
    emit linkStatusChanged();
    reportLinkStatus();
    const QString opened = portName + QStringLiteral(" @ ") + QString::number(baudRate);
    m_messages.report(Message::success(QStringLiteral("串口已打开: ") + opened, QStringLiteral("Serial port opened: ") + opened));
    if (m_initiative == Initiative::Window) {
        m_serial.runWhileOpen(ParamReadDelayMs, [this] { m_parameters.readParams(); });
        m_serial.runWhileOpen(VersionQueryDelayMs, [this] { m_telemetry.queryVersion(); });
    }
    return true;
}

void AppBridge::closeSerial()
{
    if (!serialOpened())
        return;
    m_serial.close();
    onLinkEnded();
}

void AppBridge::onLinkEnded()
{
    m_telemetry.resetHeartbeat();
    emit serialOpenedChanged();
    emit linkStatusChanged();
    reportLinkStatus();
    m_messages.report(Message::info(QStringLiteral("串口已关闭"), QStringLiteral("Serial port closed")));
    if (m_serial.portLost())
        m_upgrade.driver().abortForLostLink();
    else
        m_upgrade.driver().abortForClosedLink();
}

// ---- Parameters ----

void AppBridge::tavoxReadParams()
{
    m_parameters.readParams();
}

void AppBridge::tavoxWriteSbusChannelsWithDir(int pitch, int roll, int yaw, int center, int lockCh, int mode,
                                              int pitchDir, int rollDir, int yawDir)
{
    m_parameters.writeChannels(Receiver::Sbus, { pitch, roll, yaw, center, lockCh, mode, pitchDir, rollDir, yawDir });
}

void AppBridge::tavoxWritePwmChannelsWithDir(int pitch, int yaw, int center, int lockCh, int mode, int pitchDir,
                                             int yawDir)
{
    m_parameters.writeChannels(Receiver::Pwm, { pitch, 0, yaw, center, lockCh, mode, pitchDir, 0, yawDir });
}

void AppBridge::tavoxWriteCrsfChannelsWithDir(int pitch, int roll, int yaw, int center, int lockCh, int mode,
                                              int pitchDir, int rollDir, int yawDir)
{
    m_parameters.writeChannels(Receiver::Crsf, { pitch, roll, yaw, center, lockCh, mode, pitchDir, rollDir, yawDir });
}

void AppBridge::tavoxWriteSbusChannels(int pitch, int roll, int yaw, int center, int lockCh, int mode)
{
    const ParamBlock &params = m_parameters.block();
    tavoxWriteSbusChannelsWithDir(pitch, roll, yaw, center, lockCh, mode, params.sbusPitchDir, params.sbusRollDir,
                                  params.sbusYawDir);
}

void AppBridge::tavoxWritePwmChannels(int pitch, int, int yaw, int center, int lockCh, int mode)
{
    const ParamBlock &params = m_parameters.block();
    tavoxWritePwmChannelsWithDir(pitch, yaw, center, lockCh, mode, params.pwmPitchDir, params.pwmYawDir);
}

void AppBridge::tavoxWriteCrsfChannels(int pitch, int roll, int yaw, int center, int lockCh, int mode)
{
    const ParamBlock &params = m_parameters.block();
    tavoxWriteCrsfChannelsWithDir(pitch, roll, yaw, center, lockCh, mode, params.crsfPitchDir, params.crsfRollDir,
                                  params.crsfYawDir);
}

void AppBridge::tavoxWriteSbusDirections(int pitchDir, int rollDir, int yawDir)
{
    m_parameters.writeDirections(Receiver::Sbus, pitchDir, rollDir, yawDir);
}

void AppBridge::tavoxWritePwmDirections(int pitchDir, int yawDir)
{
    m_parameters.writeDirections(Receiver::Pwm, pitchDir, 0, yawDir);
}

void AppBridge::tavoxWriteCrsfDirections(int pitchDir, int rollDir, int yawDir)
{
    m_parameters.writeDirections(Receiver::Crsf, pitchDir, rollDir, yawDir);
}

void AppBridge::tavoxSendSbusPhotoVideo(int photoCh, int videoCh)
{
    m_parameters.writePhotoVideoChannels(photoCh, videoCh);
}

void AppBridge::tavoxWriteGimbalConfig(int fpvMode, int pitchSpeed, int rollSpeed, int yawSpeed)
{
    m_parameters.writeGimbalConfig(fpvMode, pitchSpeed, rollSpeed, yawSpeed);
}

void AppBridge::tavoxWriteCameraPosition(int position)
{
    m_parameters.writeCameraPosition(position);
}

void AppBridge::tavoxWriteTorque(int pitchTorque, int rollTorque, int yawTorque)
{
    m_parameters.writeTorque(pitchTorque, rollTorque, yawTorque);
}

// ---- Calibration and motor commands ----

void AppBridge::tavoxSendCalibration(int cmdType)
{
    m_service.sendCalibration(cmdType);
}

void AppBridge::tavoxSendMotorTorque(int motor, int direction)
{
    m_service.sendMotorTorque(motor, direction);
}

void AppBridge::tavoxSendMotorHallCalib(int motor)
{
    m_service.sendMotorHallCalib(motor);
}

void AppBridge::tavoxSendElecAngleCalib(int motor, bool start)
{
    m_service.sendElecAngleCalib(motor, start);
}

void AppBridge::tavoxSendHallDataSelect(bool useUser)
{
    m_service.sendHallDataSelect(useUser);
}

void AppBridge::tavoxSendLinearCalib()
{
    m_service.sendLinearCalib();
}

void AppBridge::tavoxSendGyroBiasUpdate()
{
    m_service.sendGyroBiasUpdate();
}

// ---- Versions and upgrade ----

void AppBridge::tavoxQueryVersion()
{
    m_telemetry.queryVersion();
}

void AppBridge::setUpgradeFileChooser(UpgradeFileChooser chooser)
{
    m_chooseUpgradeFile = std::move(chooser);
}

void AppBridge::setUpgradeReplyTimeouts(const UpgradeSession::ReplyTimeouts &timeouts)
{
    m_upgrade.driver().setReplyTimeouts(timeouts);
}

void AppBridge::tavoxSelectUpgradeFile()
{
    if (!m_chooseUpgradeFile)
        return;
    const QString path = m_chooseUpgradeFile(m_language.localized(QStringLiteral("选择固件文件"), QStringLiteral("Select firmware")),
                                             readUpgradeLastDir(), QStringLiteral("Binary (*.bin);;All (*.*)"));
    if (path.isEmpty())
        return;
    m_upgradeFilePath = path;
    emit tavoxUpgradeFilePathChanged();
    if (!writeUpgradeLastDir(QFileInfo(path).absolutePath()))
        m_messages.report(settingsNotSavedMessage());
}

void AppBridge::tavoxStartUpgrade(QString filePath)
{
    m_upgrade.start(filePath);
}

// ---- Frames from the controller ----

void AppBridge::handleFrame(const ParsedFrame &frame)
{
    if (!frame.valid)
        return;
    if (frame.version == 1) {
        handleV1Reply(frame);
        return;
    }
    if (frame.commandId == CommandId::ParamBlock)
        m_parameters.handleParamBlock(frame.payload);
    else if (frame.commandId == CommandId::CommandReply && !frame.payload.isEmpty())
        m_parameters.handleCommandReply(frame.payload);
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
        m_upgrade.driver().handleReply(frame);
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
