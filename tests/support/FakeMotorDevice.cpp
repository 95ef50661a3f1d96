#include "support/FakeMotorDevice.h"

#include "support/FakeBridge.h"

FakeMotorDevice::FakeMotorDevice(FakeBridge &bridge, QObject *parent)
    : MotorDevice(parent)
    , m_bridge(bridge)
{
    connect(&bridge, &FakeBridge::serialOpenedChanged, this, &MotorDevice::linkOpenChanged);
}

bool FakeMotorDevice::linkOpen() const
{
    return m_bridge.linkOpen();
}

void FakeMotorDevice::sendTorque(int motor, int direction)
{
    m_bridge.tavoxSendMotorTorque(motor, direction);
}

void FakeMotorDevice::sendHallCalibration(int motor)
{
    m_bridge.tavoxSendMotorHallCalib(motor);
}

void FakeMotorDevice::sendElecAngleCalibration(int motor, bool start)
{
    m_bridge.tavoxSendElecAngleCalib(motor, start);
}

void FakeMotorDevice::selectHallData(bool user)
{
    m_bridge.tavoxSendHallDataSelect(user);
}

void FakeMotorDevice::sendLinearCalibration()
{
    m_bridge.tavoxSendLinearCalib();
}

void FakeMotorDevice::sendGyroBiasUpdate()
{
    m_bridge.tavoxSendGyroBiasUpdate();
}

void FakeMotorDevice::report(const Message &message)
{
    const QString line = m_bridge.localized(message.text.zh, message.text.en) + QLatin1Char('\n');
    m_bridge.setProperty("messageLog", m_bridge.property("messageLog").toString() + line);
}
