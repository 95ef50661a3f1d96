#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

// Stand-in for AppBridge in the Qt Quick tests. It has the bridge's property
// names, types and change signals, but every property can be written from QML
// so a test can put the window into any state. Invokables do nothing except
// record themselves (name and arguments) in `calls`; openSerial returns
// `openSerialResult`. Any change signal can be emitted with emitSignal(name).
class FakeBridge : public QObject
{
    Q_OBJECT

    Q_PROPERTY(QString     language             MEMBER m_language             NOTIFY languageChanged)
    Q_PROPERTY(QString     messageLog           MEMBER m_messageLog           NOTIFY messageLogChanged)
    Q_PROPERTY(QStringList serialPorts          MEMBER m_serialPorts          NOTIFY serialPortsChanged)
    Q_PROPERTY(bool        serialOpened         MEMBER m_serialOpened         NOTIFY serialOpenedChanged)
    Q_PROPERTY(QString     linkStatus           MEMBER m_linkStatus           NOTIFY linkStatusChanged)
    Q_PROPERTY(QString     appVersion           MEMBER m_appVersion           NOTIFY appVersionChanged)
    Q_PROPERTY(int         tavoxSbusPitchCh     MEMBER m_tavoxSbusPitchCh     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusRollCh      MEMBER m_tavoxSbusRollCh      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusYawCh       MEMBER m_tavoxSbusYawCh       NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusCenterCh    MEMBER m_tavoxSbusCenterCh    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusLockCh      MEMBER m_tavoxSbusLockCh      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusMode        MEMBER m_tavoxSbusMode        NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxPwmPitchCh      MEMBER m_tavoxPwmPitchCh      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxPwmRollCh       MEMBER m_tavoxPwmRollCh       NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxPwmYawCh        MEMBER m_tavoxPwmYawCh        NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxPwmCenterCh     MEMBER m_tavoxPwmCenterCh     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxPwmLockCh       MEMBER m_tavoxPwmLockCh       NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxPwmMode         MEMBER m_tavoxPwmMode         NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxCrsfPitchCh     MEMBER m_tavoxCrsfPitchCh     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxCrsfRollCh      MEMBER m_tavoxCrsfRollCh      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxCrsfYawCh       MEMBER m_tavoxCrsfYawCh       NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxCrsfCenterCh    MEMBER m_tavoxCrsfCenterCh    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxCrsfLockCh      MEMBER m_tavoxCrsfLockCh      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxCrsfMode        MEMBER m_tavoxCrsfMode        NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxFpvMode         MEMBER m_tavoxFpvMode         NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxPitchMaxSpeed   MEMBER m_tavoxPitchMaxSpeed   NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxRollMaxSpeed    MEMBER m_tavoxRollMaxSpeed    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxYawMaxSpeed     MEMBER m_tavoxYawMaxSpeed     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxCameraPosition  MEMBER m_tavoxCameraPosition  NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxPitchMaxTorque  MEMBER m_tavoxPitchMaxTorque  NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxRollMaxTorque   MEMBER m_tavoxRollMaxTorque   NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxYawMaxTorque    MEMBER m_tavoxYawMaxTorque    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusPhotoCh     MEMBER m_tavoxSbusPhotoCh     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusVideoCh     MEMBER m_tavoxSbusVideoCh     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusPitchDir    MEMBER m_tavoxSbusPitchDir    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusRollDir     MEMBER m_tavoxSbusRollDir     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusYawDir      MEMBER m_tavoxSbusYawDir      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxPwmPitchDir     MEMBER m_tavoxPwmPitchDir     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxPwmYawDir       MEMBER m_tavoxPwmYawDir       NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxCrsfPitchDir    MEMBER m_tavoxCrsfPitchDir    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxCrsfRollDir     MEMBER m_tavoxCrsfRollDir     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxCrsfYawDir      MEMBER m_tavoxCrsfYawDir      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxUpgradeProgress MEMBER m_tavoxUpgradeProgress NOTIFY tavoxUpgradeProgressChanged)
    Q_PROPERTY(QString     tavoxFirmwareVersion MEMBER m_tavoxFirmwareVersion NOTIFY tavoxVersionChanged)
    Q_PROPERTY(QString     tavoxBootVersion     MEMBER m_tavoxBootVersion     NOTIFY tavoxVersionChanged)
    Q_PROPERTY(QString     tavoxUpgradeFilePath MEMBER m_tavoxUpgradeFilePath NOTIFY tavoxUpgradeFilePathChanged)
    Q_PROPERTY(double      hbPitch              MEMBER m_hbPitch              NOTIFY heartbeatChanged)
    Q_PROPERTY(double      hbRoll               MEMBER m_hbRoll               NOTIFY heartbeatChanged)
    Q_PROPERTY(double      hbYaw                MEMBER m_hbYaw                NOTIFY heartbeatChanged)
    Q_PROPERTY(bool        hbAttiReady          MEMBER m_hbAttiReady          NOTIFY heartbeatChanged)
    Q_PROPERTY(bool        hbJointInitOk        MEMBER m_hbJointInitOk        NOTIFY heartbeatChanged)
    Q_PROPERTY(bool        hbUnderVolt          MEMBER m_hbUnderVolt          NOTIFY heartbeatChanged)
    Q_PROPERTY(bool        hbMemsLost           MEMBER m_hbMemsLost           NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbActuator           MEMBER m_hbActuator           NOTIFY heartbeatChanged)
    Q_PROPERTY(bool        hbSoftLimit          MEMBER m_hbSoftLimit          NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbCtrlMode           MEMBER m_hbCtrlMode           NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbStateMachine       MEMBER m_hbStateMachine       NOTIFY heartbeatChanged)
    Q_PROPERTY(double      hbJointOutterAngle   MEMBER m_hbJointOutterAngle   NOTIFY heartbeatChanged)
    Q_PROPERTY(double      hbJointMiddleAngle   MEMBER m_hbJointMiddleAngle   NOTIFY heartbeatChanged)
    Q_PROPERTY(double      hbJointInnerAngle    MEMBER m_hbJointInnerAngle    NOTIFY heartbeatChanged)
    Q_PROPERTY(double      hbImuTemp            MEMBER m_hbImuTemp            NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbSbusPitchValue     MEMBER m_hbSbusPitchValue     NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbSbusRollValue      MEMBER m_hbSbusRollValue      NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbSbusYawValue       MEMBER m_hbSbusYawValue       NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbSbusCenterValue    MEMBER m_hbSbusCenterValue    NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbSbusLockValue      MEMBER m_hbSbusLockValue      NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbPwmPitchValue      MEMBER m_hbPwmPitchValue      NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbPwmYawValue        MEMBER m_hbPwmYawValue        NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbPwmCenterValue     MEMBER m_hbPwmCenterValue     NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbCrsfPitchValue     MEMBER m_hbCrsfPitchValue     NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbCrsfRollValue      MEMBER m_hbCrsfRollValue      NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbCrsfYawValue       MEMBER m_hbCrsfYawValue       NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbCrsfCenterValue    MEMBER m_hbCrsfCenterValue    NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbCrsfLockValue      MEMBER m_hbCrsfLockValue      NOTIFY heartbeatChanged)
    Q_PROPERTY(bool        hbCrsfValuePresent   MEMBER m_hbCrsfValuePresent   NOTIFY heartbeatChanged)
    Q_PROPERTY(bool        hbReceived           MEMBER m_hbReceived           NOTIFY heartbeatChanged)
    Q_PROPERTY(int         accelCaliState       MEMBER m_accelCaliState       NOTIFY accelCaliStateChanged)
    Q_PROPERTY(bool        tavoxUpgrading       MEMBER m_tavoxUpgrading       NOTIFY tavoxUpgradingChanged)

