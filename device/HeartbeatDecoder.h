#pragma once

#include "device/HeartbeatRecord.h"

#include <QByteArray>
#include <QString>

// Payload lengths from which each part of a heartbeat is present. A shorter
// heartbeat is not decoded at all; each later block needs all earlier ones.
namespace HeartbeatLayout {
constexpr int Minimum = 22;
constexpr int WithImuTemp = 35;
constexpr int WithSbus = 45;
constexpr int WithPwm = 51;
constexpr int WithCrsf = 61;
}

// Clears `record` and fills it from a heartbeat payload. False (and a cleared
// record) when the payload is too short to carry attitude and status.
bool decodeHeartbeat(const QByteArray &payload, HeartbeatRecord &record);

// The line written once per connection for the first heartbeat, so a field
// report shows which optional blocks this controller's firmware sends.
QString heartbeatDiagnosticLine(const QByteArray &payload, const HeartbeatRecord &record);
