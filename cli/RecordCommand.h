#pragma once

#include <QString>

class DeviceSession;

// Records the link into `file` (pcapng, outside the sessions folder's bounds)
// for `seconds` seconds (0: until Ctrl-C) or until the port is lost, then
// tells where it wrote and how many frames. Returns the exit code.
int runRecord(DeviceSession &session, const QString &port, int baud, int seconds, const QString &file);
