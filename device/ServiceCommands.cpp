#include "device/ServiceCommands.h"

#include "device/SubCommands.h"

#include <array>

namespace {
// Each motor owns four consecutive sub-commands: forward, reverse, clear, hall calibration.
constexpr quint8 FirstMotorCommand = 0x81;
constexpr int CommandsPerMotor = 4;
constexpr int HallCalibOffset = 3;

bool isMotor(int motor)
{
    return motor >= 0 && motor <= 2;
}

quint8 motorCommand(int motor, int offset)
{
    return quint8(FirstMotorCommand + motor * CommandsPerMotor + offset);
}
}

std::optional<quint8> calibrationSubCommand(int cmdType)
{
    static constexpr std::array<quint8, 6> byType = {
        SubCommand::StopMotor, SubCommand::HallCalib, SubCommand::AccelCalib,
        SubCommand::Activate,  SubCommand::Reboot,    SubCommand::ZeroCalib,
    };
    if (cmdType < 0 || cmdType >= int(byType.size()))
        return std::nullopt;
    return byType[size_t(cmdType)];
}

std::optional<quint8> motorTorqueSubCommand(int motor, int direction)
{
    if (!isMotor(motor))
        return std::nullopt;
    const int offset = (direction == 0 || direction == 1) ? direction : 2;
    return motorCommand(motor, offset);
}

std::optional<quint8> motorHallCalibSubCommand(int motor)
{
    if (!isMotor(motor))
        return std::nullopt;
    return motorCommand(motor, HallCalibOffset);
}

// ((start ? 0 : 1) - k) mod 256 with k = 110, 108, 106 for motors 0, 1, 2:
// start/end pairs 0x92/0x93, 0x94/0x95, 0x96/0x97.
std::optional<quint8> elecAngleCalibSubCommand(int motor, bool start)
{
    if (!isMotor(motor))
        return std::nullopt;
    const int k = 110 - 2 * motor;
    return quint8(((start ? 0 : 1) - k) & 0xFF);
}

quint8 hallDataSubCommand(bool useUser)
{
    return useUser ? SubCommand::UserHallData : SubCommand::DefaultHallData;
}
