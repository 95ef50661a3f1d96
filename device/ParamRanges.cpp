#include "device/ParamRanges.h"

namespace {
struct RangeEntry
{
    const char *field;
    int minimum;
    int maximum;
};

// Receivers carry 16 channels (0 = none); a PWM receiver has 3 inputs. The
// centre's second function, modes, directions and the camera position are
// each one of two; FPV mode one of eight. A torque of 0 leaves a motor
// without force, and above 30000 is more than the motors are rated for.
const int Channels = 16;
const int PwmInputs = 3;
const int Speed = 255;
const int TorqueMin = 1;
const int TorqueMax = 30000;

const RangeEntry Ranges[] = {
    {"sbus.pitchChannel", 0, Channels},
    {"sbus.rollChannel", 0, Channels},
    {"sbus.yawChannel", 0, Channels},
    {"sbus.centerChannel", 0, Channels},
    {"sbus.lockChannel", 0, Channels},
    {"sbus.mode", 0, 1},
    {"sbus.pitchDirection", 0, 1},
    {"sbus.rollDirection", 0, 1},
    {"sbus.yawDirection", 0, 1},
    {"sbus.photoChannel", 0, Channels},
    {"sbus.videoChannel", 0, Channels},
    {"pwm.pitchChannel", 0, PwmInputs},
    {"pwm.yawChannel", 0, PwmInputs},
    {"pwm.centerChannel", 0, PwmInputs},
    {"pwm.lockChannel", 0, 1},
    {"pwm.mode", 0, 1},
    {"pwm.pitchDirection", 0, 1},
    {"pwm.yawDirection", 0, 1},
    {"crsf.pitchChannel", 0, Channels},
    {"crsf.rollChannel", 0, Channels},
    {"crsf.yawChannel", 0, Channels},
    {"crsf.centerChannel", 0, Channels},
    {"crsf.lockChannel", 0, Channels},
    {"crsf.mode", 0, 1},
    {"crsf.pitchDirection", 0, 1},
    {"crsf.rollDirection", 0, 1},
    {"crsf.yawDirection", 0, 1},
    {"gimbal.fpvMode", 0, 7},
    {"gimbal.pitchMaxSpeed", 0, Speed},
    {"gimbal.rollMaxSpeed", 0, Speed},
    {"gimbal.yawMaxSpeed", 0, Speed},
    {"gimbal.pitchMaxTorque", TorqueMin, TorqueMax},
    {"gimbal.rollMaxTorque", TorqueMin, TorqueMax},
    {"gimbal.yawMaxTorque", TorqueMin, TorqueMax},
    {"camera.position", 0, 1},
};
}

ParamRange ParamRanges::of(const QString &field)
{
    for (const RangeEntry &entry : Ranges) {
        if (field == QLatin1String(entry.field))
            return {entry.minimum, entry.maximum};
    }
    return {};
}

TextPair ParamRanges::outOfRange(double value, const ParamRange &range)
{
    return {QStringLiteral("值 %1 超出范围 %2").arg(value).arg(range.text()),
            QStringLiteral("value %1 out of range %2").arg(value).arg(range.text())};
}
