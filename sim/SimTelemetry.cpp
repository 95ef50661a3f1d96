#include "sim/SimTelemetry.h"

#include <QtMath>

namespace {
const int FullLength = 61;

// Start-up as seen in the status word: joints found first, then the attitude.
const qint64 JointInitMs = 300;
const qint64 AttitudeReadyMs = 600;

enum StateMachine { Booting = 1, Aligning = 2, Running = 3 };
enum Actuator { ActuatorNormal = 0, ActuatorOff = 2 };
const int CtrlModeAngle = 1;

const double SoftLimitDegrees = 14.5;

void putLe16(QByteArray &out, int offset, int value)
{
    out[offset] = char(value & 0xFF);
    out[offset + 1] = char((value >> 8) & 0xFF);
}

double wave(double seconds, double period, double phase = 0)
{
    return qSin(2 * M_PI * seconds / period + phase);
}

int centiDegrees(double degrees)
{
    return qRound(degrees * 100);
}

quint32 statusWord(const SimTelemetryState &state, double pitchDegrees)
{
    const bool jointInitOk = state.sinceBootMs >= JointInitMs;
    const bool attitudeReady = state.sinceBootMs >= AttitudeReadyMs;
    const int machine = attitudeReady ? Running : jointInitOk ? Aligning : Booting;
    const int actuator = state.motorsOff ? ActuatorOff : ActuatorNormal;
    const bool softLimit = qAbs(pitchDegrees) > SoftLimitDegrees;
    return quint32(attitudeReady) | quint32(jointInitOk) << 1 | quint32(actuator) << 4
        | quint32(softLimit) << 6 | quint32(CtrlModeAngle) << 7 | quint32(machine) << 9;
}

// Receiver values wander slowly around their centre, each at its own pace.
void putChannels(QByteArray &out, int offset, int count, double seconds, int centre, int swing, double phase)
{
    for (int i = 0; i < count; ++i)
        putLe16(out, offset + 2 * i, centre + qRound(swing * wave(seconds, 6.0 + 1.7 * i, phase + i)));
}
}

QByteArray heartbeatPayload(const SimTelemetryState &state, int length)
{
    const double t = state.nowMs / 1000.0;
    const double pitch = 15.0 * wave(t, 8.0);
    const double roll = 4.0 * wave(t, 11.0, 0.5);
    const double yaw = 30.0 * wave(t, 23.0, 1.0);

    QByteArray out(FullLength, '\0');
    putLe16(out, 0, centiDegrees(pitch));
    putLe16(out, 2, centiDegrees(roll));
    putLe16(out, 4, centiDegrees(yaw));
    const quint32 status = statusWord(state, pitch);
    for (int i = 0; i < 4; ++i)
        out[6 + i] = char((status >> (8 * i)) & 0xFF);
    // The joints follow the attitude with the frames' small mechanical offsets.
    putLe16(out, 10, centiDegrees(yaw + 0.8));
    putLe16(out, 12, centiDegrees(-roll + 0.3));
    putLe16(out, 14, centiDegrees(-pitch - 0.5));
    // Gyro rates and motor currents, unused by the tool but never all zero on a real unit.
    for (int i = 0; i < 9; ++i)
        putLe16(out, 16 + 2 * i, qRound(40 * wave(t, 0.9 + 0.3 * i, i)));
    // The IMU warms up from 32 towards 45 degrees over the first minutes.
    out[34] = char(qRound(45.0 - 13.0 * qExp(-t / 180.0)));
    putChannels(out, 35, 5, t, 992, 300, 0.0);    // SBUS
    putChannels(out, 45, 3, t, 1500, 250, 2.0);   // PWM, microseconds
    putChannels(out, 51, 5, t, 992, 300, 4.0);    // CRSF
    return out.left(qBound(0, length, FullLength));
}
