#pragma once

#include "link/PortRefusal.h"

#include <QIODevice>
#include <QString>

class QSerialPort;

// Opens `port` on the device `portName` stands for (portPathOf() reads the
// name, exactly as given), for this program alone.
//
// A line is one device number, whatever node, link or bind mount reaches it,
// and whoever runs the program: root is not stopped by QSerialPort's lock file
// nor by exclusive mode, and flock() on a descriptor binds only that inode. So
// the port is refused while this or another program claims its device number
// (an flock on a file named after the number, which the kernel drops with its
// holder), while a live program's UUCP lock file names the line (minicom,
// picocom, lockdev), or while another process has it open (as /proc shows);
// a lock file whose program has ended is removed. It is then opened under the
// device's own path and its descriptor locked with flock() as well, for the
// programs that lock that alone.
//
// A blank name, or a path that is no terminal line (a file, a pipe,
// /dev/null), is refused without being opened.
//
// False when the port cannot be had; `refusal` then says why (another program
// holds it, permission denied, no such device, not a serial device, a stale
// lock file this user may not remove, exclusive mode left set, or the
// system's own words), and is null after a successful claim.
bool claimPort(QSerialPort &port, const QString &portName, QIODevice::OpenMode mode, PortRefusal &refusal);

// The program other than this one that holds the device `devicePath` open, or
// whose live lock file names it, as "tavoxctl (pid 4242)"; empty when none can be named.
QString portHolder(const QString &devicePath);
