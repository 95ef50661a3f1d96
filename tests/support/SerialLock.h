#pragma once

#include <QString>

// The lock file QSerialPort keeps for `port` while it holds the port open:
// "LCK..<name>", the device path without "/dev/" and with '/' as '_' (so
// "LCK..pts_3"), in the first of its lock folders it may use (/var/lock on
// Debian, /tmp as a last resort). Empty when there is none now.
QString serialLockFile(const QString &port);

// Writes the lock file that minicom, picocom and lockdev keep for `port`
// (the pid in ASCII, ten columns wide, and a line break) naming `pid`, in the
// first lock folder this user may write; its path, or empty when none is writable.
QString writeUucpLock(const QString &port, qint64 pid);

// The pid a lock file names; 0 when it names none.
qint64 pidInLock(const QString &path);

// A process id that no process has now: a child's, once it has ended.
qint64 endedProcessId();
