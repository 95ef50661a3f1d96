#pragma once

#include "bridge/Language.h"
#include "bridge/MessageLog.h"
#include "bridge/SerialLink.h"
#include "device/ControllerTelemetry.h"
#include "device/ParameterCommands.h"
#include "device/ServiceRequests.h"
#include "device/UpgradeControl.h"
#include "protocol/ParsedFrame.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// The one object the interface sees: it puts together the language, the
// message log, the serial link and the controller's parts, and publishes them.
// Its meta-object surface (signals, properties, invokables and their order) is
// what the QML documents bind to; keep it exactly as it is.
class AppBridge : public QObject
{
    Q_OBJECT

    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(QString messageLog READ messageLog NOTIFY messageLogChanged)
    Q_PROPERTY(QStringList serialPorts READ serialPorts NOTIFY serialPortsChanged)
    Q_PROPERTY(bool serialOpened READ serialOpened NOTIFY serialOpenedChanged)
    Q_PROPERTY(QString linkStatus READ linkStatus NOTIFY linkStatusChanged)
    Q_PROPERTY(QString appVersion READ appVersion CONSTANT)

    Q_PROPERTY(int tavoxSbusPitchCh    READ tavoxSbusPitchCh    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxSbusRollCh     READ tavoxSbusRollCh     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxSbusYawCh      READ tavoxSbusYawCh      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxSbusCenterCh   READ tavoxSbusCenterCh   NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxSbusLockCh     READ tavoxSbusLockCh     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxSbusMode       READ tavoxSbusMode       NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxPwmPitchCh     READ tavoxPwmPitchCh     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxPwmRollCh      READ tavoxPwmRollCh      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxPwmYawCh       READ tavoxPwmYawCh       NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxPwmCenterCh    READ tavoxPwmCenterCh    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxPwmLockCh      READ tavoxPwmLockCh      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxPwmMode        READ tavoxPwmMode        NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxCrsfPitchCh    READ tavoxCrsfPitchCh    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxCrsfRollCh     READ tavoxCrsfRollCh     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxCrsfYawCh      READ tavoxCrsfYawCh      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxCrsfCenterCh   READ tavoxCrsfCenterCh   NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxCrsfLockCh     READ tavoxCrsfLockCh     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxCrsfMode       READ tavoxCrsfMode       NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxFpvMode        READ tavoxFpvMode        NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxPitchMaxSpeed  READ tavoxPitchMaxSpeed  NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxRollMaxSpeed   READ tavoxRollMaxSpeed   NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxYawMaxSpeed    READ tavoxYawMaxSpeed    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxCameraPosition READ tavoxCameraPosition NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxPitchMaxTorque READ tavoxPitchMaxTorque NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxRollMaxTorque  READ tavoxRollMaxTorque  NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxYawMaxTorque   READ tavoxYawMaxTorque   NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxSbusPhotoCh    READ tavoxSbusPhotoCh    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxSbusVideoCh    READ tavoxSbusVideoCh    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxSbusPitchDir   READ tavoxSbusPitchDir   NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxSbusRollDir    READ tavoxSbusRollDir    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxSbusYawDir     READ tavoxSbusYawDir     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxPwmPitchDir    READ tavoxPwmPitchDir    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxPwmYawDir      READ tavoxPwmYawDir      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxCrsfPitchDir   READ tavoxCrsfPitchDir   NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxCrsfRollDir    READ tavoxCrsfRollDir    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int tavoxCrsfYawDir     READ tavoxCrsfYawDir     NOTIFY tavoxParamsChanged)

    Q_PROPERTY(int tavoxUpgradeProgress      READ tavoxUpgradeProgress  NOTIFY tavoxUpgradeProgressChanged)
    Q_PROPERTY(QString tavoxFirmwareVersion  READ tavoxFirmwareVersion  NOTIFY tavoxVersionChanged)
    Q_PROPERTY(QString tavoxBootVersion      READ tavoxBootVersion      NOTIFY tavoxVersionChanged)
    Q_PROPERTY(QString tavoxUpgradeFilePath  READ tavoxUpgradeFilePath  NOTIFY tavoxUpgradeFilePathChanged)

