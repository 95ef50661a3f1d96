#pragma once

#include "window/CalibrationDevice.h"

#include <QObject>
#include <QPair>
#include <QStringList>
#include <QVariantList>

// Stand-in for AppBridge in the Qt Quick tests: the property names, types and
// change signals the documents bind to, every one writable from QML so that a
// test can put a panel into any state. The invokables the documents call only
// record themselves (see callNames and lastArgs); openSerial answers
// `openSerialResult`. A test emits a change signal by calling it, e.g.
// appBridge.tavoxParamsChanged(). It stands in for the bridge under a
// calibration guide as well, asked as the bridge is.
class FakeBridge : public CalibrationDevice
{
    Q_OBJECT

    Q_PROPERTY(QString     language             MEMBER m_language             NOTIFY languageChanged)
    Q_PROPERTY(QString     messageLog           MEMBER m_messageLog           NOTIFY messageLogChanged)
    Q_PROPERTY(QStringList serialPorts          MEMBER m_serialPorts          NOTIFY serialPortsChanged)
    Q_PROPERTY(bool        serialOpened         MEMBER m_serialOpened         NOTIFY serialOpenedChanged)
    Q_PROPERTY(QString     appVersion           MEMBER m_appVersion           NOTIFY appVersionChanged)
    Q_PROPERTY(int         tavoxSbusPitchCh     MEMBER m_tavoxSbusPitchCh     NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusRollCh      MEMBER m_tavoxSbusRollCh      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusYawCh       MEMBER m_tavoxSbusYawCh       NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusCenterCh    MEMBER m_tavoxSbusCenterCh    NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusLockCh      MEMBER m_tavoxSbusLockCh      NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxSbusMode        MEMBER m_tavoxSbusMode        NOTIFY tavoxParamsChanged)
    Q_PROPERTY(int         tavoxPwmPitchCh      MEMBER m_tavoxPwmPitchCh      NOTIFY tavoxParamsChanged)
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
    Q_PROPERTY(bool        tavoxUpgrading       MEMBER m_tavoxUpgrading       NOTIFY tavoxUpgradingChanged)
    Q_PROPERTY(double      hbPitch              MEMBER m_hbPitch              NOTIFY heartbeatChanged)
    Q_PROPERTY(double      hbRoll               MEMBER m_hbRoll               NOTIFY heartbeatChanged)
    Q_PROPERTY(double      hbYaw                MEMBER m_hbYaw                NOTIFY heartbeatChanged)
    Q_PROPERTY(double      hbImuTemp            MEMBER m_hbImuTemp            NOTIFY heartbeatChanged)
    Q_PROPERTY(bool        hbAttiReady          MEMBER m_hbAttiReady          NOTIFY heartbeatChanged)
    Q_PROPERTY(bool        hbJointInitOk        MEMBER m_hbJointInitOk        NOTIFY heartbeatChanged)
    Q_PROPERTY(bool        hbUnderVolt          MEMBER m_hbUnderVolt          NOTIFY heartbeatChanged)
    Q_PROPERTY(bool        hbMemsLost           MEMBER m_hbMemsLost           NOTIFY heartbeatChanged)
    Q_PROPERTY(int         hbActuator           MEMBER m_hbActuator           NOTIFY heartbeatChanged)
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
    // Test control, not part of the bridge.
    Q_PROPERTY(bool        openSerialResult     MEMBER m_openSerialResult     NOTIFY openSerialResultChanged)

public:
    explicit FakeBridge(QObject *parent = nullptr);

    bool linkOpen() const override { return m_serialOpened; }
    int accelCaliState() const override { return m_accelCaliState; }
    QString localized(const QString &zh, const QString &en) const override;
    void requestAccelCalibration() override { tavoxSendCalibration(AccelCalibrationCommand); }

    Q_INVOKABLE QStringList callNames() const;
    // Arguments of the latest call of that name; undefined when there was none.
    Q_INVOKABLE QVariant lastArgs(const QString &name) const;
    // Every property back to the bridge's initial value, no calls recorded.
    Q_INVOKABLE void reset();

