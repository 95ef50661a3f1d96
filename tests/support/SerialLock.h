#pragma once

#include <QString>

// The lock file QSerialPort keeps for `port` while it holds the port open:
// "LCK..<name>", the device path without "/dev/" and with '/' as '_' (so
// "LCK..pts_3"), in the first of its lock folders it may use (/var/lock on
// Debian, /tmp as a last resort). Empty when there is none now.
QString serialLockFile(const QString &port);
