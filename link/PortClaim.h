#pragma once

#include "link/PortRefusal.h"

#include <QIODevice>
#include <QString>

class QSerialPort;

// Opens `port` on the device `portName` stands for, for this program alone.
//
// QSerialPort names its lock file after the path it is given, and its
// exclusive mode does not stop root, so two programs opening one line under
// two names (a link and the kernel's path) would both get it. The port is
// therefore opened under the device's own path, whatever name was given, and
// its descriptor then locked with flock(), which binds root as well and which
// the kernel lets go of when the holder dies.
//
// A path that is no character device is refused without being opened.
//
// False when the port cannot be had; `refusal` then says why (another program
// holds it, permission denied, no such device, not a serial device, or the
// system's own words), and is null after a successful claim.
bool claimPort(QSerialPort &port, const QString &portName, QIODevice::OpenMode mode, PortRefusal &refusal);

// The program other than this one that holds `devicePath` open, as
// "tavoxctl (pid 4242)"; empty when none can be named.
QString portHolder(const QString &devicePath);
