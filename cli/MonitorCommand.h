#pragma once

#include <QString>

class DeviceSession;

// Prints the controller's heartbeat and the link figures once a second, for
// `seconds` seconds (0: until Ctrl-C), as text or as one JSON object a line.
// With `reconnect`, a lost port is waited for and the monitor goes on once it is
// back. Returns the exit code.
int runMonitor(DeviceSession &session, const QString &port, int baud, int seconds, bool json, bool reconnect);