    Q_PROPERTY(double hbPitch             READ hbPitch             NOTIFY heartbeatChanged)
    Q_PROPERTY(double hbRoll              READ hbRoll              NOTIFY heartbeatChanged)
    Q_PROPERTY(double hbYaw               READ hbYaw               NOTIFY heartbeatChanged)
    Q_PROPERTY(bool hbAttiReady           READ hbAttiReady         NOTIFY heartbeatChanged)
    Q_PROPERTY(bool hbJointInitOk         READ hbJointInitOk       NOTIFY heartbeatChanged)
    Q_PROPERTY(bool hbUnderVolt           READ hbUnderVolt         NOTIFY heartbeatChanged)
    Q_PROPERTY(bool hbMemsLost            READ hbMemsLost          NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbActuator             READ hbActuator          NOTIFY heartbeatChanged)
    Q_PROPERTY(bool hbSoftLimit           READ hbSoftLimit         NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbCtrlMode             READ hbCtrlMode          NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbStateMachine         READ hbStateMachine      NOTIFY heartbeatChanged)
    Q_PROPERTY(double hbJointOutterAngle  READ hbJointOutterAngle  NOTIFY heartbeatChanged)
    Q_PROPERTY(double hbJointMiddleAngle  READ hbJointMiddleAngle  NOTIFY heartbeatChanged)
    Q_PROPERTY(double hbJointInnerAngle   READ hbJointInnerAngle   NOTIFY heartbeatChanged)
    Q_PROPERTY(double hbImuTemp           READ hbImuTemp           NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbSbusPitchValue       READ hbSbusPitchValue    NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbSbusRollValue        READ hbSbusRollValue     NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbSbusYawValue         READ hbSbusYawValue      NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbSbusCenterValue      READ hbSbusCenterValue   NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbSbusLockValue        READ hbSbusLockValue     NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbPwmPitchValue        READ hbPwmPitchValue     NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbPwmYawValue          READ hbPwmYawValue       NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbPwmCenterValue       READ hbPwmCenterValue    NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbCrsfPitchValue       READ hbCrsfPitchValue    NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbCrsfRollValue        READ hbCrsfRollValue     NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbCrsfYawValue         READ hbCrsfYawValue      NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbCrsfCenterValue      READ hbCrsfCenterValue   NOTIFY heartbeatChanged)
    Q_PROPERTY(int hbCrsfLockValue        READ hbCrsfLockValue     NOTIFY heartbeatChanged)
    Q_PROPERTY(bool hbCrsfValuePresent    READ hbCrsfValuePresent  NOTIFY heartbeatChanged)
    Q_PROPERTY(bool hbReceived            READ hbReceived          NOTIFY heartbeatChanged)

    Q_PROPERTY(int accelCaliState  READ accelCaliState  NOTIFY accelCaliStateChanged)
    Q_PROPERTY(bool tavoxUpgrading READ tavoxUpgrading  NOTIFY tavoxUpgradingChanged)

public:
    // What the bridge asks for of its own accord: for the window, the port
    // list at start and, after an open, the parameter read and version query
    // timed so the controller has settled; for a user that asks at once for
    // what it needs and waits for the answers itself (the command line), nothing.
    enum class Initiative { Window, LeftToCaller };

    explicit AppBridge(QObject *parent = nullptr, Initiative initiative = Initiative::Window);
    ~AppBridge() override;

    QString language() const { return m_language.code(); }
    QString messageLog() const { return m_messages.text(); }
    QStringList serialPorts() const { return m_serialPorts; }
    bool serialOpened() const { return m_serial.isOpen(); }
    QString linkStatus() const;
    QString appVersion() const;