    Q_INVOKABLE void tavoxOnStartup() { record(__func__); }
    Q_INVOKABLE void clearMessages() { record(__func__); }
    Q_INVOKABLE void refreshSerialPorts() { record(__func__); }
    Q_INVOKABLE bool openSerial(QString portName, int baudRate)
    {
        record(__func__, {portName, baudRate});
        return m_openSerialResult;
    }
    Q_INVOKABLE void closeSerial() { record(__func__); }
    Q_INVOKABLE void tavoxSendCalibration(int cmdType) { record(__func__, {cmdType}); }
    Q_INVOKABLE void tavoxReadParams() { record(__func__); }
    Q_INVOKABLE void tavoxWriteSbusChannelsWithDir(int pitch, int roll, int yaw, int center, int lockCh, int mode,
                                                   int pitchDir, int rollDir, int yawDir)
    {
        record(__func__, {pitch, roll, yaw, center, lockCh, mode, pitchDir, rollDir, yawDir});
    }
    Q_INVOKABLE void tavoxWritePwmChannelsWithDir(int pitch, int yaw, int center, int lockCh, int mode,
                                                  int pitchDir, int yawDir)
    {
        record(__func__, {pitch, yaw, center, lockCh, mode, pitchDir, yawDir});
    }
    Q_INVOKABLE void tavoxWriteCrsfChannelsWithDir(int pitch, int roll, int yaw, int center, int lockCh, int mode,
                                                   int pitchDir, int rollDir, int yawDir)
    {
        record(__func__, {pitch, roll, yaw, center, lockCh, mode, pitchDir, rollDir, yawDir});
    }
    Q_INVOKABLE void tavoxWriteGimbalConfig(int fpvMode, int pitchSpeed, int rollSpeed, int yawSpeed)
    {
        record(__func__, {fpvMode, pitchSpeed, rollSpeed, yawSpeed});
    }
    Q_INVOKABLE void tavoxWriteCameraPosition(int position) { record(__func__, {position}); }
    Q_INVOKABLE void tavoxWriteTorque(int pitchTorque, int rollTorque, int yawTorque)
    {
        record(__func__, {pitchTorque, rollTorque, yawTorque});
    }
    Q_INVOKABLE void tavoxSendMotorTorque(int motor, int direction) { record(__func__, {motor, direction}); }
    Q_INVOKABLE void tavoxSendMotorHallCalib(int motor) { record(__func__, {motor}); }
    Q_INVOKABLE void tavoxSendElecAngleCalib(int motor, bool start) { record(__func__, {motor, start}); }
    Q_INVOKABLE void tavoxSendHallDataSelect(bool useUser) { record(__func__, {useUser}); }
    Q_INVOKABLE void tavoxSendLinearCalib() { record(__func__); }
    Q_INVOKABLE void tavoxSendGyroBiasUpdate() { record(__func__); }
    Q_INVOKABLE void tavoxQueryVersion() { record(__func__); }
    Q_INVOKABLE void tavoxSelectUpgradeFile() { record(__func__); }
    Q_INVOKABLE void tavoxStartUpgrade(QString filePath) { record(__func__, {filePath}); }

signals:
    void languageChanged();
    void messageLogChanged();
    void serialPortsChanged();
    void serialOpenedChanged();
    // The real bridge's version is constant; here it changes so tests can vary it.
    void appVersionChanged();
    void tavoxParamsChanged();
    void tavoxUpgradeProgressChanged();
    void tavoxVersionChanged();
    void tavoxUpgradeFilePathChanged();
    void tavoxUpgradingChanged();
    void heartbeatChanged();
    void accelCaliStateChanged();
    void openSerialResultChanged();

private:
    void record(const char *name, const QVariantList &args = {});

    QString m_language = QStringLiteral("zh");
    QString m_messageLog;
    QStringList m_serialPorts;
    bool m_serialOpened = false;
    QString m_appVersion = QStringLiteral("v1.0.5");
    int m_tavoxSbusPitchCh = 1;
    int m_tavoxSbusRollCh = 1;
    int m_tavoxSbusYawCh = 1;
    int m_tavoxSbusCenterCh = 1;
    int m_tavoxSbusLockCh = 1;
    int m_tavoxSbusMode = 1;
    int m_tavoxPwmPitchCh = 1;
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
    int m_tavoxPitchMaxTorque = 8000;
    int m_tavoxRollMaxTorque = 10000;
    int m_tavoxYawMaxTorque = 12000;
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
    bool m_tavoxUpgrading = false;
    double m_hbPitch = 0.0;
    double m_hbRoll = 0.0;
    double m_hbYaw = 0.0;
    double m_hbImuTemp = 0.0;
    bool m_hbAttiReady = false;
    bool m_hbJointInitOk = false;
    bool m_hbUnderVolt = false;
    bool m_hbMemsLost = false;
    int m_hbActuator = 0;
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
    bool m_openSerialResult = true;

    QList<QPair<QString, QVariantList>> m_calls;
};