    // Test controls, not part of the bridge.
    Q_PROPERTY(QVariantList calls         READ calls NOTIFY callsChanged)
    Q_PROPERTY(bool         openSerialResult MEMBER m_openSerialResult NOTIFY openSerialResultChanged)

public:
    explicit FakeBridge(QObject *parent = nullptr);

    QVariantList calls() const { return m_calls; }

    // Each entry of `calls` is {name: "openSerial", args: ["/dev/ttyS0", 921600]}.
    Q_INVOKABLE void clearCalls();
    Q_INVOKABLE int callCount(const QString &name) const;
    Q_INVOKABLE QStringList callNames() const;
    // Arguments of the latest call of that name, or undefined when there was none.
    Q_INVOKABLE QVariant lastArgs(const QString &name) const;
    // Emits the named signal, e.g. emitSignal("serialOpenedChanged").
    Q_INVOKABLE bool emitSignal(const QString &signalName);
    // Every property back to the bridge's initial value, calls cleared.
    Q_INVOKABLE void reset();

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
    // The real bridge's version is constant; here it changes so tests can vary it.
    void appVersionChanged();

    // Emitted synchronously by every recorded invokable, after recording it,
    // so a test can look at the interface at the moment of the call.
    void invoked(const QString &name, const QVariantList &args);
    void callsChanged();
    void openSerialResultChanged();

private:
    void record(const QString &name, const QVariantList &args = {});

