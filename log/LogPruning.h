#pragma once

#include <QString>

// Keeps a logs folder to the newest runs: at most MaxRuns of them, together at most MaxBytes. A run is one
// tavox_<start time>.log with its rotated pieces and its lock file; the runs beyond the bounds are deleted,
// except `currentLog`'s and any another process still writes. What cannot be deleted stays, silently: the
// session goes on either way. Files not named as the tool names its logs are never touched.
namespace LogPruning {
constexpr int MaxRuns = 30;
constexpr qint64 MaxBytes = 100 * 1024 * 1024;

void prune(const QString &folder, const QString &currentLog);
}
