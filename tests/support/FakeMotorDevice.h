#pragma once

#include "window/MotorDevice.h"

class FakeBridge;

// The bridge double as the motor service's controller: the commands land in
// the double's record of calls, its serialOpened is the link, and what the
// service reports is added to its messageLog, one line each.
class FakeMotorDevice : public MotorDevice
{
    Q_OBJECT

public:
    FakeMotorDevice(FakeBridge &bridge, QObject *parent);

    bool linkOpen() const override;
    void sendTorque(int motor, int direction) override;
    void sendHallCalibration(int motor) override;
    void sendElecAngleCalibration(int motor, bool start) override;
    void selectHallData(bool user) override;
    void sendLinearCalibration() override;
    void sendGyroBiasUpdate() override;
    void finishWrites() override {}
    void report(const Message &message) override;

private:
    FakeBridge &m_bridge;
};