    int tavoxSbusPitchCh() const { return m_parameters.block().sbusPitchCh; }
    int tavoxSbusRollCh() const { return m_parameters.block().sbusRollCh; }
    int tavoxSbusYawCh() const { return m_parameters.block().sbusYawCh; }
    int tavoxSbusCenterCh() const { return m_parameters.block().sbusCenterCh; }
    int tavoxSbusLockCh() const { return m_parameters.block().sbusLockCh; }
    int tavoxSbusMode() const { return m_parameters.block().sbusMode; }
    int tavoxPwmPitchCh() const { return m_parameters.block().pwmPitchCh; }
    int tavoxPwmRollCh() const { return m_parameters.pwmRollCh(); }
    int tavoxPwmYawCh() const { return m_parameters.block().pwmYawCh; }
    int tavoxPwmCenterCh() const { return m_parameters.block().pwmCenterCh; }
    int tavoxPwmLockCh() const { return m_parameters.pwmLockCh(); }
    int tavoxPwmMode() const { return m_parameters.block().pwmMode; }
    int tavoxCrsfPitchCh() const { return m_parameters.block().crsfPitchCh; }
    int tavoxCrsfRollCh() const { return m_parameters.block().crsfRollCh; }
    int tavoxCrsfYawCh() const { return m_parameters.block().crsfYawCh; }
    int tavoxCrsfCenterCh() const { return m_parameters.block().crsfCenterCh; }
    int tavoxCrsfLockCh() const { return m_parameters.block().crsfLockCh; }
    int tavoxCrsfMode() const { return m_parameters.block().crsfMode; }
    int tavoxFpvMode() const { return m_parameters.block().fpvMode; }
    int tavoxPitchMaxSpeed() const { return m_parameters.block().pitchMaxSpeed; }
    int tavoxRollMaxSpeed() const { return m_parameters.block().rollMaxSpeed; }
    int tavoxYawMaxSpeed() const { return m_parameters.block().yawMaxSpeed; }
    int tavoxCameraPosition() const { return m_parameters.block().cameraPosition; }
    int tavoxPitchMaxTorque() const { return m_parameters.block().pitchMaxTorque; }
    int tavoxRollMaxTorque() const { return m_parameters.block().rollMaxTorque; }
    int tavoxYawMaxTorque() const { return m_parameters.block().yawMaxTorque; }
    int tavoxSbusPhotoCh() const { return m_parameters.block().sbusPhotoCh; }
    int tavoxSbusVideoCh() const { return m_parameters.block().sbusVideoCh; }
    int tavoxSbusPitchDir() const { return m_parameters.block().sbusPitchDir; }
    int tavoxSbusRollDir() const { return m_parameters.block().sbusRollDir; }
    int tavoxSbusYawDir() const { return m_parameters.block().sbusYawDir; }
    int tavoxPwmPitchDir() const { return m_parameters.block().pwmPitchDir; }
    int tavoxPwmYawDir() const { return m_parameters.block().pwmYawDir; }
    int tavoxCrsfPitchDir() const { return m_parameters.block().crsfPitchDir; }
    int tavoxCrsfRollDir() const { return m_parameters.block().crsfRollDir; }
    int tavoxCrsfYawDir() const { return m_parameters.block().crsfYawDir; }

    int tavoxUpgradeProgress() const { return m_upgrade.driver().progress(); }
    QString tavoxFirmwareVersion() const { return m_telemetry.firmwareVersion(); }
    QString tavoxBootVersion() const { return m_telemetry.bootVersion(); }
    QString tavoxUpgradeFilePath() const { return m_upgradeFilePath; }

    // Not on the meta-object. The window's start-up hands in its file dialog
    // (the bridge needs no widgets, so programs without a window can use it);
    // without a chooser, choosing a firmware file does nothing. Tests stand in
    // for the dialog and shorten the time the upgrade waits for a silent controller.
    using UpgradeFileChooser = std::function<QString(const QString &title, const QString &startDir,
                                                     const QString &filter)>;
    void setUpgradeFileChooser(UpgradeFileChooser chooser);
    void setUpgradeReplyTimeouts(const UpgradeSession::ReplyTimeouts &timeouts);

