#pragma once

#include "device/MessageSink.h"

#include <QObject>

// What the motor service needs of the controller: whether the link is open,
// the per-motor commands and the operator's message log. Motors are 0 outer, 1 middle, 2 inner. The bridge
// provides it through MotorService::overBridge; the window's tests through
// their bridge double.
class MotorDevice : public QObject
{
    Q_OBJECT

public:
    // The bridge's directions of a test torque; any other value clears it.
    static constexpr int ForwardTorque = 0;
    static constexpr int ReverseTorque = 1;
    static constexpr int ClearTorque = 2;

    using QObject::QObject;

    virtual bool linkOpen() const = 0;
    // With no port open each request is refused, and the operator told why.
    virtual void sendTorque(int motor, int direction) = 0;
    virtual void sendHallCalibration(int motor) = 0;
    virtual void sendElecAngleCalibration(int motor, bool start) = 0;
    virtual void selectHallData(bool user) = 0;
    virtual void sendLinearCalibration() = 0;
    virtual void sendGyroBiasUpdate() = 0;
    // Returns once what was sent has left for the controller, or after a short
    // while: for the last command before the program ends.
    virtual void finishWrites() = 0;
    virtual void report(const Message &message) = 0;

signals:
    void linkOpenChanged();
};
