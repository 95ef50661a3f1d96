#pragma once

#include <QString>

// One log file per run: logs/tavox_<start time>.log beside the executable.
bool appLogInit();
QString appLogFilePath();
const char *appLogFilePathUtf8();
