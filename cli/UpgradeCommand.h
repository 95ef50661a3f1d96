#pragma once

#include <QString>

class DeviceSession;

// tavoxctl upgrade FILE: the window's upgrade, from the file check to the
// controller's verdict, with the exit code that verdict deserves.
int runUpgrade(DeviceSession &session, const QString &port, int baud, const QString &imagePath);
