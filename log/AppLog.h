#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One log file per run: logs/tavox_<start time>.log in the state directory
// (see StandardLocations.h); a session's start prunes older runs there (see
// LogPruning.h).
// A session whose file cannot be opened still runs, with its records on the
// console only; the file path is then empty (null), so nothing names a file
// that does not exist.
bool appLogInit();
QString appLogFilePath();
const char *appLogFilePathUtf8();

// The logs/ that earlier versions kept in the data directory, or empty when
// that is the folder of today's logs (a build tree, a portable folder).
QString appLogEarlierFolder();

// appLogInit with logs/ in appDir.
bool appLogInitIn(const QString &appDir);

// The log file of a session started at `start` by a program in appDir, with
// native separators, in UTF-8.
QByteArray appLogSessionPath(const QString &appDir, const QDateTime &start);

// Whether a session can use the path: it must fit the path buffer with its
// terminating zero.
bool appLogPathFits(const QByteArray &path);
