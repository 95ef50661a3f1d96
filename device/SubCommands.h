#pragma once

#include <QtGlobal>

// Sub-command bytes of the command frame 0x85 and of its reply 0x86.
namespace SubCommand {
constexpr quint8 HallCalib = 0x8D;
constexpr quint8 ZeroCalib = 0x8E;
constexpr quint8 AccelCalib = 0x8F;
constexpr quint8 Activate = 0x90;
constexpr quint8 Reboot = 0x91;
constexpr quint8 UserHallData = 0x98;
constexpr quint8 DefaultHallData = 0x99;
constexpr quint8 LinearCalib = 0x9B;
constexpr quint8 StopMotor = 0x9C;
constexpr quint8 GyroBiasUpdate = 0x9D;
constexpr quint8 SbusChannels = 0xA0;
constexpr quint8 PwmChannels = 0xA1;
constexpr quint8 CameraPosition = 0xA2;
constexpr quint8 MaxSpeed = 0xA3;
constexpr quint8 FpvMode = 0xA4;
constexpr quint8 Torque = 0xA5;
constexpr quint8 SbusPhotoVideo = 0xA6;
constexpr quint8 CrsfChannels = 0xA7;
}