    QString m_language = QStringLiteral("zh");
    QString m_messageLog;
    QStringList m_serialPorts;
    bool m_serialOpened = false;
    QString m_linkStatus = QStringLiteral("当前连接: 未连接");
    QString m_appVersion = QStringLiteral("v1.0.5");
    int m_tavoxSbusPitchCh = 1;
    int m_tavoxSbusRollCh = 1;
    int m_tavoxSbusYawCh = 1;
    int m_tavoxSbusCenterCh = 1;
    int m_tavoxSbusLockCh = 1;
    int m_tavoxSbusMode = 1;
    int m_tavoxPwmPitchCh = 1;
    int m_tavoxPwmRollCh = 1;
    int m_tavoxPwmYawCh = 1;
    int m_tavoxPwmCenterCh = 1;
    int m_tavoxPwmLockCh = 1;
    int m_tavoxPwmMode = 1;
    int m_tavoxCrsfPitchCh = 1;
    int m_tavoxCrsfRollCh = 1;
    int m_tavoxCrsfYawCh = 1;
    int m_tavoxCrsfCenterCh = 1;
    int m_tavoxCrsfLockCh = 1;
    int m_tavoxCrsfMode = 1;
    int m_tavoxFpvMode = 0;
    int m_tavoxPitchMaxSpeed = 0;
    int m_tavoxRollMaxSpeed = 0;
    int m_tavoxYawMaxSpeed = 0;
    int m_tavoxCameraPosition = 1;
    int m_tavoxPitchMaxTorque = 0;
    int m_tavoxRollMaxTorque = 0;
    int m_tavoxYawMaxTorque = 0;
    int m_tavoxSbusPhotoCh = 0;
    int m_tavoxSbusVideoCh = 0;
    int m_tavoxSbusPitchDir = 0;
    int m_tavoxSbusRollDir = 0;
    int m_tavoxSbusYawDir = 0;
    int m_tavoxPwmPitchDir = 0;
    int m_tavoxPwmYawDir = 0;
    int m_tavoxCrsfPitchDir = 0;
    int m_tavoxCrsfRollDir = 0;
    int m_tavoxCrsfYawDir = 0;
    int m_tavoxUpgradeProgress = 0;
    QString m_tavoxFirmwareVersion = QStringLiteral("-");
    QString m_tavoxBootVersion = QStringLiteral("-");
    QString m_tavoxUpgradeFilePath;
    double m_hbPitch = 0.0;
    double m_hbRoll = 0.0;
    double m_hbYaw = 0.0;
    bool m_hbAttiReady = false;
    bool m_hbJointInitOk = false;
    bool m_hbUnderVolt = false;
    bool m_hbMemsLost = false;
    int m_hbActuator = 0;
    bool m_hbSoftLimit = false;
    int m_hbCtrlMode = 0;
    int m_hbStateMachine = 0;
    double m_hbJointOutterAngle = 0.0;
    double m_hbJointMiddleAngle = 0.0;
    double m_hbJointInnerAngle = 0.0;
    double m_hbImuTemp = 0.0;
    int m_hbSbusPitchValue = 0;
    int m_hbSbusRollValue = 0;
    int m_hbSbusYawValue = 0;
    int m_hbSbusCenterValue = 0;
    int m_hbSbusLockValue = 0;
    int m_hbPwmPitchValue = 0;
    int m_hbPwmYawValue = 0;
    int m_hbPwmCenterValue = 0;
    int m_hbCrsfPitchValue = 0;
    int m_hbCrsfRollValue = 0;
    int m_hbCrsfYawValue = 0;
    int m_hbCrsfCenterValue = 0;
    int m_hbCrsfLockValue = 0;
    bool m_hbCrsfValuePresent = false;
    bool m_hbReceived = false;
    int m_accelCaliState = -1;
    bool m_tavoxUpgrading = false;

    QVariantList m_calls;
    bool m_openSerialResult = true;
};
