#pragma once

#include <QByteArray>
#include <QtGlobal>

// What the controller's sensors and receivers report at a moment.
struct SimTelemetryState
{
    qint64 nowMs = 0;          // drives the motion, continuous across reboots
    qint64 sinceBootMs = 0;    // drives the start-up flags
    bool motorsOff = false;
};

// A heartbeat payload of `length` bytes (22..61): attitude, status word, joint
// angles, IMU temperature and the receivers' channel values.
QByteArray heartbeatPayload(const SimTelemetryState &state, int length);
