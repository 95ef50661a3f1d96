#pragma once

#include <QByteArray>
#include <QtGlobal>

// The accelerometer calibration reports its state as a float: the state is
// the value plus 0.5 (in single precision) truncated toward zero. NaN and
// values outside the int range give INT32_MIN instead of undefined behaviour.
qint32 accelStateFromProgress(float progress);

// Reads the float from bytes 1-4 (little-endian) of a 0x8F command reply;
// the caller makes sure the payload holds at least 5 bytes.
float accelProgressValue(const QByteArray &payload);