    double hbPitch() const { return m_telemetry.heartbeat().pitch / 100.0; }
    double hbRoll() const { return m_telemetry.heartbeat().roll / 100.0; }
    double hbYaw() const { return m_telemetry.heartbeat().yaw / 100.0; }
    bool hbAttiReady() const { return m_telemetry.heartbeat().attiReady; }
    bool hbJointInitOk() const { return m_telemetry.heartbeat().jointInitOk; }
    bool hbUnderVolt() const { return m_telemetry.heartbeat().underVolt; }
    bool hbMemsLost() const { return m_telemetry.heartbeat().memsLost; }
    int hbActuator() const { return m_telemetry.heartbeat().actuator; }
    bool hbSoftLimit() const { return m_telemetry.heartbeat().softLimit; }
    int hbCtrlMode() const { return m_telemetry.heartbeat().ctrlMode; }
    int hbStateMachine() const { return m_telemetry.heartbeat().stateMachine; }
    double hbJointOutterAngle() const { return m_telemetry.heartbeat().jointOutterAngle / 100.0; }
    double hbJointMiddleAngle() const { return m_telemetry.heartbeat().jointMiddleAngle / 100.0; }
    double hbJointInnerAngle() const { return m_telemetry.heartbeat().jointInnerAngle / 100.0; }
    double hbImuTemp() const { return m_telemetry.heartbeat().imuTemp; }
    int hbSbusPitchValue() const { return m_telemetry.heartbeat().sbusPitch; }
    int hbSbusRollValue() const { return m_telemetry.heartbeat().sbusRoll; }
    int hbSbusYawValue() const { return m_telemetry.heartbeat().sbusYaw; }
    int hbSbusCenterValue() const { return m_telemetry.heartbeat().sbusCenter; }
    int hbSbusLockValue() const { return m_telemetry.heartbeat().sbusLock; }
    int hbPwmPitchValue() const { return m_telemetry.heartbeat().pwmPitch; }
    int hbPwmYawValue() const { return m_telemetry.heartbeat().pwmYaw; }
    int hbPwmCenterValue() const { return m_telemetry.heartbeat().pwmCenter; }
    int hbCrsfPitchValue() const { return m_telemetry.heartbeat().crsfPitch; }
    int hbCrsfRollValue() const { return m_telemetry.heartbeat().crsfRoll; }
    int hbCrsfYawValue() const { return m_telemetry.heartbeat().crsfYaw; }
    int hbCrsfCenterValue() const { return m_telemetry.heartbeat().crsfCenter; }
    int hbCrsfLockValue() const { return m_telemetry.heartbeat().crsfLock; }
    bool hbCrsfValuePresent() const { return m_telemetry.heartbeat().crsfValuePresent; }
    bool hbReceived() const { return m_telemetry.heartbeatReceived(); }

    int accelCaliState() const { return m_parameters.accelCaliState(); }
    bool tavoxUpgrading() const { return m_upgrade.driver().active(); }

