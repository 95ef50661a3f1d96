#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Times as the diagnostics archive and the session notes write them: local, to
// the millisecond, with the offset from UTC spelled out, e.g. 2026-12-07T16:25:50.148+01:00.
QString isoLocalTime(const QDateTime &time);

// One line of a tab-separated file: tabs, line breaks and backslashes inside
// a field are written as \t, \n and \\, so every record stays on its line.
QString tabSeparated(const QStringList &fields);
