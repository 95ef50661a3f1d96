#pragma once

#include "device/TextPair.h"

#include <QtGlobal>

#include <array>

struct CommandName
{
    quint8 subCommand;
    const char *zh;
    const char *en;
};

struct CaliText
{
    const char *zh;
    const char *en;
};

// The names under which command replies are reported. 0x9A, 0x9E and 0x9F
// have none; 0x80 is never sent but may be answered.
extern const std::array<CommandName, 37> COMMAND_NAMES;

// Accelerometer calibration states 1..8: six faces, calculating, success.
constexpr qint32 AccelCaliSucceeded = 8;
extern const std::array<CaliText, 8> ACCEL_CALI_TEXTS;

// Null when the sub-command has no name.
TextPair commandName(quint8 subCommand);
// How the controller's acknowledgement of the command `name` is told.
TextPair commandSucceededText(const TextPair &name);
// Null for states without a text.
TextPair accelCaliText(qint32 state);

// Motors 0, 1, 2 are the outer, middle and inner frame.
TextPair motorFrameName(int motor);
// Direction 0 forward torque, 1 reverse torque, anything else torque clear.
TextPair motorTorqueAction(int direction);