    Q_INVOKABLE void setLanguage(QString lang);
    Q_INVOKABLE void clearMessages();
    Q_INVOKABLE void refreshSerialPorts();
    Q_INVOKABLE bool openSerial(QString portName, int baudRate);
    Q_INVOKABLE void closeSerial();
    Q_INVOKABLE bool tavoxRequireSerial();
    Q_INVOKABLE void tavoxSendCalibration(int cmdType);
    Q_INVOKABLE void tavoxReadParams();
    Q_INVOKABLE void tavoxWriteSbusChannels(int pitch, int roll, int yaw, int center, int lockCh, int mode);
    Q_INVOKABLE void tavoxWritePwmChannels(int pitch, int roll, int yaw, int center, int lockCh, int mode);
    Q_INVOKABLE void tavoxWriteCrsfChannels(int pitch, int roll, int yaw, int center, int lockCh, int mode);
    Q_INVOKABLE void tavoxWriteSbusChannelsWithDir(int pitch, int roll, int yaw, int center, int lockCh, int mode,
                                                   int pitchDir, int rollDir, int yawDir);
    Q_INVOKABLE void tavoxWritePwmChannelsWithDir(int pitch, int yaw, int center, int lockCh, int mode,
                                                  int pitchDir, int yawDir);
    Q_INVOKABLE void tavoxWriteCrsfChannelsWithDir(int pitch, int roll, int yaw, int center, int lockCh, int mode,
                                                   int pitchDir, int rollDir, int yawDir);
    Q_INVOKABLE void tavoxWriteGimbalConfig(int fpvMode, int pitchSpeed, int rollSpeed, int yawSpeed);
    Q_INVOKABLE void tavoxWriteCameraPosition(int position);
    Q_INVOKABLE void tavoxWriteTorque(int pitchTorque, int rollTorque, int yawTorque);
    Q_INVOKABLE void tavoxQueryVersion();
    Q_INVOKABLE void tavoxSelectUpgradeFile();
    Q_INVOKABLE void tavoxStartUpgrade(QString filePath);
    Q_INVOKABLE void tavoxOnStartup();
    Q_INVOKABLE void tavoxSendMotorTorque(int motor, int direction);
    Q_INVOKABLE void tavoxSendMotorHallCalib(int motor);
    Q_INVOKABLE void tavoxSendElecAngleCalib(int motor, bool start);
    Q_INVOKABLE void tavoxSendHallDataSelect(bool useUser);
    Q_INVOKABLE void tavoxSendLinearCalib();
    Q_INVOKABLE void tavoxSendGyroBiasUpdate();
    Q_INVOKABLE void tavoxSendSbusPhotoVideo(int photoCh, int videoCh);
    Q_INVOKABLE void tavoxWriteSbusDirections(int pitchDir, int rollDir, int yawDir);
    Q_INVOKABLE void tavoxWritePwmDirections(int pitchDir, int yawDir);
    Q_INVOKABLE void tavoxWriteCrsfDirections(int pitchDir, int rollDir, int yawDir);

    // Not on the meta-object: the parts the published surface is made of.
    MessageLog &messages() { return m_messages; }
    const Language &languageSetting() const { return m_language; }
    SerialLink &serialLink() { return m_serial; }
    const SerialLink &serialLink() const { return m_serial; }
    const ControllerTelemetry &telemetry() const { return m_telemetry; }
    ParameterCommands &parameters() { return m_parameters; }
    const ParameterCommands &parameters() const { return m_parameters; }
    ServiceRequests &serviceRequests() { return m_service; }
    UpgradeControl &upgrade() { return m_upgrade; }
    const UpgradeControl &upgrade() const { return m_upgrade; }

signals:
    void languageChanged();
    void messageLogChanged();
    void serialPortsChanged();
    void serialOpenedChanged();
    void linkStatusChanged();
    void tavoxParamsChanged();
    void tavoxUpgradeProgressChanged();
    void tavoxVersionChanged();
    void tavoxUpgradeFilePathChanged();
    void heartbeatChanged();
    void accelCaliStateChanged();
    void tavoxUpgradingChanged();

private:
    TextPair linkStatusText() const;
    void reportLinkStatus();
    void connectParts();

    // The link closed, by the operator or because the port went away.
    void onLinkEnded();
    void handleFrame(const ParsedFrame &frame);
    void handleV1Reply(const ParsedFrame &frame);
    void handleGeneralReply(const ParsedFrame &frame);
    void handleGimbalReply(const ParsedFrame &frame);

    // First in, last out: every other member may report to the log.
    Language m_language;
    MessageLog m_messages { m_language };
    SerialLink m_serial { m_messages };
    ControllerTelemetry m_telemetry { m_serial, m_messages };
    ParameterCommands m_parameters { m_serial, m_messages };
    ServiceRequests m_service { m_serial, m_messages };
    UpgradeControl m_upgrade { m_serial, m_messages, m_telemetry };

    UpgradeFileChooser m_chooseUpgradeFile;
    QString m_upgradeFilePath;
    QStringList m_serialPorts;
    const Initiative m_initiative;
    bool m_startupHintShown = false;
};
