#include "support/FakeBridge.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QVariantMap>

FakeBridge::FakeBridge(QObject *parent)
    : QObject(parent)
{
}

void FakeBridge::record(const QString &name, const QVariantList &args)
{
    m_calls.append(QVariantMap{{QStringLiteral("name"), name}, {QStringLiteral("args"), args}});
    emit callsChanged();
    emit invoked(name, args);
}

void FakeBridge::clearCalls()
{
    m_calls.clear();
    emit callsChanged();
}

int FakeBridge::callCount(const QString &name) const
{
    int count = 0;
    for (const QVariant &call : m_calls) {
        if (call.toMap().value(QStringLiteral("name")).toString() == name)
            ++count;
    }
    return count;
}

QStringList FakeBridge::callNames() const
{
    QStringList names;
    for (const QVariant &call : m_calls)
        names.append(call.toMap().value(QStringLiteral("name")).toString());
    return names;
}

QVariant FakeBridge::lastArgs(const QString &name) const
{
    for (auto it = m_calls.crbegin(); it != m_calls.crend(); ++it) {
        const QVariantMap call = it->toMap();
        if (call.value(QStringLiteral("name")).toString() == name)
            return call.value(QStringLiteral("args"));
    }
    return QVariant();
}

bool FakeBridge::emitSignal(const QString &signalName)
{
    const QMetaObject *meta = metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Signal && method.parameterCount() == 0
            && QString::fromLatin1(method.name()) == signalName) {
            return method.invoke(this, Qt::DirectConnection);
        }
    }
    return false;
}

void FakeBridge::reset()
{
    const FakeBridge initial;
    const QMetaObject *meta = metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (property.isWritable())
            property.write(this, property.read(&initial));
    }
    clearCalls();
}

void FakeBridge::setLanguage(QString lang)
{
    record(QStringLiteral("setLanguage"), {lang});
    setProperty("language", lang);
}

void FakeBridge::clearMessages() { record(QStringLiteral("clearMessages")); }
void FakeBridge::refreshSerialPorts() { record(QStringLiteral("refreshSerialPorts")); }

bool FakeBridge::openSerial(QString portName, int baudRate)
{
    record(QStringLiteral("openSerial"), {portName, baudRate});
    return m_openSerialResult;
}

void FakeBridge::closeSerial() { record(QStringLiteral("closeSerial")); }

bool FakeBridge::tavoxRequireSerial()
{
    record(QStringLiteral("tavoxRequireSerial"));
    return m_serialOpened;
}

void FakeBridge::tavoxSendCalibration(int cmdType) { record(QStringLiteral("tavoxSendCalibration"), {cmdType}); }
void FakeBridge::tavoxReadParams() { record(QStringLiteral("tavoxReadParams")); }

void FakeBridge::tavoxWriteSbusChannels(int pitch, int roll, int yaw, int center, int lockCh, int mode)
{
    record(QStringLiteral("tavoxWriteSbusChannels"), {pitch, roll, yaw, center, lockCh, mode});
}

void FakeBridge::tavoxWritePwmChannels(int pitch, int roll, int yaw, int center, int lockCh, int mode)
{
    record(QStringLiteral("tavoxWritePwmChannels"), {pitch, roll, yaw, center, lockCh, mode});
}

void FakeBridge::tavoxWriteCrsfChannels(int pitch, int roll, int yaw, int center, int lockCh, int mode)
{
    record(QStringLiteral("tavoxWriteCrsfChannels"), {pitch, roll, yaw, center, lockCh, mode});
}

void FakeBridge::tavoxWriteSbusChannelsWithDir(int pitch, int roll, int yaw, int center, int lockCh, int mode,
                                               int pitchDir, int rollDir, int yawDir)
{
    record(QStringLiteral("tavoxWriteSbusChannelsWithDir"),
           {pitch, roll, yaw, center, lockCh, mode, pitchDir, rollDir, yawDir});
}

void FakeBridge::tavoxWritePwmChannelsWithDir(int pitch, int yaw, int center, int lockCh, int mode,
                                              int pitchDir, int yawDir)
{
    record(QStringLiteral("tavoxWritePwmChannelsWithDir"), {pitch, yaw, center, lockCh, mode, pitchDir, yawDir});
}

void FakeBridge::tavoxWriteCrsfChannelsWithDir(int pitch, int roll, int yaw, int center, int lockCh, int mode,
                                               int pitchDir, int rollDir, int yawDir)
{
    record(QStringLiteral("tavoxWriteCrsfChannelsWithDir"),
           {pitch, roll, yaw, center, lockCh, mode, pitchDir, rollDir, yawDir});
}

void FakeBridge::tavoxWriteGimbalConfig(int fpvMode, int pitchSpeed, int rollSpeed, int yawSpeed)
{
    record(QStringLiteral("tavoxWriteGimbalConfig"), {fpvMode, pitchSpeed, rollSpeed, yawSpeed});
}

void FakeBridge::tavoxWriteCameraPosition(int position)
{
    record(QStringLiteral("tavoxWriteCameraPosition"), {position});
}

void FakeBridge::tavoxWriteTorque(int pitchTorque, int rollTorque, int yawTorque)
{
    record(QStringLiteral("tavoxWriteTorque"), {pitchTorque, rollTorque, yawTorque});
}

void FakeBridge::tavoxQueryVersion() { record(QStringLiteral("tavoxQueryVersion")); }
void FakeBridge::tavoxSelectUpgradeFile() { record(QStringLiteral("tavoxSelectUpgradeFile")); }
void FakeBridge::tavoxStartUpgrade(QString filePath) { record(QStringLiteral("tavoxStartUpgrade"), {filePath}); }
void FakeBridge::tavoxOnStartup() { record(QStringLiteral("tavoxOnStartup")); }

void FakeBridge::tavoxSendMotorTorque(int motor, int direction)
{
    record(QStringLiteral("tavoxSendMotorTorque"), {motor, direction});
}

void FakeBridge::tavoxSendMotorHallCalib(int motor) { record(QStringLiteral("tavoxSendMotorHallCalib"), {motor}); }

void FakeBridge::tavoxSendElecAngleCalib(int motor, bool start)
{
    record(QStringLiteral("tavoxSendElecAngleCalib"), {motor, start});
}

void FakeBridge::tavoxSendHallDataSelect(bool useUser) { record(QStringLiteral("tavoxSendHallDataSelect"), {useUser}); }
void FakeBridge::tavoxSendLinearCalib() { record(QStringLiteral("tavoxSendLinearCalib")); }
void FakeBridge::tavoxSendGyroBiasUpdate() { record(QStringLiteral("tavoxSendGyroBiasUpdate")); }

void FakeBridge::tavoxSendSbusPhotoVideo(int photoCh, int videoCh)
{
    record(QStringLiteral("tavoxSendSbusPhotoVideo"), {photoCh, videoCh});
}

void FakeBridge::tavoxWriteSbusDirections(int pitchDir, int rollDir, int yawDir)
{
    record(QStringLiteral("tavoxWriteSbusDirections"), {pitchDir, rollDir, yawDir});
}

void FakeBridge::tavoxWritePwmDirections(int pitchDir, int yawDir)
{
    record(QStringLiteral("tavoxWritePwmDirections"), {pitchDir, yawDir});
}

void FakeBridge::tavoxWriteCrsfDirections(int pitchDir, int rollDir, int yawDir)
{
    record(QStringLiteral("tavoxWriteCrsfDirections"), {pitchDir, rollDir, yawDir});
}
