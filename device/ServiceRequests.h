#pragma once

#include "device/DeviceLink.h"
#include "device/MessageSink.h"

#include <optional>

// The service tools' requests to the controller: calibrations, motor tests and
// the hall, electrical angle, linearisation and gyro commands. Each is refused
// while the link is closed; an argument outside the controller's table sends
// nothing.
class ServiceRequests
{
public:
    ServiceRequests(DeviceLink &link, MessageSink &messages);

    void sendCalibration(int cmdType);
    void sendMotorTorque(int motor, int direction);
    void sendMotorHallCalib(int motor);
    void sendElecAngleCalib(int motor, bool start);
    void sendHallDataSelect(bool useUser);
    void sendLinearCalib();
    void sendGyroBiasUpdate();

private:
    // Reports `sent` when not null and the port took the request.
    void send(std::optional<quint8> subCommand, const TextPair &sent);

    DeviceLink &m_link;
    MessageSink &m_messages;
};
