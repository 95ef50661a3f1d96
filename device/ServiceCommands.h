#pragma once

#include <QtGlobal>

#include <optional>

// How the service operations' arguments choose their sub-command. An argument
// outside the table gives no sub-command, and the operation sends nothing.
// Motors: 0 outer frame, 1 middle frame, 2 inner frame.

// 0 stop motors, 1 hall, 2 accelerometer, 3 activate, 4 reboot, 5 zero point.
std::optional<quint8> calibrationSubCommand(int cmdType);
// Direction 0 forward torque, 1 reverse torque, anything else torque clear.
std::optional<quint8> motorTorqueSubCommand(int motor, int direction);
std::optional<quint8> motorHallCalibSubCommand(int motor);
std::optional<quint8> elecAngleCalibSubCommand(int motor, bool start);
quint8 hallDataSubCommand(bool useUser);
