#pragma once

#include "window/CalibrationDevice.h"

#include <QObject>
#include <QPair>
#include <QStringList>
#include <QVariantList>

// A property the documents bind to, writable from QML, and the member that holds it.
#define FAKE_PROPERTY(type, name, notify, initial)       \
    Q_PROPERTY(type name MEMBER m_##name NOTIFY notify) \
    type m_##name = initial;

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

    FAKE_PROPERTY(QString, language, languageChanged, QStringLiteral("zh"))
    FAKE_PROPERTY(QString, messageLog, messageLogChanged, {})
    FAKE_PROPERTY(QStringList, serialPorts, serialPortsChanged, {})
    FAKE_PROPERTY(bool, serialOpened, serialOpenedChanged, false)
    FAKE_PROPERTY(QString, appVersion, appVersionChanged, QStringLiteral("v1.0.5"))
    FAKE_PROPERTY(int, tavoxSbusPitchCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxSbusRollCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxSbusYawCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxSbusCenterCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxSbusLockCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxSbusMode, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxPwmPitchCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxPwmYawCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxPwmCenterCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxPwmLockCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxPwmMode, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxCrsfPitchCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxCrsfRollCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxCrsfYawCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxCrsfCenterCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxCrsfLockCh, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxCrsfMode, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxFpvMode, tavoxParamsChanged, 0)
    FAKE_PROPERTY(int, tavoxPitchMaxSpeed, tavoxParamsChanged, 0)
    FAKE_PROPERTY(int, tavoxRollMaxSpeed, tavoxParamsChanged, 0)
    FAKE_PROPERTY(int, tavoxYawMaxSpeed, tavoxParamsChanged, 0)
    FAKE_PROPERTY(int, tavoxCameraPosition, tavoxParamsChanged, 1)
    FAKE_PROPERTY(int, tavoxPitchMaxTorque, tavoxParamsChanged, 8000)
    FAKE_PROPERTY(int, tavoxRollMaxTorque, tavoxParamsChanged, 10000)
    FAKE_PROPERTY(int, tavoxYawMaxTorque, tavoxParamsChanged, 12000)
    FAKE_PROPERTY(int, tavoxSbusPitchDir, tavoxParamsChanged, 0)
    FAKE_PROPERTY(int, tavoxSbusRollDir, tavoxParamsChanged, 0)
    FAKE_PROPERTY(int, tavoxSbusYawDir, tavoxParamsChanged, 0)
    FAKE_PROPERTY(int, tavoxPwmPitchDir, tavoxParamsChanged, 0)
    FAKE_PROPERTY(int, tavoxPwmYawDir, tavoxParamsChanged, 0)
    FAKE_PROPERTY(int, tavoxCrsfPitchDir, tavoxParamsChanged, 0)
    FAKE_PROPERTY(int, tavoxCrsfRollDir, tavoxParamsChanged, 0)
    FAKE_PROPERTY(int, tavoxCrsfYawDir, tavoxParamsChanged, 0)
    FAKE_PROPERTY(int, tavoxUpgradeProgress, tavoxUpgradeProgressChanged, 0)
    FAKE_PROPERTY(QString, tavoxFirmwareVersion, tavoxVersionChanged, QStringLiteral("-"))
    FAKE_PROPERTY(QString, tavoxBootVersion, tavoxVersionChanged, QStringLiteral("-"))
    FAKE_PROPERTY(QString, tavoxUpgradeFilePath, tavoxUpgradeFilePathChanged, {})
    FAKE_PROPERTY(bool, tavoxUpgrading, tavoxUpgradingChanged, false)
    FAKE_PROPERTY(double, hbPitch, heartbeatChanged, 0.0)
    FAKE_PROPERTY(double, hbRoll, heartbeatChanged, 0.0)
    FAKE_PROPERTY(double, hbYaw, heartbeatChanged, 0.0)
    FAKE_PROPERTY(double, hbImuTemp, heartbeatChanged, 0.0)
    FAKE_PROPERTY(bool, hbAttiReady, heartbeatChanged, false)
    FAKE_PROPERTY(bool, hbJointInitOk, heartbeatChanged, false)
    FAKE_PROPERTY(bool, hbUnderVolt, heartbeatChanged, false)
    FAKE_PROPERTY(bool, hbMemsLost, heartbeatChanged, false)
    FAKE_PROPERTY(int, hbActuator, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbSbusPitchValue, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbSbusRollValue, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbSbusYawValue, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbSbusCenterValue, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbSbusLockValue, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbPwmPitchValue, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbPwmYawValue, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbPwmCenterValue, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbCrsfPitchValue, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbCrsfRollValue, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbCrsfYawValue, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbCrsfCenterValue, heartbeatChanged, 0)
    FAKE_PROPERTY(int, hbCrsfLockValue, heartbeatChanged, 0)
    FAKE_PROPERTY(bool, hbCrsfValuePresent, heartbeatChanged, false)
    FAKE_PROPERTY(bool, hbReceived, heartbeatChanged, false)
    FAKE_PROPERTY(int, accelCaliState, accelCaliStateChanged, -1)
    // Test control, not part of the bridge.
    FAKE_PROPERTY(bool, openSerialResult, openSerialResultChanged, true)

    QList<QPair<QString, QVariantList>> m_calls;
};
