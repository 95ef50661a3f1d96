#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One log file per run: logs/tavox_<start time>.log in the data directory
// (see StandardLocations.h).
// A session whose file cannot be opened still runs, with its records on the
// console only; the file path is then empty (null), so nothing names a file
// that does not exist.
bool appLogInit();
QString appLogFilePath();
const char *appLogFilePathUtf8();

// appLogInit with logs/ in appDir.
bool appLogInitIn(const QString &appDir);

// The log file of a session started at `start` by a program in appDir, with
// native separators, in UTF-8.
QByteArray appLogSessionPath(const QString &appDir, const QDateTime &start);

// Whether a session can use the path: it must fit the path buffer with its
// terminating zero.
bool appLogPathFits(const QByteArray &path);
