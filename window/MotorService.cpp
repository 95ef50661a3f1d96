#include "window/MotorService.h"

#include "bridge/AppBridge.h"

#include <QCoreApplication>

namespace {
// Enough for one frame to leave even a slow line; the program is ending.
const int LastFrameTimeoutMs = 500;

TextPair motorName(int motor)
{
    switch (motor) {
    case MotorService::Outer:
        return { QStringLiteral("外框架电机"), QStringLiteral("outer frame motor") };
    case MotorService::Middle:
        return { QStringLiteral("中框架电机"), QStringLiteral("middle frame motor") };
    default:
        return { QStringLiteral("内框架电机"), QStringLiteral("inner frame motor") };
    }
}

class BridgeMotorDevice : public MotorDevice
{
public:
    BridgeMotorDevice(AppBridge &bridge, QObject *parent)
        : MotorDevice(parent)
        , m_bridge(bridge)
    {
        connect(&bridge, &AppBridge::serialOpenedChanged, this, &MotorDevice::linkOpenChanged);
    }

    bool linkOpen() const override { return m_bridge.serialOpened(); }
    void sendTorque(int motor, int direction) override { m_bridge.tavoxSendMotorTorque(motor, direction); }
    void sendHallCalibration(int motor) override { m_bridge.tavoxSendMotorHallCalib(motor); }
    void sendElecAngleCalibration(int motor, bool start) override { m_bridge.tavoxSendElecAngleCalib(motor, start); }
    void selectHallData(bool user) override { m_bridge.tavoxSendHallDataSelect(user); }
    void sendLinearCalibration() override { m_bridge.tavoxSendLinearCalib(); }
    void sendGyroBiasUpdate() override { m_bridge.tavoxSendGyroBiasUpdate(); }
    void finishWrites() override { m_bridge.serialLink().waitForFramesWritten(LastFrameTimeoutMs); }
    void report(const Message &message) override { m_bridge.messages().report(message); }

private:
    AppBridge &m_bridge;
};
}

MotorService::MotorService(QObject *parent)
    : QObject(parent)
{
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &MotorService::releaseBeforeExit);
}

MotorService::~MotorService()
{
    releaseBeforeExit();
}

MotorService *MotorService::overBridge(AppBridge &bridge, QObject *parent)
{
    auto *service = new MotorService(parent);
    service->setDevice(new BridgeMotorDevice(bridge, service));
    return service;
}

void MotorService::setDevice(MotorDevice *device)
{
    if (device == m_device)
        return;
    release();
    if (m_device)
        disconnect(m_device, nullptr, this, nullptr);
    m_device = device;
    if (device)
        connect(device, &MotorDevice::linkOpenChanged, this, &MotorService::onLinkOpenChanged);
    emit deviceChanged();
}

void MotorService::confirmTorqueTest()
{
    if (m_torqueTestConfirmed)
        return;
    m_torqueTestConfirmed = true;
    emit torqueTestConfirmedChanged();
}

bool MotorService::hold(int motor, int direction)
{
    if (!m_device || !m_torqueTestConfirmed || !isMotor(motor) || (direction != Forward && direction != Reverse))
        return false;
    if (motor == m_holding && direction == m_direction)
        return true;
    release();
    m_device->sendTorque(motor, direction);
    if (!m_device->linkOpen())
        return false;
    setHolding(motor, direction);
    return true;
}

void MotorService::release()
{
    const int motor = m_holding;
    if (motor == NoMotor)
        return;
    setHolding(NoMotor, Forward);
    if (!m_device)
        return;
    if (m_device->linkOpen())
        m_device->sendTorque(motor, MotorDevice::ClearTorque);
    else
        oweClear(motor);
}

void MotorService::calibrateHall(int motor)
{
    if (!m_device || !isMotor(motor))
        return;
    release();
    m_device->sendHallCalibration(motor);
}

void MotorService::calibrateElecAngle(int motor, bool start)
{
    if (!m_device || !isMotor(motor))
        return;
    release();
    m_device->sendElecAngleCalibration(motor, start);
}

void MotorService::useHallData(bool user)
{
    if (!m_device)
        return;
    release();
    m_device->selectHallData(user);
}

void MotorService::calibrateLinearity()
{
    if (!m_device)
        return;
    release();
    m_device->sendLinearCalibration();
}

void MotorService::updateGyroBias()
{
    if (!m_device)
        return;
    release();
    m_device->sendGyroBiasUpdate();
}

void MotorService::setHolding(int motor, int direction)
{
    m_direction = direction;
    if (motor == m_holding)
        return;
    m_holding = motor;
    emit holdingChanged();
}

// Whichever comes first, this or the window's buttons letting go as the link
// ends, releases the hold and owes its clear.
void MotorService::onLinkOpenChanged()
{
    if (!m_device)
        return;
    if (m_device->linkOpen())
        sendOwedClear();
    else
        release();
}

void MotorService::oweClear(int motor)
{
    m_clearOwedTo = motor;
    const TextPair name = motorName(motor);
    m_device->report(Message::error(
        QStringLiteral("链路断开时%1仍在测试力矩下：控制器可能仍保持该力矩，串口再次打开时将首先清除它。").arg(name.zh),
        QStringLiteral("The link ended while the %1 held a test torque: the controller may still hold it. It is "
                       "cleared first thing when a port opens again.")
            .arg(name.en)));
}

// Before any other command: nothing else may reach a motor still turning.
void MotorService::sendOwedClear()
{
    const int motor = m_clearOwedTo;
    if (motor == NoMotor)
        return;
    m_clearOwedTo = NoMotor;
    m_device->sendTorque(motor, MotorDevice::ClearTorque);
    const TextPair name = motorName(motor);
    m_device->report(Message::info(QStringLiteral("链路恢复后已清除电机测试力矩（%1）").arg(name.zh),
                                   QStringLiteral("Motor test torque cleared after the link returned (%1)").arg(name.en)));
}

// Quitting ends the event loop, which would otherwise still write the clear out.
void MotorService::releaseBeforeExit()
{
    if (m_holding == NoMotor || !m_device || !m_device->linkOpen())
        return;
    release();
    m_device->finishWrites();
}
