#pragma once

#include <QString>
#include <QStringList>

class DeviceSession;

// The calibrations tavoxctl runs, by the names the command line takes.
QStringList calibrationKinds();

// Opens the port, sends the calibration `kind` the way the window does and
// waits for the controller's answer; for the accelerometer, through its six
// faces to the end. Returns the exit code.
int runCalibrate(DeviceSession &session, const QString &port, int baud, const QString &kind);
