#pragma once

#include <QString>

// What Linux says of a running process, read by the tool's own start-up probe
// and by the benchmarks that watch the tool from outside.

// A "Name:   1234 kB" field of /proc/<process>/status ("VmRSS", "VmHWM") in
// KiB; -1 when it cannot be read. `process` is a pid or "self".
long statusKib(const QString &process, const char *field);

// The system-wide monotonic clock, which two processes read alike.
double monotonicMs();
